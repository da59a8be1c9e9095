// The OpenGL layer's front: the host and its context, the adapters (the
// host's displays) and their modes, the device, clearing and drawing. The
// other parts of the layer are listed in gl_layer.h.

#include "render/gl_display_layer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "render/gl_layer.h"

namespace zor {

namespace {

bool isSoftwareRenderer(const std::string& name) {
    return name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos ||
           name.find("Software") != std::string::npos || name.find("swrast") != std::string::npos;
}

Guid displayGuid(int index) {
    Guid g;
    const char tag[] = "zor-display-";
    std::memcpy(g.bytes.data(), tag, 12);
    g.bytes[12] = static_cast<std::uint8_t>(index);
    return g;
}

}  // namespace

void forgetErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

bool GlDisplayLayer::Impl::fail(std::string text) {
    error = std::move(text);
    return false;
}

bool GlDisplayLayer::Impl::startHost() {
    if (hostReady) return true;
    if (!host->start()) return fail(host->error());
    hostReady = true;
    return true;
}

bool GlDisplayLayer::Impl::ensureContext() {
    if (contextReady) return true;
    if (!startHost()) return false;
    host->adoptWindow(nativeWindow);
    if (!host->createContext(width ? static_cast<int>(width) : 640, height ? static_cast<int>(height) : 480))
        return fail(host->error());
    if (const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) renderer = name;
    if (const auto* text = reinterpret_cast<const char*>(glGetString(GL_VERSION))) version = text;
    std::string why;
    if (!drawing.start(why)) return fail("cannot set up drawing: " + why);
    contextReady = true;
    return true;
}

void GlDisplayLayer::Impl::shutdown() {
    if (contextReady) {
        host->makeCurrent();
        drawing.flush();
        waitForLastFrame();
        // No later frame's end will be seen drawn. The last fence can go all
        // the same: the rasteriser keeps its newest fence itself until it is
        // given more work, and none follows.
        if (frameBeforeHeld) glDeleteSync(frameBeforeHeld);
        frameBeforeHeld = nullptr;
        for (auto& s : surfaces)
            if (s.texture && (s.kind != GlSurfaceKind::TextureLevel || s.level == 0)) glDeleteTextures(1, &s.texture);
        if (framebuffers[0]) glDeleteFramebuffers(2, framebuffers);
        if (colorBuffers[0]) glDeleteTextures(2, colorBuffers);
        if (drawFramebuffers[0]) glDeleteFramebuffers(2, drawFramebuffers);
        if (drawColorBuffers[0]) glDeleteRenderbuffers(2, drawColorBuffers);
        if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
        drawing.stop();
        contextReady = false;
    }
    if (host) host->shutdown();
    hostReady = false;
}

GlSurface* GlDisplayLayer::Impl::find(SurfaceId id) {
    const auto index = static_cast<std::size_t>(id);
    if (index == 0 || index > surfaces.size() || !surfaces[index - 1].alive) return nullptr;
    return &surfaces[index - 1];
}

SurfaceId GlDisplayLayer::Impl::add(GlSurface surface) {
    surfaces.push_back(std::move(surface));
    return static_cast<SurfaceId>(surfaces.size());
}

PixelFormat GlDisplayLayer::Impl::displayFormat() const {
    if (modeBits == 32) return xrgb8888Format();
    return modeBits == 15 ? rgb555Format() : rgb565Format();
}

GLenum GlDisplayLayer::Impl::colourFormat() const {
    if (modeBits == 32) return GL_RGBA8;
    return modeBits == 15 ? GL_RGB5_A1 : GL_RGB565;
}

GlDisplayLayer::GlDisplayLayer(std::unique_ptr<GlHost> host, GlDisplayOptions options)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
    impl_->host = std::move(host);
}

GlDisplayLayer::~GlDisplayLayer() = default;

const std::string& GlDisplayLayer::error() const { return impl_->error; }

std::string GlDisplayLayer::rendererName() const { return impl_->renderer; }
std::string GlDisplayLayer::versionText() const { return impl_->version; }

std::size_t GlDisplayLayer::drawCalls() const { return impl_->drawing.drawCalls(); }

int GlDisplayLayer::sampleCount() const { return impl_->samples; }

HResult GlDisplayLayer::enumerateAdapters(const AdapterCallback& callback) {
    Impl& d = *impl_;
    if (!d.startHost()) return kFailed;
    const std::vector<HostDisplay> displays = d.host->displays();
    const std::string driver = d.host->driverName();
    for (std::size_t i = 0; i < displays.size(); ++i) {
        AdapterInfo info;
        if (i > 0) info.guid = displayGuid(static_cast<int>(i));
        info.description = displays[i].name;
        info.driverName = driver;
        if (!callback(info)) break;
    }
    return kOk;
}

