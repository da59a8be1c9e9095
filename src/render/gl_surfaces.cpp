// The surface table: every surface the layer hands out, by id. Offscreen
// surfaces and texture levels keep their pixels in memory; a texture level is
// uploaded to its GL texture when it was changed, and an offscreen surface
// drawn onto the back buffer goes through an RGBA copy with its colour key as
// alpha.

#include <algorithm>
#include <vector>

#include "render/gl_layer.h"
#include "render/pixel_conversion.h"

namespace zor {

namespace {

// The box of the pixels whose alpha is set in a width x height RGBA copy;
// empty (all zero) when there are none.
Rect keptBox(const std::vector<std::uint8_t>& rgba, std::uint32_t width, std::uint32_t height) {
    Rect box{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 0, 0};
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = rgba.data() + std::size_t(y) * width * 4;
        for (std::uint32_t x = 0; x < width; ++x) {
            if (row[x * 4 + 3] == 0) continue;
            const auto ix = static_cast<std::int32_t>(x), iy = static_cast<std::int32_t>(y);
            box = {std::min(box.left, ix), std::min(box.top, iy), std::max(box.right, ix + 1),
                   std::max(box.bottom, iy + 1)};
        }
    }
    return box.left < box.right ? box : Rect{};
}

}  // namespace

