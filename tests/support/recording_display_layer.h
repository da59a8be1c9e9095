#pragma once
// A display layer with scripted adapters, modes, devices and formats that
// records every call in order, for tests. Surfaces live in main memory, so
// locks, colour keys, blits and mip chains behave as on a real driver;
// nothing is drawn.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "render/display_layer.h"
#include "render/memory_surface.h"

namespace zor {

struct ScriptedAdapter {
    AdapterInfo info;
    std::vector<SurfaceDesc> modes;  // every mode the driver reports, any bit count
    bool createFails = false;        // createDriver on this adapter fails
};

struct RecordedDraw {
    PrimitiveType type = PrimitiveType::POINTLIST;
    std::uint32_t vertexFormat = 0;
    std::uint32_t flags = 0;
    std::vector<LVertex> vertices;
    // Device state at the moment of the draw.
    SurfaceId texture = SurfaceId::none;
    std::uint32_t shadeMode = 0;
    std::uint32_t cullMode = 0;
    std::uint32_t zBias = 0;
    bool alphaBlend = false;
};

// "mode WxHxB" style display mode with the 5-6-5 (16) or 5-5-5 (15) masks;
// other bit counts get plain RGB masks.
SurfaceDesc makeDisplayMode(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount);
PixelFormat makeDepthFormat(std::uint32_t depth, std::uint32_t stencil = 0);
std::string guidText(const Guid& guid);

class RecordingDisplayLayer : public DisplayLayer {
public:
    // Script.
    std::vector<ScriptedAdapter> adapters;
    std::vector<DeviceInfo> devices;
    std::vector<PixelFormat> zBufferFormats;  // reported for every device type
    std::vector<PixelFormat> textureFormats;
    std::uint32_t textureCaps = 0;            // dpcTriCaps.dwTextureCaps of created devices
    // Operations that fail: an operation name ("createDriver", "createSurface",
    // "createDevice", "setDisplayMode", ...) or a name with a detail:
    // "createSurface:zbuffer", "createSurface:primary", "createSurface:video",
    // "createSurface:system", "createSurface:texture", "createDevice:RGB",
    // "createDevice:MMX", "lock".
    std::set<std::string> failing;

    // Record.
    std::vector<std::string> calls;
    std::vector<RecordedDraw> draws;
    std::map<RenderState, std::uint32_t> renderStates;
    std::map<TransformState, Matrix> transforms;

    // Every surface ever created, by handle - 1.
    std::vector<MemorySurface> surfaces;
    MemorySurface& surface(SurfaceId id) { return surfaces.at(static_cast<std::size_t>(id) - 1); }
    // Calls that start with the prefix, in order.
    std::vector<std::string> callsStartingWith(std::string_view prefix) const;
    void clearRecord();

    HResult enumerateAdapters(const AdapterCallback& callback) override;
    HResult createDriver(const Guid* guid, DriverId& driver) override;
    HResult enumerateDisplayModes(DriverId driver, const ModeCallback& callback) override;
    void releaseDriver(DriverId driver) override;
    HResult setCooperativeLevel(DriverId driver, void* nativeWindow, std::uint32_t flags) override;
    HResult setDisplayMode(DriverId driver, std::uint32_t width, std::uint32_t height, std::uint32_t bitCount,
                           std::uint32_t refreshRate, std::uint32_t flags) override;
    HResult testCooperativeLevel(DriverId driver) override;
    HResult createSurface(DriverId driver, const SurfaceDesc& desc, SurfaceId& surface) override;
    HResult getAttachedSurface(SurfaceId surface, std::uint32_t caps, SurfaceId& attached) override;
    HResult addAttachedSurface(SurfaceId surface, SurfaceId attach) override;
    HResult getPixelFormat(SurfaceId surface, PixelFormat& format) override;
    HResult getSurfaceDesc(SurfaceId surface, SurfaceDesc& desc) override;
    HResult getCaps(SurfaceId surface, std::uint32_t& caps) override;
    HResult lock(SurfaceId surface, std::uint32_t flags, void*& bits, std::int32_t& pitch) override;
    HResult unlock(SurfaceId surface) override;
    HResult setColorKey(SurfaceId surface, std::uint32_t flags, std::uint32_t low, std::uint32_t high) override;
    HResult blt(SurfaceId destination, const Rect* destinationRect, SurfaceId source, const Rect* sourceRect,
                std::uint32_t flags) override;
    HResult flip(SurfaceId primary, std::uint32_t flags) override;
    void releaseSurface(SurfaceId surface) override;
    HResult queryDirect3D(DriverId driver) override;
    HResult enumerateDevices(const DeviceCallback& callback) override;
    HResult enumerateZBufferFormats(const Guid& deviceType, const FormatCallback& callback) override;
    HResult createDevice(const Guid& deviceType, SurfaceId renderTarget, DeviceId& device) override;
    void releaseDevice(DeviceId device) override;
    HResult getDeviceCaps(DeviceId device, DeviceInfo& caps) override;
    HResult enumerateTextureFormats(DeviceId device, const FormatCallback& callback) override;
    HResult getRenderTarget(DeviceId device, SurfaceId& target) override;
    HResult setRenderState(DeviceId device, RenderState state, std::uint32_t value) override;
    HResult setTextureStageState(DeviceId device, std::uint32_t stage, TextureStageState state,
                                 std::uint32_t value) override;
    HResult setTransform(DeviceId device, TransformState state, const Matrix& matrix) override;
    HResult setViewport(DeviceId device, const ViewportDesc& viewport) override;
    HResult setZeroMaterial(DeviceId device) override;
    HResult setTexture(DeviceId device, std::uint32_t stage, SurfaceId texture) override;
    HResult clear(DeviceId device, std::uint32_t flags, std::uint32_t color, float z, std::uint32_t stencil) override;
    HResult beginScene(DeviceId device) override;
    HResult endScene(DeviceId device) override;
    HResult drawPrimitive(DeviceId device, PrimitiveType type, std::uint32_t vertexFormat, const LVertex* vertices,
                          std::uint32_t count, std::uint32_t flags) override;

private:
    bool fails(std::string_view operation, std::string_view detail = {}) const;
    MemorySurface* find(SurfaceId id);
    void record(std::string text) { calls.push_back(std::move(text)); }

    PixelFormat displayFormat_ = rgb565Format();
    std::uint32_t modeWidth_ = 640;   // of the last setDisplayMode
    std::uint32_t modeHeight_ = 480;
    std::uint32_t driverCount_ = 0;
    std::map<std::uint32_t, std::size_t> driverAdapter_;
    std::uint32_t deviceCount_ = 0;
    Guid deviceType_;
    SurfaceId renderTarget_ = SurfaceId::none;
    SurfaceId boundTexture_ = SurfaceId::none;
};

const char* renderStateName(RenderState state);
const char* textureStageStateName(TextureStageState state);

}  // namespace zor
