#pragma once
// Surface descriptions of LightWave objects: the sub-chunks of a "SURF" chunk
// (colour, shading flags, transparency, colour and reflection images and the
// projection that places the colour image) and the projections that turn an
// object-space point into texture coordinates.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// Asks the renderer for a texture by image name; answers its index, or -1 when
// the image cannot be loaded (stored as 65535 in the 16-bit index fields).
using TextureLoader = std::function<int(std::string_view imageName)>;

inline constexpr std::size_t kMaxSurfaceNameLength = 63;
inline constexpr std::size_t kMaxMappingNameLength = 49;

struct Surface {
    std::string name;                 // from "SRFS", at most 63 characters
    float color[3] = {};              // "COLR" bytes, 0..255
    float transparency = 0;           // "VTRN"
    std::uint16_t type = 0;           // polygon flag bits
    std::uint16_t textureIndex = 0;   // colour image, as loadTexture answered
    std::string mapping;              // projection name from "CTEX"
    std::uint8_t axis = 0;            // 0 X, 1 Y, 2 Z
    float size[3] = {};
    float center[3] = {};
    float wrapWidth = 0;              // "TFP0"
    float wrapHeight = 0;             // "TFP1"
    std::uint16_t reflectionTextureIndex = 0;
};

// Which image sub-chunk came last. A "TIMG" is only taken after a "CTEX",
// never after an "RIMG"; the kind carries over between the "SURF" chunks of
// one object file.
enum class ImageKind : std::uint8_t { None, Color, Reflection };

// Checks that the sub-chunks (everything after the surface name of one "SURF"
// chunk) lie inside the bytes and that each holds the data its kind needs.
// On failure `error` says what is wrong. Passed over instead, each with a
// line in `skipped` when given: an unknown sub-chunk running past the end
// (the walk stops there) and a "COLR" shorter than its three bytes.
bool checkSurfaceChunk(std::span<const std::uint8_t> subChunks, std::string& error,
                       std::vector<std::string>* skipped = nullptr);

// Applies the sub-chunks to `surface`, requesting images through
// `loadTexture` (-1, or no loader, is stored as 65535). The chunk is checked
// first; a malformed one changes nothing and returns false with `error` set.
bool applySurfaceChunk(Surface& surface, ImageKind& lastImage,
                       std::span<const std::uint8_t> subChunks,
                       const TextureLoader& loadTexture, std::string& error);

// The part of an image path after its last backslash (the extension kept).
std::string_view pathFileName(std::string_view path);

struct TextureCoordinates {
    float u = 0;
    float v = 0;
};

// Texture coordinates of an object-space point under the surface's planar,
// cylindrical or spherical projection; (0, 0) for any other mapping name.
TextureCoordinates mapTexture(const Surface& surface, float x, float y, float z);

}  // namespace zor
