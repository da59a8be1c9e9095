#include "support/recording_display_layer.h"

#include <algorithm>
#include <cstdio>

namespace zor {

namespace {

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string deviceTypeName(const Guid& guid) {
    if (guid == IID_IDirect3DRGBDevice) return "RGB";
    if (guid == IID_IDirect3DMMXDevice) return "MMX";
    if (guid == IID_IDirect3DHALDevice) return "HAL";
    if (guid == IID_IDirect3DTnLHalDevice) return "TnLHAL";
    return guidText(guid);
}

std::string surfaceKind(const SurfaceDesc& desc) {
    if (desc.caps & DDSCAPS_PRIMARYSURFACE) return "primary";
    if (desc.caps & DDSCAPS_ZBUFFER) return "zbuffer";
    if (desc.caps & DDSCAPS_TEXTURE) return "texture";
    if (desc.caps & DDSCAPS_VIDEOMEMORY) return "video";
    return "system";
}

}  // namespace

SurfaceDesc makeDisplayMode(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount) {
    SurfaceDesc mode;
    mode.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    mode.width = width;
    mode.height = height;
    if (bitCount == 15) {
        mode.pixelFormat = rgb555Format();
    } else if (bitCount == 16) {
        mode.pixelFormat = rgb565Format();
    } else {
        mode.pixelFormat.flags = DDPF_RGB;
        mode.pixelFormat.rgbBitCount = bitCount;
        mode.pixelFormat.redMask = 0xFF0000;
        mode.pixelFormat.greenMask = 0xFF00;
        mode.pixelFormat.blueMask = 0xFF;
    }
    // A 15-bit mode reports 15 as its bit count.
    mode.pixelFormat.rgbBitCount = bitCount;
    mode.pitch = static_cast<std::int32_t>(width * ((bitCount + 7) / 8));
    return mode;
}

PixelFormat makeDepthFormat(std::uint32_t depth, std::uint32_t stencil) {
    PixelFormat f;
    f.flags = DDPF_ZBUFFER | (stencil ? DDPF_STENCILBUFFER : 0);
    f.zBufferBitDepth = depth + stencil;
    f.stencilBitDepth = stencil;
    f.redMask = depth >= 32 ? 0xFFFFFFFFu : ((1u << depth) - 1) << stencil;
    return f;
}

std::string guidText(const Guid& guid) {
    std::string text;
    for (auto b : guid.bytes) {
        char part[3];
        std::snprintf(part, sizeof part, "%02x", b);
        text += part;
    }
    return text;
}

const char* renderStateName(RenderState state) {
    switch (state) {
    case RenderState::ZENABLE: return "ZENABLE";
    case RenderState::ZWRITEENABLE: return "ZWRITEENABLE";
    case RenderState::SHADEMODE: return "SHADEMODE";
    case RenderState::SRCBLEND: return "SRCBLEND";
    case RenderState::DESTBLEND: return "DESTBLEND";
    case RenderState::CULLMODE: return "CULLMODE";
    case RenderState::ZFUNC: return "ZFUNC";
    case RenderState::DITHERENABLE: return "DITHERENABLE";
    case RenderState::ALPHABLENDENABLE: return "ALPHABLENDENABLE";
    case RenderState::SPECULARENABLE: return "SPECULARENABLE";
    case RenderState::ZBIAS: return "ZBIAS";
    case RenderState::LIGHTING: return "LIGHTING";
    case RenderState::AMBIENT: return "AMBIENT";
    }
    return "?";
}

const char* textureStageStateName(TextureStageState state) {
    switch (state) {
    case TextureStageState::COLOROP: return "COLOROP";
    case TextureStageState::MAGFILTER: return "MAGFILTER";
    case TextureStageState::MINFILTER: return "MINFILTER";
    case TextureStageState::MIPFILTER: return "MIPFILTER";
    }
    return "?";
}

std::vector<std::string> RecordingDisplayLayer::callsStartingWith(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const auto& c : calls)
        if (c.starts_with(prefix)) found.push_back(c);
    return found;
}

void RecordingDisplayLayer::clearRecord() {
    calls.clear();
    draws.clear();
}

bool RecordingDisplayLayer::fails(std::string_view operation, std::string_view detail) const {
    if (failing.contains(std::string(operation))) return true;
    return !detail.empty() && failing.contains(std::string(operation) + ":" + std::string(detail));
}

MemorySurface* RecordingDisplayLayer::find(SurfaceId id) {
    const auto index = static_cast<std::size_t>(id);
    if (index == 0 || index > surfaces.size() || surfaces[index - 1].released) return nullptr;
    return &surfaces[index - 1];
}

