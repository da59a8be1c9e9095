#pragma once
// The display layer on OpenGL ES 3.0 (gl_drawing.h draws, a GlHost gives the
// window and context): in an SDL window, headless with SDL's "offscreen"
// video driver, or wherever another host puts its context.
//
// Adapters are the host's displays (the first without a GUID, as the primary
// display driver); each display resolution is offered as a 15-bit (5-5-5) and
// a 16-bit (5-6-5) mode, every 15-bit one before every 16-bit one, so that a
// list's last 480-line mode is a 16-bit one; before them come the sharp
// choices, 32-bit modes (8 bits a channel) and 32-bit modes with 4x
// multisampling. The picture is drawn into two off-screen colour buffers of
// exactly the chosen mode's size and format (RGB565, RGB5_A1 or RGBA8, so
// the buffer itself quantises the colours) that form the flip chain; a flip
// swaps them and shows the new front buffer scaled into the window with its
// aspect ratio kept. On a mode that is not 4:3 the view, the logo and all
// that is drawn keep to a centred 4:3 area (picture_area.h), the rest of the
// buffers black, unless the options ask for the view stretched. The display
// mode goes full screen on the display of the chosen adapter.
//
// A software rasteriser (Mesa llvmpipe or softpipe) is reported as a software
// device only, so the software device path runs headless.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/display_layer.h"
#include "render/gl_host.h"

namespace zor {

class GlDisplayLayer : public DisplayLayer {
public:
    // On a host of the platform's (platform/sdl, platform/browser).
    GlDisplayLayer(std::unique_ptr<GlHost> host, GlDisplayOptions options);
    ~GlDisplayLayer() override;
    GlDisplayLayer(const GlDisplayLayer&) = delete;
    GlDisplayLayer& operator=(const GlDisplayLayer&) = delete;

    // Why the last failing operation failed.
    const std::string& error() const override;
    // The renderer string of the GL context, once there is one.
    std::string rendererName() const;
    // The context's version text ("OpenGL ES 3.2 Mesa ...", "4.5 (Core Profile) ...").
    std::string versionText() const;
    // Draw calls sent to GL so far.
    std::size_t drawCalls() const;
    // Samples per pixel of the flip chain (1 without multisampling): what
    // the device gave for what the mode asked.
    int sampleCount() const;

    // The front buffer of the flip chain (what is shown) as 8-bit RGB rows,
    // top row first. False before the flip chain exists.
    bool readFrontBuffer(std::vector<std::uint8_t>& rgb, int& width, int& height);

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
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zor