void GlDisplayLayer::Impl::uploadTextureLevel(GlSurface& s) {
    drawing.flush();
    const MemorySurface& m = s.memory;
    glBindTexture(GL_TEXTURE_2D, s.texture);
    drawing.textureRebound(s.texture);
    const auto w = static_cast<GLsizei>(m.desc.width), h = static_cast<GLsizei>(m.desc.height);
    if (m.bytesPerPixel() == 4) {
        const std::vector<std::uint8_t> rgba = toRgba8(m, false);
        glTexSubImage2D(GL_TEXTURE_2D, s.level, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    } else if (modeBits == 15) {
        const std::vector<std::uint16_t> rgba = toRgb5A1(m);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        glTexSubImage2D(GL_TEXTURE_2D, s.level, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, rgba.data());
    } else {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, m.desc.pitch / 2);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        glTexSubImage2D(GL_TEXTURE_2D, s.level, 0, 0, w, h, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, m.bytes.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    s.uploadedVersion = m.version;
}

bool GlDisplayLayer::Impl::blitToBack(GlSurface& source, const Rect& sourceRect, const Rect& destinationRect,
                                      bool useKey) {
    drawing.flush();
    MemorySurface& m = source.memory;
    if (!source.texture || source.uploadedVersion != m.version) {
        const auto w = static_cast<GLsizei>(m.desc.width), h = static_cast<GLsizei>(m.desc.height);
        if (!source.texture) {
            glGenTextures(1, &source.texture);
            glBindTexture(GL_TEXTURE_2D, source.texture);
            glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, w, h);
        }
        const std::vector<std::uint8_t> rgba = toRgba8(m, true);
        glBindTexture(GL_TEXTURE_2D, source.texture);
        drawing.textureRebound(source.texture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        source.uploadedVersion = m.version;
        source.keptBox = keptBox(rgba, m.desc.width, m.desc.height);
    }
    Rect from = sourceRect, to = destinationRect;
    if (useKey && to.right - to.left == from.right - from.left && to.bottom - to.top == from.bottom - from.top) {
        // Copied 1:1, keyed pixels draw nothing: only the box of the kept
        // ones is drawn, each pixel from the same texel as before. (The
        // logo's 256 x 256 rectangle keeps a box of about 109 x 163.)
        const Rect kept{std::max(from.left, source.keptBox.left), std::max(from.top, source.keptBox.top),
                        std::min(from.right, source.keptBox.right), std::min(from.bottom, source.keptBox.bottom)};
        if (kept.left >= kept.right || kept.top >= kept.bottom) return true;
        to = {to.left + kept.left - from.left, to.top + kept.top - from.top, to.right + kept.right - from.right,
              to.bottom + kept.bottom - from.bottom};
        from = kept;
    }
    const float sw = static_cast<float>(m.desc.width), sh = static_cast<float>(m.desc.height);
    drawing.blit(source.texture, {from.left / sw, from.top / sh, from.right / sw, from.bottom / sh}, to, useKey);
    return true;
}

HResult GlDisplayLayer::createSurface(DriverId, const SurfaceDesc& desc, SurfaceId& surface) {
    Impl& d = *impl_;
    if (!d.ensureContext()) return kFailed;
    if (desc.caps & DDSCAPS_PRIMARYSURFACE) {
        if (d.framebuffers[0] || desc.backBufferCount != 1 || d.width == 0) return kFailed;
        if (!d.createFlipChain(desc.multiSampleCount)) return kFailed;
        GlSurface primary;
        primary.kind = GlSurfaceKind::Primary;
        primary.memory.desc = desc;
        primary.memory.desc.width = d.width;
        primary.memory.desc.height = d.height;
        primary.memory.desc.pixelFormat = d.displayFormat();
        GlSurface back = primary;
        back.kind = GlSurfaceKind::Back;
        back.memory.desc.caps = (desc.caps & ~DDSCAPS_PRIMARYSURFACE) | DDSCAPS_BACKBUFFER;
        d.primary = surface = d.add(std::move(primary));
        d.back = d.add(std::move(back));
        return kOk;
    }
    if (desc.caps & DDSCAPS_ZBUFFER) {
        if (desc.width != d.width || desc.height != d.height || !d.createDepthBuffer(desc.pixelFormat))
            return kOutOfVideoMemory;
        GlSurface depth;
        depth.kind = GlSurfaceKind::Depth;
        depth.memory.desc = desc;
        surface = d.add(std::move(depth));
        return kOk;
    }
    if (desc.width == 0 || desc.height == 0 || desc.width > 16384 || desc.height > 16384) return kFailed;
    if (desc.caps & DDSCAPS_TEXTURE) {
        const std::uint32_t levels = (desc.flags & DDSD_MIPMAPCOUNT) ? std::max(desc.mipMapCount, 1u) : 1u;
        d.drawing.flush();
        forgetErrors();
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        d.drawing.textureRebound(texture);
        glTexStorage2D(GL_TEXTURE_2D, static_cast<GLsizei>(levels), d.colourFormat(),
                       static_cast<GLsizei>(desc.width), static_cast<GLsizei>(desc.height));
        if (glGetError() != GL_NO_ERROR) {
            glDeleteTextures(1, &texture);
            d.fail("cannot create a " + std::to_string(desc.width) + "x" + std::to_string(desc.height) +
                   " texture of " + std::to_string(levels) + " levels");
            return kOutOfVideoMemory;
        }
        std::uint32_t w = desc.width, h = desc.height;
        SurfaceId previous = SurfaceId::none;
        for (std::uint32_t level = 0; level < levels; ++level) {
            GlSurface s;
            s.kind = GlSurfaceKind::TextureLevel;
            s.texture = texture;
            s.level = static_cast<int>(level);
            s.memory.desc = desc;
            s.memory.desc.width = w;
            s.memory.desc.height = h;
            s.memory.desc.pixelFormat = d.displayFormat();
            s.memory.allocate();
            const SurfaceId id = d.add(std::move(s));
            if (level == 0) surface = id;
            else d.find(previous)->memory.attached = id;
            previous = id;
            w = std::max(1u, w / 2);
            h = std::max(1u, h / 2);
        }
        return kOk;
    }
    GlSurface s;
    s.kind = GlSurfaceKind::Offscreen;
    s.memory.desc = desc;
    if (!(desc.flags & DDSD_PIXELFORMAT)) s.memory.desc.pixelFormat = d.displayFormat();
    const std::uint32_t bits = s.memory.desc.pixelFormat.rgbBitCount;
    if (bits != 16 && bits != 15 && bits != 32) return kFailed;
    s.memory.allocate();
    surface = d.add(std::move(s));
    return kOk;
}

HResult GlDisplayLayer::getAttachedSurface(SurfaceId id, std::uint32_t, SurfaceId& attached) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    if (!s) return kInvalidObject;
    if (s->kind == GlSurfaceKind::Primary) {
        attached = d.back;
        return kOk;
    }
    if (s->memory.attached == SurfaceId::none) return kNotFound;
    attached = s->memory.attached;
    return kOk;
}

HResult GlDisplayLayer::getPixelFormat(SurfaceId id, PixelFormat& format) {
    GlSurface* s = impl_->find(id);
    if (!s) return kInvalidObject;
    format = s->memory.desc.pixelFormat;
    return kOk;
}

HResult GlDisplayLayer::getSurfaceDesc(SurfaceId id, SurfaceDesc& desc) {
    GlSurface* s = impl_->find(id);
    if (!s) return kInvalidObject;
    desc = s->memory.desc;
    return kOk;
}

HResult GlDisplayLayer::getCaps(SurfaceId id, std::uint32_t& caps) {
    GlSurface* s = impl_->find(id);
    if (!s) return kInvalidObject;
    caps = s->memory.desc.caps;
    return kOk;
}

HResult GlDisplayLayer::lock(SurfaceId id, std::uint32_t, void*& bits, std::int32_t& pitch) {
    GlSurface* s = impl_->find(id);
    // Only surfaces kept in memory can be locked.
    if (!s || s->memory.bytes.empty() || s->memory.locked) return kFailed;
    s->memory.locked = true;
    bits = s->memory.bytes.data();
    pitch = s->memory.desc.pitch;
    return kOk;
}

HResult GlDisplayLayer::unlock(SurfaceId id) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    if (!s || !s->memory.locked) return kFailed;
    s->memory.locked = false;
    ++s->memory.version;
    if (s->kind == GlSurfaceKind::TextureLevel) d.uploadTextureLevel(*s);
    return kOk;
}