HResult GlDisplayLayer::createDriver(const Guid* guid, DriverId& driver) {
    Impl& d = *impl_;
    if (!d.startHost()) return kFailed;
    const int count = static_cast<int>(d.host->displays().size());
    for (int i = 0; i < count; ++i) {
        if ((i == 0 && !guid) || (i > 0 && guid && *guid == displayGuid(i))) {
            driver = static_cast<DriverId>(i + 1);
            return kOk;
        }
    }
    d.fail("no such display");
    return kFailed;
}

HResult GlDisplayLayer::enumerateDisplayModes(DriverId driver, const ModeCallback& callback) {
    Impl& d = *impl_;
    const std::vector<HostDisplay> displays = d.host->displays();
    const auto display = static_cast<std::size_t>(driver) - 1;
    if (display >= displays.size()) return kFailed;
    std::vector<std::pair<int, int>> sizes = displays[display].sizes;
    // The picture is drawn off-screen at the mode's size and scaled to the
    // screen, so the usual sizes are offered beside the display's own (up to
    // its largest; all of them on a display without real sizes, as SDL's
    // off-screen driver reports 0x0). A screen of one size only, as a bare X
    // server has, still gets a 640x480 mode for the set-up window to choose.
    const bool none = sizes.empty();
    int widest = 0, tallest = 0;
    for (const auto& [w, h] : sizes) {
        widest = std::max(widest, w);
        tallest = std::max(tallest, h);
    }
    for (const std::pair<int, int>& usual : {std::pair{1024, 768}, std::pair{800, 600}, std::pair{640, 480}}) {
        const bool fits = none || (usual.first <= widest && usual.second <= tallest);
        if (fits && std::find(sizes.begin(), sizes.end(), usual) == sizes.end()) sizes.push_back(usual);
    }
    // The sharp choices first (true colour, then true colour with 4x
    // multisampling, which OpenGL ES 3.0 always offers), then every 15-bit
    // copy: whoever takes a list's last 480-line mode gets 5-6-5, the
    // original look.
    struct Kind {
        std::uint32_t bits;
        std::uint32_t samples;
    };
    for (const Kind kind : {Kind{32, 0}, Kind{32, 4}, Kind{15, 0}, Kind{16, 0}}) {
        for (const auto& [w, h] : sizes) {
            SurfaceDesc m;
            m.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
            m.width = static_cast<std::uint32_t>(w);
            m.height = static_cast<std::uint32_t>(h);
            m.pitch = w * (kind.bits == 32 ? 4 : 2);
            m.pixelFormat = kind.bits == 32 ? xrgb8888Format() : kind.bits == 16 ? rgb565Format() : rgb555Format();
            m.pixelFormat.rgbBitCount = kind.bits;
            m.multiSampleCount = kind.samples;
            if (!callback(m)) return kOk;
        }
    }
    return kOk;
}

void GlDisplayLayer::releaseDriver(DriverId) {}

HResult GlDisplayLayer::setCooperativeLevel(DriverId, void* nativeWindow, std::uint32_t flags) {
    Impl& d = *impl_;
    if (!d.contextReady && nativeWindow) d.nativeWindow = nativeWindow;
    d.fullScreen = (flags & DDSCL_FULLSCREEN) && (flags & DDSCL_EXCLUSIVE) && d.options.allowFullScreen &&
                   d.options.visible;
    return kOk;
}

HResult GlDisplayLayer::setDisplayMode(DriverId driver, std::uint32_t width, std::uint32_t height,
                                       std::uint32_t bitCount, std::uint32_t, std::uint32_t) {
    Impl& d = *impl_;
    if (width == 0 || height == 0 || width > 16384 || height > 16384 ||
        (bitCount != 16 && bitCount != 15 && bitCount != 32)) {
        d.fail("unsupported display mode " + std::to_string(width) + "x" + std::to_string(height) + "x" +
               std::to_string(bitCount));
        return kFailed;
    }
    if (!d.startHost()) return kFailed;
    const auto display = static_cast<std::size_t>(driver);
    if (display == 0 || display > d.host->displays().size()) {
        d.fail("no such display");
        return kFailed;
    }
    d.display = static_cast<int>(display) - 1;
    d.width = width;
    d.height = height;
    d.modeBits = bitCount;
    d.area = pictureArea(width, height, d.options.stretch);
    if (!d.ensureContext()) return kFailed;
    d.host->showMode(d.display, static_cast<int>(width), static_cast<int>(height), d.fullScreen);
    return kOk;
}

