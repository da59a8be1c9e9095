// Device set-up: every step is one operation of the display layer, in the
// order below. A failing step ends set-up at once and keeps what was created
// so far; only the three steps with a message of their own show one.

#include <cmath>
#include <cstdio>
#include <iostream>

#include "display/display.h"
#include "scene/player_constants.h"

namespace zor {

namespace {

constexpr const char* kErrorCaption = "ERROR!";

static_assert(kPlayerCooperativeFlags == (DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE));

bool isHardwareType(const Guid& guid) {
    return guid == IID_IDirect3DTnLHalDevice || guid == IID_IDirect3DHALDevice;
}

// Plain depth buffers only: 16 bits is taken at once, otherwise the deepest.
bool enumerateDepthFormat(DisplayState& state, const PixelFormat& format) {
    if (format.flags != DDPF_ZBUFFER) return true;
    if (format.zBufferBitDepth == 16) {
        state.zBufferFormat = format;
        state.zBufferDepth = 16;
        state.zBufferFound = true;
        return false;
    }
    if (format.zBufferBitDepth > state.zBufferDepth) {
        state.zBufferFormat = format;
        state.zBufferDepth = format.zBufferBitDepth;
        state.zBufferFound = true;
    }
    return true;
}

}  // namespace

std::vector<DisplayAdapter> listDisplayAdapters(DisplayLayer& layer) {
    std::vector<DisplayAdapter> adapters;
    layer.enumerateAdapters([&](const AdapterInfo& info) {
        DisplayAdapter a;
        a.guid = info.guid;
        a.description = info.description.substr(0, 255);
        a.driverName = info.driverName.substr(0, 255);
        adapters.push_back(std::move(a));
        return true;
    });
    for (auto& a : adapters) {
        DriverId driver = DriverId::none;
        if (layer.createDriver(a.guid ? &*a.guid : nullptr, driver) != kOk) continue;
        layer.enumerateDisplayModes(driver, [&](const SurfaceDesc& mode) {
            const auto bits = mode.pixelFormat.rgbBitCount;
            if (bits == 16 || bits == 15 || bits == 32) a.modes.push_back(mode);
            return true;
        });
        layer.releaseDriver(driver);
    }
    return adapters;
}

void DisplayContext::message(std::string_view caption, std::string_view text) const {
    if (showMessage) showMessage(caption, text);
    else std::cerr << caption << ": " << text << '\n';
}

bool DisplayContext::fatal(std::string_view caption, std::string_view text, int status) {
    if (fatalError) return false;
    message(caption, text);
    fatalError = DisplayFatal{std::string(caption), std::string(text), status};
    return false;
}

bool checkDirectDraw(DisplayContext& context, HResult result) {
    return result == kOk || context.fatal(kErrorCaption, "DDraw error!", kDisplayFailureStatus);
}

bool initDisplay(DisplayContext& context, void* window, std::uint32_t cooperativeFlags,
                 const SetupWindowFunction& runSetupWindow) {
    DisplayLayer& layer = context.layer;
    DisplayState& state = context.state;
    context.failure.clear();
    context.setupCancelled = false;
    // Says what failed (and why, when the layer knows) for the caller's report.
    const auto failed = [&](std::string what, bool layerKnowsWhy = true) {
        if (layerKnowsWhy && !layer.error().empty()) what += ": " + layer.error();
        context.failure = std::move(what);
        return false;
    };

    // Steps 1 and 2: adapters, then each adapter's 15- and 16-bit modes (and
    // the 32-bit ones a layer offers for true colour).
    std::vector<DisplayAdapter> adapters = listDisplayAdapters(layer);

    // Step 3: the user's choice. Quitting the set-up window, or confirming an
    // adapter without modes, is a failed set-up.
    DisplaySelection selection;
    if (!runSetupWindow || !runSetupWindow(adapters, selection)) {
        context.setupCancelled = static_cast<bool>(runSetupWindow);
        return failed("no display adapter and mode were chosen in the set-up window", false);
    }
    const SurfaceDesc& mode = selection.selectedMode;
    if (mode.width == 0 || mode.height == 0) return failed("the chosen display adapter has no display mode", false);
    const std::string modeName = std::to_string(mode.width) + "x" + std::to_string(mode.height) + "x" +
                                 std::to_string(mode.pixelFormat.rgbBitCount);
    state.mode = mode;

    state.window = window;                                                         // 4
    const Guid* guid = selection.selectedGuid ? &*selection.selectedGuid : nullptr;
    if (layer.createDriver(guid, state.directDraw) != kOk)                         // 5
        return failed("cannot open the chosen display adapter");
    if (layer.setCooperativeLevel(state.directDraw, window, cooperativeFlags) != kOk)  // 6
        return failed("cannot take over the main window");
    if (!(cooperativeFlags & DDSCL_NORMAL) &&                                      // 7
        layer.setDisplayMode(state.directDraw, mode.width, mode.height, mode.pixelFormat.rgbBitCount, 0, 0) != kOk)
        return failed("cannot switch to the display mode " + modeName);
    if (layer.testCooperativeLevel(state.directDraw) != kOk)                       // 8
        return failed("the display is not available");

    // 9: the flip chain with one back buffer.
    SurfaceDesc chain;
    chain.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    chain.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    chain.backBufferCount = 1;
    chain.multiSampleCount = mode.multiSampleCount;
    if (layer.createSurface(state.directDraw, chain, state.primary) != kOk ||
        layer.getAttachedSurface(state.primary, DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE, state.backBuffer) != kOk)
        return failed("cannot create the " + modeName + " flip chain");

    if (layer.queryDirect3D(state.directDraw) != kOk)                              // 10
        return failed("no 3D device interface");
    state.direct3D = true;

    // 11: the last hardware device reported wins; each gets a probe device
    // and offers its depth formats.
    layer.enumerateDevices([&](const DeviceInfo& device) {
        if (device.devCaps & D3DDEVCAPS_HWRASTERIZATION) {
            state.deviceGuid = device.guid;
            state.hardwareDeviceFound = true;
            DeviceId probe = DeviceId::none;
            if (layer.createDevice(device.guid, state.backBuffer, probe) == kOk) {
                if (state.device != DeviceId::none) layer.releaseDevice(state.device);
                state.device = probe;
            }
            layer.enumerateZBufferFormats(device.guid,
                                          [&](const PixelFormat& f) { return enumerateDepthFormat(state, f); });
        }
        return true;
    });

    // 12: software rasterisers, RGB before MMX.
    if (!state.hardwareDeviceFound) {
        if (layer.createDevice(IID_IDirect3DRGBDevice, state.backBuffer, state.device) == kOk) {
            state.deviceGuid = IID_IDirect3DRGBDevice;
        } else if (layer.createDevice(IID_IDirect3DMMXDevice, state.backBuffer, state.device) == kOk) {
            state.deviceGuid = IID_IDirect3DMMXDevice;
        } else {
            return failed("neither software 3D device can be created");
        }
        layer.enumerateZBufferFormats(state.deviceGuid,
                                      [&](const PixelFormat& f) { return enumerateDepthFormat(state, f); });
    }

    if (!state.zBufferFound) {                                                     // 13
        context.message(kErrorCaption, "This device doesn\xC2\xB4t support a Zbuff. Please try another device");
        return failed("the 3D device offers no plain depth buffer format", false);
    }

    // 14: the depth buffer goes to video memory only for hardware devices.
    SurfaceDesc depth;
    depth.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    depth.width = mode.width;
    depth.height = mode.height;
    depth.pixelFormat = state.zBufferFormat;
    depth.caps = DDSCAPS_ZBUFFER | (isHardwareType(state.deviceGuid) ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
    if (layer.createSurface(state.directDraw, depth, state.zBuffer) != kOk) {
        layer.releaseDriver(state.directDraw);
        state.directDraw = DriverId::none;
        context.message(kErrorCaption,
                        "Couldn\xC2\xB4t create Zbuffert. Please try to choose a lower resolution.");
        return failed("cannot create the " + std::to_string(state.zBufferDepth) + "-bit depth buffer");
    }
    if (layer.addAttachedSurface(state.backBuffer, state.zBuffer) != kOk)          // 15
        return failed("cannot attach the depth buffer");

    // 16: the final device replaces the probe.
    if (state.device != DeviceId::none) layer.releaseDevice(state.device);
    state.device = DeviceId::none;
    if (layer.createDevice(state.deviceGuid, state.backBuffer, state.device) != kOk)
        return failed("cannot create the 3D device");

    layer.setRenderState(state.device, RenderState::ZENABLE, D3DZB_TRUE);        // 17
    layer.setRenderState(state.device, RenderState::ZFUNC, D3DCMP_LESSEQUAL);

    // 18: a 16-bit texture format must exist; textures take the display's format.
    if (layer.enumerateTextureFormats(state.device, [&](const PixelFormat& f) {
            if (f.rgbBitCount == 16) {
                state.texture16Found = true;
                return false;
            }
            return true;
        }) != kOk)
        return failed("cannot list the texture formats");
    if (!state.texture16Found) {
        layer.releaseDriver(state.directDraw);
        state.directDraw = DriverId::none;
        context.message(kErrorCaption,
                        "This device doesn\xC2\xB4t support 16bpp textures. Please try another device");
        return failed("the 3D device offers no 16-bit texture format", false);
    }

    ViewportDesc viewport;                                                         // 19
    viewport.width = mode.width;
    viewport.height = mode.height;
    if (layer.setViewport(state.device, viewport) != kOk) return failed("cannot set the viewport");

    // 20: the view moves every vertex one unit away from the eye.
    Matrix view = identityMatrix();
    view[14] = kViewOffset;
    layer.setTransform(state.device, TransformState::WORLD, identityMatrix());
    layer.setTransform(state.device, TransformState::VIEW, view);
    setProjection(context, kFieldOfViewX, kFieldOfViewY, kNearPlane, kFarPlane);  // 21

    context.source.setArchiveName(kArchiveFileName);                               // 22

    layer.setTextureStageState(state.device, 0, TextureStageState::MAGFILTER, D3DTFG_LINEAR);  // 23
    layer.setTextureStageState(state.device, 0, TextureStageState::MINFILTER, D3DTFN_LINEAR);
    layer.setTextureStageState(state.device, 0, TextureStageState::MIPFILTER, D3DTFP_LINEAR);
    layer.setTextureStageState(state.device, 0, TextureStageState::COLOROP, D3DTOP_MODULATE);

    layer.setRenderState(state.device, RenderState::DITHERENABLE, 1);            // 24
    layer.setRenderState(state.device, RenderState::LIGHTING, 0);
    layer.setRenderState(state.device, RenderState::SPECULARENABLE, 0);
    layer.setRenderState(state.device, RenderState::AMBIENT, 0);
    layer.setZeroMaterial(state.device);                                           // 25
    return true;
}

Matrix projectionMatrix(float fovX, float fovY, float nearZ, float farZ) {
    constexpr float k = 0.01745328f;
    const float halfX = (fovX * k) * 0.5f;
    const float halfY = (fovY * k) * 0.5f;
    const float q = farZ / (farZ - nearZ);
    Matrix m{};
    m[0] = 1.0f / std::tan(halfX);
    m[5] = 1.0f / std::tan(halfY);
    m[10] = q;
    m[11] = 1.0f;
    m[14] = -q * nearZ;
    return m;
}

void setProjection(DisplayContext& context, float fovX, float fovY, float nearZ, float farZ) {
    context.layer.setTransform(context.state.device, TransformState::PROJECTION,
                               projectionMatrix(fovX, fovY, nearZ, farZ));
}

void clearTarget(DisplayContext& context) {
    context.layer.clear(context.state.device, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
}

void blitLogo(DisplayContext& context, const Image& logo) {
    const Rect rect{0, 0, kLogoSide, kLogoSide};
    context.layer.blt(context.state.backBuffer, &rect, logo.surface, &rect, DDBLT_KEYSRC | DDBLT_DONOTWAIT);
}

}  // namespace zor
