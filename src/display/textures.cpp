// Textures: one entry per exact file name, created on first request and kept
// for the whole run (also when the load failed, so the name keeps its index).
// A texture takes the display's format (16-bit, or 32-bit in true colour) and gets mip levels unless a
// file of the image's name ending in "avi" lies beside it.

#include <algorithm>
#include <bit>
#include <filesystem>

#include "display/display.h"

namespace zor {

int mipLevelCount(std::uint32_t width, bool mipmapped) {
    if (!mipmapped) return 1;
    if (width >= 256) return 5;
    if (width >= 128) return 4;
    if (width >= 64) return 3;
    if (width >= 32) return 2;
    return 1;
}

bool createTextureSurface(DisplayContext& context, Texture& texture, int width, int height, bool mipmapped) {
    DisplayLayer& layer = context.layer;
    DeviceInfo caps;
    if (layer.getDeviceCaps(context.state.device, caps) != kOk) return false;
    SurfaceDesc desc;
    desc.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_MIPMAPCOUNT;
    desc.caps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    desc.caps2 = DDSCAPS2_D3DTEXTUREMANAGE;
    auto w = static_cast<std::uint32_t>(width);
    auto h = static_cast<std::uint32_t>(height);
    desc.mipMapCount = static_cast<std::uint32_t>(mipLevelCount(w, mipmapped));
    if (caps.textureCaps & D3DPTEXTURECAPS_POW2) {
        w = std::bit_ceil(w);
        h = std::bit_ceil(h);
    }
    if (caps.textureCaps & D3DPTEXTURECAPS_SQUAREONLY) w = h = std::max(w, h);
    desc.width = w;
    desc.height = h;
    SurfaceId target = SurfaceId::none;
    if (layer.getRenderTarget(context.state.device, target) != kOk) return false;
    return layer.createSurface(context.state.directDraw, desc, texture.surface) == kOk;
}

int findTexture(const DisplayContext& context, std::string_view name) {
    for (std::size_t i = 0; i < context.textures.size(); ++i)
        if (context.textures[i].name == name) return static_cast<int>(i);
    return -1;
}

namespace {

bool aviCompanionExists(const DisplayContext& context, std::string_view name) {
    if (name.size() < 3) return false;
    std::string avi(name.substr(0, name.size() - 3));
    avi += "avi";
    return dataFileOnDisk(context.source, avi);
}

// Converts pixels to a temporary surface in the texture's format and
// stretches it onto the level.
bool uploadLevel(DisplayContext& context, SurfaceId level, SurfaceId texture, const std::uint8_t* pixels, int width,
                 int height) {
    Image temporary;
    if (!createImageSurface(context, pixels, width, height, temporary, texture)) return false;
    context.layer.blt(level, nullptr, temporary.surface, nullptr, DDBLT_WAIT);
    context.layer.releaseSurface(temporary.surface);
    return true;
}

}  // namespace

int loadTextureFile(DisplayContext& context, std::string_view name) {
    if (const int found = findTexture(context, name); found >= 0) return found;
    // After a fatal failure the program is about to end; nothing more is made.
    if (context.fatalError) return -1;
    if (name.size() > kMaxTextureName) {
        if (context.diagnostics) context.diagnostics->warning(name, 0, "texture name longer than 63 characters");
        return -1;
    }
    context.textures.push_back(Texture{std::string(name), SurfaceId::none});
    const int index = static_cast<int>(context.textures.size()) - 1;

    const auto image = loadJpeg(context, name);
    if (!image) return -1;
    const std::uint64_t texels = std::uint64_t(image->width) * std::uint64_t(image->height);
    if (context.textureTexels + texels > kMaxTextureTexels) {
        if (context.diagnostics)
            context.diagnostics->warning(name, 0, "texture refused: the scene's textures would pass " +
                                                      std::to_string(kMaxTextureTexels) + " texels");
        return -1;
    }
    context.textureTexels += texels;
    const bool mipmapped = !aviCompanionExists(context, name);
    Texture& texture = context.textures[index];
    texture.texels = texels;
    if (!createTextureSurface(context, texture, image->width, image->height, mipmapped)) return -1;
    const SurfaceId top = texture.surface;
    if (!uploadLevel(context, top, top, image->pixels.data(), image->width, image->height)) return -1;

    std::uint32_t caps = 0;
    context.layer.getCaps(top, caps);
    std::vector<std::uint8_t> levelPixels;
    SurfaceId current = top;
    SurfaceId next = SurfaceId::none;
    while (context.layer.getAttachedSurface(current, caps, next) == kOk && next != SurfaceId::none) {
        current = next;
        SurfaceDesc desc;
        if (context.layer.getSurfaceDesc(current, desc) != kOk) break;
        const int w = static_cast<int>(desc.width), h = static_cast<int>(desc.height);
        levelPixels.resize(std::size_t(w) * h * 3);
        resampleImage(image->pixels.data(), levelPixels.data(), image->width, image->height, w, h);
        if (!uploadLevel(context, current, top, levelPixels.data(), w, h)) return -1;
    }
    return index;
}

}  // namespace zor