HResult GlDisplayLayer::testCooperativeLevel(DriverId) { return impl_->ensureContext() ? kOk : kFailed; }

HResult GlDisplayLayer::queryDirect3D(DriverId) { return impl_->ensureContext() ? kOk : kFailed; }

HResult GlDisplayLayer::enumerateDevices(const DeviceCallback& callback) {
    Impl& d = *impl_;
    if (!d.ensureContext()) return kFailed;
    DeviceInfo rgb;
    rgb.guid = IID_IDirect3DRGBDevice;
    rgb.description = "Software rasteriser";
    rgb.name = "RGB Emulation";
    if (!callback(rgb)) return kOk;
    if (isSoftwareRenderer(d.renderer)) return kOk;
    DeviceInfo hal;
    hal.guid = IID_IDirect3DHALDevice;
    hal.description = d.renderer;
    hal.name = "Direct3D HAL";
    hal.devCaps = D3DDEVCAPS_HWRASTERIZATION;
    if (!callback(hal)) return kOk;
    DeviceInfo tnl = hal;
    tnl.guid = IID_IDirect3DTnLHalDevice;
    tnl.name = "Direct3D T&L HAL";
    callback(tnl);
    return kOk;
}

HResult GlDisplayLayer::enumerateZBufferFormats(const Guid&, const FormatCallback& callback) {
    for (const auto& c : kDepthFormats) {
        PixelFormat f;
        f.flags = DDPF_ZBUFFER | (c.stencil ? DDPF_STENCILBUFFER : 0);
        f.zBufferBitDepth = c.depth + c.stencil;
        f.stencilBitDepth = c.stencil;
        f.redMask = ((1u << c.depth) - 1) << c.stencil;
        if (!callback(f)) break;
    }
    return kOk;
}

HResult GlDisplayLayer::createDevice(const Guid& deviceType, SurfaceId renderTarget, DeviceId& device) {
    Impl& d = *impl_;
    GlSurface* target = d.find(renderTarget);
    if (!target || target->kind != GlSurfaceKind::Back) return kFailed;
    if (deviceType != IID_IDirect3DRGBDevice && (isSoftwareRenderer(d.renderer) || deviceType == IID_IDirect3DMMXDevice))
        return kFailed;
    d.setupDevice();
    device = static_cast<DeviceId>(++d.deviceCount);
    return kOk;
}

void GlDisplayLayer::releaseDevice(DeviceId) {}

HResult GlDisplayLayer::getDeviceCaps(DeviceId, DeviceInfo& caps) {
    caps = DeviceInfo{};
    caps.textureCaps = 0;  // any size, any aspect
    return kOk;
}

HResult GlDisplayLayer::enumerateTextureFormats(DeviceId, const FormatCallback& callback) {
    const PixelFormat formats[] = {rgb565Format(), rgb555Format()};
    for (const auto& f : formats)
        if (!callback(f)) break;
    return kOk;
}

HResult GlDisplayLayer::getRenderTarget(DeviceId, SurfaceId& target) {
    target = impl_->back;
    return kOk;
}

HResult GlDisplayLayer::clear(DeviceId, std::uint32_t flags, std::uint32_t color, float z, std::uint32_t) {
    Impl& d = *impl_;
    if (!d.contextReady) return kFailed;
    d.drawing.clear((flags & D3DCLEAR_TARGET) != 0, color, (flags & D3DCLEAR_ZBUFFER) != 0, z);
    return kOk;
}

HResult GlDisplayLayer::beginScene(DeviceId) { return kOk; }

HResult GlDisplayLayer::endScene(DeviceId) {
    impl_->drawing.flush();
    return kOk;
}

HResult GlDisplayLayer::drawPrimitive(DeviceId, PrimitiveType type, std::uint32_t vertexFormat,
                                      const LVertex* vertices, std::uint32_t count, std::uint32_t) {
    Impl& d = *impl_;
    if (vertexFormat != D3DFVF_LVERTEX || count == 0 || count > 0xFFFF || !d.contextReady) return kFailed;
    GlSurface* t = d.find(d.boundTexture);
    if (t && t->uploadedVersion != t->memory.version) d.uploadTextureLevel(*t);
    d.drawing.draw(type, vertices, count);
    return kOk;
}

}  // namespace zor