HResult RecordingDisplayLayer::enumerateAdapters(const AdapterCallback& callback) {
    record("enumerateAdapters");
    for (const auto& a : adapters)
        if (!callback(a.info)) break;
    return kOk;
}

HResult RecordingDisplayLayer::createDriver(const Guid* guid, DriverId& driver) {
    record(std::string("createDriver ") + (guid ? guidText(*guid) : "primary"));
    std::size_t index = adapters.size();
    for (std::size_t i = 0; i < adapters.size() && index == adapters.size(); ++i) {
        const auto& g = adapters[i].info.guid;
        if ((guid == nullptr && !g) || (guid && g && *g == *guid)) index = i;
    }
    if (fails("createDriver") || index == adapters.size() || adapters[index].createFails) return kFailed;
    driver = static_cast<DriverId>(++driverCount_);
    driverAdapter_[static_cast<std::uint32_t>(driver)] = index;
    return kOk;
}

HResult RecordingDisplayLayer::enumerateDisplayModes(DriverId driver, const ModeCallback& callback) {
    record("enumerateDisplayModes " + std::to_string(static_cast<std::uint32_t>(driver)));
    const auto it = driverAdapter_.find(static_cast<std::uint32_t>(driver));
    if (it == driverAdapter_.end()) return kInvalidObject;
    for (const auto& m : adapters[it->second].modes)
        if (!callback(m)) break;
    return kOk;
}

void RecordingDisplayLayer::releaseDriver(DriverId driver) {
    record("releaseDriver " + std::to_string(static_cast<std::uint32_t>(driver)));
}

HResult RecordingDisplayLayer::setCooperativeLevel(DriverId, void*, std::uint32_t flags) {
    record("setCooperativeLevel " + hex(flags));
    return fails("setCooperativeLevel") ? kFailed : kOk;
}

HResult RecordingDisplayLayer::setDisplayMode(DriverId, std::uint32_t width, std::uint32_t height,
                                              std::uint32_t bitCount, std::uint32_t refreshRate,
                                              std::uint32_t flags) {
    record("setDisplayMode " + std::to_string(width) + "x" + std::to_string(height) + "x" +
           std::to_string(bitCount) + " " + std::to_string(refreshRate) + " " + std::to_string(flags));
    if (fails("setDisplayMode")) return kFailed;
    displayFormat_ = bitCount == 15 ? rgb555Format() : rgb565Format();
    modeWidth_ = width;
    modeHeight_ = height;
    return kOk;
}

HResult RecordingDisplayLayer::testCooperativeLevel(DriverId) {
    record("testCooperativeLevel");
    return fails("testCooperativeLevel") ? kFailed : kOk;
}

HResult RecordingDisplayLayer::createSurface(DriverId, const SurfaceDesc& desc, SurfaceId& surface) {
    const std::string kind = surfaceKind(desc);
    record("createSurface " + kind + " flags=" + hex(desc.flags) + " caps=" + hex(desc.caps) +
           " caps2=" + hex(desc.caps2) + " " + std::to_string(desc.width) + "x" + std::to_string(desc.height) +
           " back=" + std::to_string(desc.backBufferCount) + " mips=" + std::to_string(desc.mipMapCount));
    if (fails("createSurface", kind)) return kOutOfVideoMemory;
    const std::uint32_t levels = (desc.flags & DDSD_MIPMAPCOUNT) ? std::max(desc.mipMapCount, 1u) : 1u;
    const std::uint32_t chain = (desc.caps & DDSCAPS_PRIMARYSURFACE) ? 1 + desc.backBufferCount : levels;
    SurfaceId previous = SurfaceId::none;
    std::uint32_t width = desc.width, height = desc.height;
    if (desc.caps & DDSCAPS_PRIMARYSURFACE) {
        width = modeWidth_;
        height = modeHeight_;
    }
    for (std::uint32_t level = 0; level < chain; ++level) {
        MemorySurface s;
        s.desc = desc;
        s.desc.width = width;
        s.desc.height = height;
        if (!(desc.flags & DDSD_PIXELFORMAT)) s.desc.pixelFormat = displayFormat_;
        if (level > 0 && (desc.caps & DDSCAPS_PRIMARYSURFACE))
            s.desc.caps = (desc.caps & ~DDSCAPS_PRIMARYSURFACE) | DDSCAPS_BACKBUFFER;
        s.allocate();
        surfaces.push_back(std::move(s));
        const auto id = static_cast<SurfaceId>(surfaces.size());
        if (level == 0) surface = id;
        else surfaces[static_cast<std::size_t>(previous) - 1].attached = id;
        previous = id;
        if (!(desc.caps & DDSCAPS_PRIMARYSURFACE)) {
            width = std::max(1u, width / 2);
            height = std::max(1u, height / 2);
        }
    }
    return kOk;
}

