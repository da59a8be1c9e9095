// The object file reader on hostile bytes. Textures are answered by a small
// table (some names fail), the way the renderer would. A file the reader
// accepts must leave a mesh that keeps its invariants.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz_checks.h"
#include "object/object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int requests = 0;
    zor::TextureLoader loadTexture = [&requests](std::string_view name) {
        ++requests;
        return name.size() % 3 == 0 ? -1 : static_cast<int>(name.size());
    };
    zor::ObjectLoader loader(zor::DataSource{}, loadTexture, nullptr);
    zor::Mesh mesh;
    const bool loaded = loader.parseObject("fuzz.lwo", std::span<const std::uint8_t>(data, size), mesh);
    zor::fuzz::checkMesh(mesh);
    if (!loaded && (mesh.pointCount != 0 || mesh.polygonCount != 0)) __builtin_trap();
    for (const zor::Surface& s : loader.surfaces()) {
        for (float c : s.size) zor::fuzz::touch(c);
        (void)zor::mapTexture(s, 1.0f, -2.0f, 0.5f);
    }
    return 0;
}
