// The binary mesh reader on hostile bytes; an accepted file must leave a mesh
// that keeps its invariants, a refused one an empty mesh.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz_checks.h"
#include "object/object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zor::TextureLoader loadTexture = [](std::string_view name) {
        return name.empty() ? -1 : static_cast<int>(static_cast<unsigned char>(name[0]));
    };
    zor::ObjectLoader loader(zor::DataSource{}, loadTexture, nullptr);
    zor::Mesh mesh;
    const bool loaded = loader.parseBinaryMesh("fuzz.3d", std::span<const std::uint8_t>(data, size), mesh);
    zor::fuzz::checkMesh(mesh);
    if (!loaded && (mesh.pointCount != 0 || mesh.polygonCount != 0)) __builtin_trap();
    return 0;
}