HResult RecordingDisplayLayer::getAttachedSurface(SurfaceId id, std::uint32_t caps, SurfaceId& attached) {
    record("getAttachedSurface " + hex(caps));
    MemorySurface* s = find(id);
    if (!s || s->attached == SurfaceId::none) return kNotFound;
    attached = s->attached;
    return kOk;
}

HResult RecordingDisplayLayer::addAttachedSurface(SurfaceId, SurfaceId) {
    record("addAttachedSurface");
    return fails("addAttachedSurface") ? kFailed : kOk;
}

HResult RecordingDisplayLayer::getPixelFormat(SurfaceId id, PixelFormat& format) {
    MemorySurface* s = find(id);
    if (!s || fails("getPixelFormat")) return kInvalidObject;
    format = s->desc.pixelFormat;
    return kOk;
}

HResult RecordingDisplayLayer::getSurfaceDesc(SurfaceId id, SurfaceDesc& desc) {
    MemorySurface* s = find(id);
    if (!s) return kInvalidObject;
    desc = s->desc;
    return kOk;
}

HResult RecordingDisplayLayer::getCaps(SurfaceId id, std::uint32_t& caps) {
    MemorySurface* s = find(id);
    if (!s) return kInvalidObject;
    caps = s->desc.caps;
    return kOk;
}

HResult RecordingDisplayLayer::lock(SurfaceId id, std::uint32_t flags, void*& bits, std::int32_t& pitch) {
    record("lock " + hex(flags));
    MemorySurface* s = find(id);
    if (!s || s->locked || fails("lock")) return kFailed;
    s->locked = true;
    bits = s->bytes.data();
    pitch = s->desc.pitch;
    return kOk;
}

HResult RecordingDisplayLayer::unlock(SurfaceId id) {
    record("unlock");
    MemorySurface* s = find(id);
    if (!s || !s->locked) return kFailed;
    s->locked = false;
    ++s->version;
    return kOk;
}

HResult RecordingDisplayLayer::setColorKey(SurfaceId id, std::uint32_t flags, std::uint32_t low, std::uint32_t high) {
    record("setColorKey " + hex(flags) + " " + hex(low) + " " + hex(high));
    MemorySurface* s = find(id);
    if (!s) return kInvalidObject;
    s->colorKey = low;
    return kOk;
}

HResult RecordingDisplayLayer::blt(SurfaceId destination, const Rect* destinationRect, SurfaceId source,
                                   const Rect* sourceRect, std::uint32_t flags) {
    record("blt " + std::to_string(static_cast<std::uint32_t>(destination)) + " <- " +
           std::to_string(static_cast<std::uint32_t>(source)) + " " + hex(flags) +
           (destinationRect ? " rect" : " whole"));
    MemorySurface* d = find(destination);
    MemorySurface* s = find(source);
    Rect dr, sr;
    if (!d || !s || !resolveRect(*d, destinationRect, dr) || !resolveRect(*s, sourceRect, sr)) return kFailed;
    stretchCopy(*s, sr, *d, dr, (flags & DDBLT_KEYSRC) != 0);
    return kOk;
}

HResult RecordingDisplayLayer::flip(SurfaceId, std::uint32_t flags) {
    record("flip " + hex(flags));
    return kOk;
}

void RecordingDisplayLayer::releaseSurface(SurfaceId id) {
    record("releaseSurface " + std::to_string(static_cast<std::uint32_t>(id)));
    if (MemorySurface* s = find(id)) {
        s->released = true;
        s->bytes.clear();
    }
}

HResult RecordingDisplayLayer::queryDirect3D(DriverId) {
    record("queryDirect3D");
    return fails("queryDirect3D") ? kFailed : kOk;
}

HResult RecordingDisplayLayer::enumerateDevices(const DeviceCallback& callback) {
    record("enumerateDevices");
    for (const auto& d : devices)
        if (!callback(d)) break;
    return kOk;
}

HResult RecordingDisplayLayer::enumerateZBufferFormats(const Guid& deviceType, const FormatCallback& callback) {
    record("enumerateZBufferFormats " + deviceTypeName(deviceType));
    for (const auto& f : zBufferFormats)
        if (!callback(f)) break;
    return kOk;
}

