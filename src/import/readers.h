#pragma once
// The two ways in: glTF 2.0 (.gltf with its buffers and images, or .glb)
// through tinygltf, and Wavefront OBJ with its MTL materials through
// tinyobjloader. Both hand back a SourceModel; both throw ImportError naming
// the file and what is wrong when the file cannot be read at all.

#include <filesystem>
#include <stdexcept>

#include "import/source_model.h"

namespace zor::import {

struct ImportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Largest image the readers decode (pixels); larger ones are refused.
inline constexpr long long kMaxSourceImagePixels = 1LL << 26;

SourceModel readGltf(const std::filesystem::path& path);
// Whether the file is glTF 1.0 (its binary header, its "asset" version, or
// the objects 1.0 keeps where 2.0 has arrays), which readGltf refuses as such.
bool isGltfVersionOne(const std::filesystem::path& path);
SourceModel readObj(const std::filesystem::path& path);
// By the file's extension (.gltf, .glb, .obj, letter case ignored).
SourceModel readSource(const std::filesystem::path& path);

// Decodes PNG, JPEG, BMP, TGA or GIF bytes into RGBA; false with `why` set
// when the bytes are no image or the image is too large.
bool decodeImage(const std::uint8_t* bytes, std::size_t size, SourceImage& image, std::string& why);

}  // namespace zor::import
