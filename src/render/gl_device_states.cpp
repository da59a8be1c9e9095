// The old device's states as the drawing state: blend factors, compare
// functions, culling, shading, filters, transforms and the viewport. Each
// setting only changes GlDrawing's state record; draw calls compare it.

#include <algorithm>

#include "render/gl_layer.h"

namespace zor {

namespace {

GLenum blendFactor(std::uint32_t value) {
    switch (value) {
    case 1: return GL_ZERO;
    case 2: return GL_ONE;
    case 3: return GL_SRC_COLOR;
    case 4: return GL_ONE_MINUS_SRC_COLOR;
    case 5: return GL_SRC_ALPHA;
    case 6: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;
    case 8: return GL_ONE_MINUS_DST_ALPHA;
    case 9: return GL_DST_COLOR;
    case 10: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
    }
}

GLenum compareFunction(std::uint32_t value) {
    constexpr GLenum table[] = {GL_LEQUAL, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL,
                                GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return value < 9 ? table[value] : GL_LEQUAL;
}

}  // namespace

void GlDisplayLayer::Impl::setupDevice() {
    targetBack();
    ViewportDesc whole;
    whole.width = width;
    whole.height = height;
    setViewport(whole);
    drawing.setMatrices(world, view, projection);
}

void GlDisplayLayer::Impl::setViewport(const ViewportDesc& v) {
    // Screen rows run down; GL rows run up.
    // Into the picture area: the mode's rectangle scaled onto it (the
    // identity on a 4:3 surface).
    const auto scaled = [](std::uint32_t value, std::uint32_t to, std::uint32_t from) {
        return static_cast<std::int64_t>(std::uint64_t(value) * to / std::max(1u, from));
    };
    const std::int64_t x = area.x + scaled(v.x, area.width, width);
    const std::int64_t top = area.y + scaled(v.y, area.height, height);
    const std::int64_t w = scaled(v.width, area.width, width);
    const std::int64_t h = scaled(v.height, area.height, height);
    drawing.state.viewport = {static_cast<GLint>(x), static_cast<GLint>(std::int64_t(height) - top - h),
                              static_cast<GLsizei>(w), static_cast<GLsizei>(h), v.minZ, v.maxZ};
}

void GlDisplayLayer::Impl::updateMinFilter() {
    const bool linear = minValue >= 2;
    GLint& f = drawing.state.minFilter;
    if (mipValue == 3) f = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    else if (mipValue == 2) f = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else f = linear ? GL_LINEAR : GL_NEAREST;
}

HResult GlDisplayLayer::setRenderState(DeviceId, RenderState state, std::uint32_t value) {
    DrawState& s = impl_->drawing.state;
    switch (state) {
    case RenderState::ZENABLE: s.depthTest = value != 0; break;
    case RenderState::ZWRITEENABLE: s.depthWrite = value != 0; break;
    case RenderState::ZFUNC: s.depthFunc = compareFunction(value); break;
    case RenderState::SHADEMODE: s.flat = value == D3DSHADE_FLAT; break;
    case RenderState::SRCBLEND: s.blendSource = blendFactor(value); break;
    case RenderState::DESTBLEND: s.blendDestination = blendFactor(value); break;
    case RenderState::ALPHABLENDENABLE: s.blend = value != 0; break;
    case RenderState::CULLMODE:
        s.cull = value == D3DCULL_NONE  ? CullMode::None
                 : value == D3DCULL_CW ? CullMode::Clockwise
                                       : CullMode::CounterClockwise;
        break;
    case RenderState::DITHERENABLE: s.dither = value != 0; break;
    case RenderState::ZBIAS: s.depthBias = std::min(value, 16u); break;
    case RenderState::SPECULARENABLE:
    case RenderState::LIGHTING:
    case RenderState::AMBIENT:
        // Vertices always carry their own colours: nothing is lit here.
        break;
    }
    return kOk;
}

HResult GlDisplayLayer::setTextureStageState(DeviceId, std::uint32_t stage, TextureStageState state,
                                             std::uint32_t value) {
    Impl& d = *impl_;
    if (stage != 0) return kFailed;
    switch (state) {
    case TextureStageState::COLOROP: d.drawing.state.modulate = value == D3DTOP_MODULATE; break;
    case TextureStageState::MAGFILTER: d.drawing.state.magFilter = value >= 2 ? GL_LINEAR : GL_NEAREST; break;
    case TextureStageState::MINFILTER:
        d.minValue = value;
        d.updateMinFilter();
        break;
    case TextureStageState::MIPFILTER:
        d.mipValue = value;
        d.updateMinFilter();
        break;
    }
    return kOk;
}

HResult GlDisplayLayer::setTransform(DeviceId, TransformState state, const Matrix& matrix) {
    Impl& d = *impl_;
    switch (state) {
    case TransformState::WORLD: d.world = matrix; break;
    case TransformState::VIEW: d.view = matrix; break;
    case TransformState::PROJECTION: d.projection = matrix; break;
    default: return kFailed;
    }
    d.drawing.setMatrices(d.world, d.view, d.projection);
    return kOk;
}

HResult GlDisplayLayer::setViewport(DeviceId, const ViewportDesc& v) {
    Impl& d = *impl_;
    if (v.x + v.width > d.width || v.y + v.height > d.height) return kFailed;
    d.setViewport(v);
    return kOk;
}

HResult GlDisplayLayer::setZeroMaterial(DeviceId) { return kOk; }

HResult GlDisplayLayer::setTexture(DeviceId, std::uint32_t stage, SurfaceId texture) {
    Impl& d = *impl_;
    if (stage != 0) return kFailed;
    GlSurface* t = d.find(texture);
    if (!t || t->kind != GlSurfaceKind::TextureLevel) texture = SurfaceId::none;
    d.boundTexture = texture;
    d.drawing.state.texture = texture == SurfaceId::none ? 0 : t->texture;
    // A surface that is not a texture binds none and says so.
    return t && texture == SurfaceId::none ? kInvalidObject : kOk;
}

}  // namespace zor