HResult RecordingDisplayLayer::createDevice(const Guid& deviceType, SurfaceId renderTarget, DeviceId& device) {
    record("createDevice " + deviceTypeName(deviceType));
    if (fails("createDevice", deviceTypeName(deviceType))) return kFailed;
    device = static_cast<DeviceId>(++deviceCount_);
    deviceType_ = deviceType;
    renderTarget_ = renderTarget;
    return kOk;
}

void RecordingDisplayLayer::releaseDevice(DeviceId device) {
    record("releaseDevice " + std::to_string(static_cast<std::uint32_t>(device)));
}

HResult RecordingDisplayLayer::getDeviceCaps(DeviceId, DeviceInfo& caps) {
    if (fails("getDeviceCaps")) return kFailed;
    caps = DeviceInfo{};
    caps.guid = deviceType_;
    caps.textureCaps = textureCaps;
    return kOk;
}

HResult RecordingDisplayLayer::enumerateTextureFormats(DeviceId, const FormatCallback& callback) {
    record("enumerateTextureFormats");
    if (fails("enumerateTextureFormats")) return kFailed;
    for (const auto& f : textureFormats)
        if (!callback(f)) break;
    return kOk;
}

HResult RecordingDisplayLayer::getRenderTarget(DeviceId, SurfaceId& target) {
    target = renderTarget_;
    return kOk;
}

HResult RecordingDisplayLayer::setRenderState(DeviceId, RenderState state, std::uint32_t value) {
    record(std::string("setRenderState ") + renderStateName(state) + " " + std::to_string(value));
    renderStates[state] = value;
    return kOk;
}

HResult RecordingDisplayLayer::setTextureStageState(DeviceId, std::uint32_t stage, TextureStageState state,
                                                    std::uint32_t value) {
    record("setTextureStageState " + std::to_string(stage) + " " + textureStageStateName(state) + " " +
           std::to_string(value));
    return kOk;
}

HResult RecordingDisplayLayer::setTransform(DeviceId, TransformState state, const Matrix& matrix) {
    const char* names[] = {"?", "WORLD", "VIEW", "PROJECTION"};
    record(std::string("setTransform ") + names[static_cast<std::uint32_t>(state) & 3]);
    transforms[state] = matrix;
    return kOk;
}

HResult RecordingDisplayLayer::setViewport(DeviceId, const ViewportDesc& v) {
    char text[96];
    std::snprintf(text, sizeof text, "setViewport %u %u %u %u %g %g", v.x, v.y, v.width, v.height, v.minZ, v.maxZ);
    record(text);
    return fails("setViewport") ? kFailed : kOk;
}

HResult RecordingDisplayLayer::setZeroMaterial(DeviceId) {
    record("setZeroMaterial");
    return kOk;
}

HResult RecordingDisplayLayer::setTexture(DeviceId, std::uint32_t stage, SurfaceId texture) {
    record("setTexture " + std::to_string(stage) + " " + std::to_string(static_cast<std::uint32_t>(texture)));
    boundTexture_ = texture;
    return kOk;
}

HResult RecordingDisplayLayer::clear(DeviceId, std::uint32_t flags, std::uint32_t color, float z,
                                     std::uint32_t stencil) {
    char text[96];
    std::snprintf(text, sizeof text, "clear %u 0x%08X %g %u", flags, color, z, stencil);
    record(text);
    return kOk;
}

HResult RecordingDisplayLayer::beginScene(DeviceId) {
    record("beginScene");
    return kOk;
}

HResult RecordingDisplayLayer::endScene(DeviceId) {
    record("endScene");
    return kOk;
}

HResult RecordingDisplayLayer::drawPrimitive(DeviceId, PrimitiveType type, std::uint32_t vertexFormat,
                                             const LVertex* vertices, std::uint32_t count, std::uint32_t flags) {
    record("drawPrimitive " + std::to_string(static_cast<std::uint32_t>(type)) + " " + std::to_string(count) + " " +
           hex(flags));
    RecordedDraw d;
    d.type = type;
    d.vertexFormat = vertexFormat;
    d.flags = flags;
    d.vertices.assign(vertices, vertices + count);
    d.texture = boundTexture_;
    d.shadeMode = renderStates[RenderState::SHADEMODE];
    d.cullMode = renderStates[RenderState::CULLMODE];
    d.zBias = renderStates[RenderState::ZBIAS];
    d.alphaBlend = renderStates[RenderState::ALPHABLENDENABLE] != 0;
    draws.push_back(std::move(d));
    return kOk;
}

}  // namespace zor