HResult GlDisplayLayer::setColorKey(SurfaceId id, std::uint32_t, std::uint32_t low, std::uint32_t) {
    GlSurface* s = impl_->find(id);
    if (!s) return kInvalidObject;
    // The key is a pixel value of the surface's own size: 16 bits in the
    // original modes, 32 in the true-colour ones.
    s->memory.colorKey = s->memory.bytesPerPixel() == 2 ? low & 0xFFFFu : low;
    ++s->memory.version;
    return kOk;
}

HResult GlDisplayLayer::blt(SurfaceId destination, const Rect* destinationRect, SurfaceId source,
                            const Rect* sourceRect, std::uint32_t flags) {
    Impl& d = *impl_;
    GlSurface* dst = d.find(destination);
    GlSurface* src = d.find(source);
    if (!dst || !src || src->memory.bytes.empty()) return kFailed;
    Rect sr, dr;
    if (!resolveRect(src->memory, sourceRect, sr)) return kFailed;
    const bool useKey = (flags & DDBLT_KEYSRC) != 0;
    if (dst->kind == GlSurfaceKind::Back) {
        // The back buffer's rectangles are inside the picture area, which is
        // the whole buffer but on a surface that is not 4:3.
        const Rect whole{0, 0, static_cast<std::int32_t>(d.area.width), static_cast<std::int32_t>(d.area.height)};
        dr = destinationRect ? *destinationRect : whole;
        if (dr.left < 0 || dr.top < 0 || dr.right > whole.right || dr.bottom > whole.bottom || dr.left >= dr.right ||
            dr.top >= dr.bottom)
            return kFailed;
        const auto x = static_cast<std::int32_t>(d.area.x), y = static_cast<std::int32_t>(d.area.y);
        dr = {dr.left + x, dr.top + y, dr.right + x, dr.bottom + y};
        return d.blitToBack(*src, sr, dr, useKey) ? kOk : kFailed;
    }
    if (dst->memory.bytes.empty() || !resolveRect(dst->memory, destinationRect, dr)) return kFailed;
    stretchCopy(src->memory, sr, dst->memory, dr, useKey);
    if (dst->kind == GlSurfaceKind::TextureLevel) d.uploadTextureLevel(*dst);
    return kOk;
}

void GlDisplayLayer::releaseSurface(SurfaceId id) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    // Flip chains live as long as the layer; a texture goes whole, from its
    // top level down its chain of smaller levels.
    if (!s || !(s->kind == GlSurfaceKind::Offscreen || (s->kind == GlSurfaceKind::TextureLevel && s->level == 0))) return;
    d.drawing.flush();
    if (s->texture) {
        glDeleteTextures(1, &s->texture);
        d.drawing.textureRebound(0);  // deleting a bound texture unbinds it
    }
    for (GlSurface* level = s; level;) {
        const SurfaceId next = level->kind == GlSurfaceKind::TextureLevel ? level->memory.attached : SurfaceId::none;
        level->texture = 0;
        level->alive = false;
        // Assigning {} would only clear the vector and keep its buffer, and
        // the table keeps released entries: a preview that reloads its logo
        // and textures would hold every old picture.
        std::vector<std::uint8_t>().swap(level->memory.bytes);
        level = next == SurfaceId::none ? nullptr : d.find(next);
    }
}

}  // namespace zor
