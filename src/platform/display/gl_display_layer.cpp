#include "platform/display/gl_display_layer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/display/gl_api.h"
#include "platform/display/gl_drawing.h"
#include "platform/display/memory_surface.h"

namespace zor {

namespace {

enum class Kind { Primary, Back, Depth, Offscreen, TextureLevel };

struct GlSurface {
    Kind kind = Kind::Offscreen;
    MemorySurface memory;  // offscreen surfaces and texture levels keep their pixels here
    GLuint texture = 0;    // texture levels: the GL texture; offscreen: an RGBA copy for blits
    std::uint32_t uploadedVersion = ~0u;
    int level = 0;
    bool alive = true;
};

struct DepthChoice {
    std::uint32_t depth;
    std::uint32_t stencil;
    GLenum internalFormat;
};

constexpr std::array<DepthChoice, 3> kDepthFormats = {{
    {16, 0, GL_DEPTH_COMPONENT16},
    {24, 0, GL_DEPTH_COMPONENT24},
    {24, 8, GL_DEPTH24_STENCIL8},
}};

bool isSoftwareRenderer(const std::string& name) {
    return name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos ||
           name.find("Software") != std::string::npos || name.find("swrast") != std::string::npos;
}

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

std::uint8_t expand(std::uint32_t value, int bits) {
    const std::uint32_t v = value << (8 - bits);
    return static_cast<std::uint8_t>(v | (v >> bits));
}

// An 8-bit channel read back from a 5- or 6-bit buffer, as that buffer's
// level with its bits repeated downwards (whether GL rounded or repeated
// bits when it widened the level).
std::uint8_t requantise(std::uint8_t value, int bits) {
    const std::uint32_t top = (1u << bits) - 1;
    return expand((value * top + 127) / 255, bits);
}

// A 5-6-5 or 5-5-5 pixel as 8-bit red, green, blue, bits repeated downwards.
void toRgb8(std::uint32_t p, bool is555, std::uint8_t* out) {
    if (is555) {
        out[0] = expand((p >> 10) & 31, 5);
        out[1] = expand((p >> 5) & 31, 5);
    } else {
        out[0] = expand(p >> 11, 5);
        out[1] = expand((p >> 5) & 63, 6);
    }
    out[2] = expand(p & 31, 5);
}

Guid displayGuid(int index) {
    Guid g;
    const char tag[] = "zor-display-";
    std::memcpy(g.bytes.data(), tag, 12);
    g.bytes[12] = static_cast<std::uint8_t>(index);
    return g;
}

// Clears GL's error flags, so that a check after the next calls sees only
// their errors.
void forgetErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

}  // namespace

struct GlDisplayLayer::Impl {
    GlDisplayOptions options;
    std::unique_ptr<GlHost> host;
    std::string error;
    bool hostReady = false;
    bool contextReady = false;
    void* nativeWindow = nullptr;
    std::string renderer;
    GlDrawing drawing;

    // Display mode and flip chain.
    std::uint32_t width = 0, height = 0;
    bool mode555 = false;
    bool fullScreen = false;
    int display = 0;  // the host's display of the mode's driver
    GLuint framebuffers[2] = {0, 0};
    GLuint colorBuffers[2] = {0, 0};
    GLuint depthBuffer = 0;
    int depthBits = 16;
    int front = 0;  // index of the front buffer in framebuffers
    // Hidden windows: the end of the last frame presented, waited for at the
    // end of the next one; the same point again, and the frame before's, only
    // held (see present()).
    GLsync lastFrameDone = nullptr;
    GLsync lastFrameHeld = nullptr;
    GLsync frameBeforeHeld = nullptr;
    SurfaceId primary = SurfaceId::none, back = SurfaceId::none;

    std::vector<GlSurface> surfaces;
    std::uint32_t deviceCount = 0;

    // Device state kept beside the drawing state.
    Matrix world = identityMatrix(), view = identityMatrix(), projection = identityMatrix();
    std::uint32_t minValue = 2, mipValue = 3;
    SurfaceId boundTexture = SurfaceId::none;

    ~Impl() { shutdown(); }

    bool fail(std::string text) {
        error = std::move(text);
        return false;
    }

    bool startHost() {
        if (hostReady) return true;
        if (!host->start()) return fail(host->error());
        hostReady = true;
        return true;
    }

    bool ensureContext() {
        if (contextReady) return true;
        if (!startHost()) return false;
        host->adoptWindow(nativeWindow);
        if (!host->createContext(width ? static_cast<int>(width) : 640, height ? static_cast<int>(height) : 480))
            return fail(host->error());
        if (const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) renderer = name;
        std::string why;
        if (!drawing.start(why)) return fail("cannot set up drawing: " + why);
        contextReady = true;
        return true;
    }

    // Waits until the last frame presented is drawn. Seen drawn, it lets the
    // frame before's held fence go; its own is held from now on.
    void waitForLastFrame() {
        if (!lastFrameDone) return;
        while (glClientWaitSync(lastFrameDone, GL_SYNC_FLUSH_COMMANDS_BIT, 1'000'000'000) == GL_TIMEOUT_EXPIRED) {
        }
        glDeleteSync(lastFrameDone);
        lastFrameDone = nullptr;
        if (frameBeforeHeld) glDeleteSync(frameBeforeHeld);
        frameBeforeHeld = lastFrameHeld;
        lastFrameHeld = nullptr;
    }

    void shutdown() {
        if (contextReady) {
            host->makeCurrent();
            drawing.flush();
            waitForLastFrame();
            // No later frame's end will be seen drawn. The last fence can go
            // all the same: the rasteriser keeps its newest fence itself until
            // it is given more work, and none follows.
            if (frameBeforeHeld) glDeleteSync(frameBeforeHeld);
            frameBeforeHeld = nullptr;
            for (auto& s : surfaces)
                if (s.texture && (s.kind != Kind::TextureLevel || s.level == 0)) glDeleteTextures(1, &s.texture);
            if (framebuffers[0]) glDeleteFramebuffers(2, framebuffers);
            if (colorBuffers[0]) glDeleteRenderbuffers(2, colorBuffers);
            if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
            drawing.stop();
            contextReady = false;
        }
        if (host) host->shutdown();
        hostReady = false;
    }

    GlSurface* find(SurfaceId id) {
        const auto index = static_cast<std::size_t>(id);
        if (index == 0 || index > surfaces.size() || !surfaces[index - 1].alive) return nullptr;
        return &surfaces[index - 1];
    }

    SurfaceId add(GlSurface surface) {
        surfaces.push_back(std::move(surface));
        return static_cast<SurfaceId>(surfaces.size());
    }

    PixelFormat displayFormat() const { return mode555 ? rgb555Format() : rgb565Format(); }

    void targetBack() {
        drawing.setTarget(framebuffers[1 - front], static_cast<int>(width), static_cast<int>(height), depthBits);
    }

    bool createFlipChain() {
        if (!ensureContext()) return false;
        forgetErrors();
        glGenFramebuffers(2, framebuffers);
        glGenRenderbuffers(2, colorBuffers);
        for (int i = 0; i < 2; ++i) {
            glBindRenderbuffer(GL_RENDERBUFFER, colorBuffers[i]);
            glRenderbufferStorage(GL_RENDERBUFFER, mode555 ? GL_RGB5_A1 : GL_RGB565, static_cast<GLsizei>(width),
                                  static_cast<GLsizei>(height));
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffers[i]);
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
                return fail(std::string("the ") + (mode555 ? "RGB5_A1" : "RGB565") +
                            " colour buffer cannot be drawn into");
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        front = 0;
        targetBack();
        return glGetError() == GL_NO_ERROR || fail("cannot create the flip chain's colour buffers");
    }

    bool createDepthBuffer(const PixelFormat& format) {
        if (!contextReady || !framebuffers[0]) return fail("no flip chain for the depth buffer");
        GLenum internal = 0;
        for (const auto& c : kDepthFormats)
            if (c.depth + c.stencil == format.zBufferBitDepth && c.stencil == format.stencilBitDepth) {
                internal = c.internalFormat;
                depthBits = static_cast<int>(c.depth);
            }
        if (!internal) return fail("unknown depth format");
        forgetErrors();
        glGenRenderbuffers(1, &depthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
        return glGetError() == GL_NO_ERROR || fail("cannot create the depth buffer");
    }

    bool attachDepth() {
        for (int i = 0; i < 2; ++i) {
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
                return fail("the depth buffer cannot be attached");
        }
        targetBack();
        return true;
    }

    void setupDevice() {
        targetBack();
        ViewportDesc whole;
        whole.width = width;
        whole.height = height;
        setViewport(whole);
        drawing.setMatrices(world, view, projection);
    }

    void setViewport(const ViewportDesc& v) {
        // Screen rows run down; GL rows run up.
        drawing.state.viewport = {static_cast<GLint>(v.x), static_cast<GLint>(height - v.y - v.height),
                                  static_cast<GLsizei>(v.width), static_cast<GLsizei>(v.height), v.minZ, v.maxZ};
    }

    void uploadTextureLevel(GlSurface& s) {
        drawing.flush();
        const MemorySurface& m = s.memory;
        glBindTexture(GL_TEXTURE_2D, s.texture);
        drawing.textureRebound(s.texture);
        const auto w = static_cast<GLsizei>(m.desc.width), h = static_cast<GLsizei>(m.desc.height);
        if (mode555) {
            // X1R5G5B5 to R5G5B5A1, the unused top bit an opaque alpha.
            std::vector<std::uint16_t> rgba(std::size_t(w) * h);
            for (GLsizei y = 0; y < h; ++y) {
                const std::uint16_t* in = m.row(static_cast<std::uint32_t>(y));
                std::uint16_t* out = rgba.data() + std::size_t(y) * w;
                for (GLsizei x = 0; x < w; ++x) out[x] = static_cast<std::uint16_t>((in[x] << 1) | 1);
            }
            glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
            glTexSubImage2D(GL_TEXTURE_2D, s.level, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, rgba.data());
        } else {
            glPixelStorei(GL_UNPACK_ROW_LENGTH, m.desc.pitch / 2);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
            glTexSubImage2D(GL_TEXTURE_2D, s.level, 0, 0, w, h, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, m.pixels.data());
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        s.uploadedVersion = m.version;
    }

    void updateMinFilter() {
        const bool linear = minValue >= 2;
        GLint& f = drawing.state.minFilter;
        if (mipValue == 3) f = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        else if (mipValue == 2) f = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else f = linear ? GL_LINEAR : GL_NEAREST;
    }

    // Draws a memory surface onto the back buffer, skipping keyed pixels.
    bool blitToBack(GlSurface& source, const Rect& sourceRect, const Rect& destinationRect, bool useKey) {
        drawing.flush();
        MemorySurface& m = source.memory;
        if (!source.texture || source.uploadedVersion != m.version) {
            const auto w = static_cast<GLsizei>(m.desc.width), h = static_cast<GLsizei>(m.desc.height);
            if (!source.texture) {
                glGenTextures(1, &source.texture);
                glBindTexture(GL_TEXTURE_2D, source.texture);
                glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, w, h);
            }
            const bool is555 = m.desc.pixelFormat.greenMask == 0x03E0;
            std::vector<std::uint8_t> rgba(std::size_t(w) * h * 4);
            for (GLsizei y = 0; y < h; ++y) {
                const std::uint16_t* in = m.row(static_cast<std::uint32_t>(y));
                std::uint8_t* out = rgba.data() + std::size_t(y) * w * 4;
                for (GLsizei x = 0; x < w; ++x) {
                    const std::uint32_t p = in[x];
                    toRgb8(p, is555, out + x * 4);
                    out[x * 4 + 3] = (m.colorKey && p == *m.colorKey) ? 0 : 255;
                }
            }
            glBindTexture(GL_TEXTURE_2D, source.texture);
            drawing.textureRebound(source.texture);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            source.uploadedVersion = m.version;
        }
        const float sw = static_cast<float>(m.desc.width), sh = static_cast<float>(m.desc.height);
        drawing.blit(source.texture,
                     {sourceRect.left / sw, sourceRect.top / sh, sourceRect.right / sw, sourceRect.bottom / sh},
                     destinationRect, useKey);
        return true;
    }

    void present() {
        drawing.flush();
        if (!host->presents()) {
            // Nothing swaps a hidden window, so without a wait the driver
            // queues every frame's drawing and memory grows without end. Like
            // a flip chain with one back buffer, the next frame may be built
            // while this one is still being drawn, but no further ahead.
            //
            // A fence seen signalled may still be in use, though. Mesa's
            // software rasteriser (llvmpipe) signals a fence from each of its
            // threads under the fence's mutex, and wakes the waiters before
            // it unlocks; but a wait first reads the count without the mutex
            // and returns at once if every thread has counted itself in by then.
            // The GL then lets go of the fence, and the driver frees it when
            // it recycles that frame's scene or queues the next one, while
            // the last thread, preempted there, may still have to wake and
            // unlock: it then writes into freed memory, and a later malloc
            // fails. So a second sync object on the same point (with nothing
            // queued between the two, both refer to the driver's one fence)
            // holds the fence until the next frame's end has been seen
            // drawn: every rasteriser thread signals every fence, in the
            // order they were queued, so by then all have left this one.
            waitForLastFrame();
            lastFrameDone = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
            lastFrameHeld = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
            glFlush();
            targetBack();
            return;
        }
        int ww = 0, wh = 0;
        host->drawableSize(ww, wh);
        // Scale into the window keeping the aspect ratio, bars in black.
        int dw = ww, dh = static_cast<int>(std::int64_t(ww) * height / std::max(1u, width));
        if (dh > wh) {
            dh = wh;
            dw = static_cast<int>(std::int64_t(wh) * width / std::max(1u, height));
        }
        const int dx = (ww - dw) / 2, dy = (wh - dh) / 2;
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[front]);
        glBlitFramebuffer(0, 0, static_cast<GLint>(width), static_cast<GLint>(height), dx, dy, dx + dw, dy + dh,
                          GL_COLOR_BUFFER_BIT, GL_LINEAR);
        host->swap();
        targetBack();
    }
};

GlDisplayLayer::GlDisplayLayer(GlDisplayOptions options) : GlDisplayLayer(makeGlHost(options), options) {}

GlDisplayLayer::GlDisplayLayer(std::unique_ptr<GlHost> host, GlDisplayOptions options)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
    impl_->host = std::move(host);
}

GlDisplayLayer::~GlDisplayLayer() = default;

const std::string& GlDisplayLayer::error() const { return impl_->error; }

std::string GlDisplayLayer::rendererName() const { return impl_->renderer; }

std::size_t GlDisplayLayer::drawCalls() const { return impl_->drawing.drawCalls(); }

bool GlDisplayLayer::readFrontBuffer(std::vector<std::uint8_t>& rgb, int& width, int& height) {
    Impl& d = *impl_;
    if (!d.framebuffers[0]) return false;
    d.drawing.flush();
    width = static_cast<int>(d.width);
    height = static_cast<int>(d.height);
    // RGBA bytes can always be read back; the buffer's own levels are
    // recovered from them.
    std::vector<std::uint8_t> raw(std::size_t(d.width) * d.height * 4);
    forgetErrors();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, d.framebuffers[d.front]);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    const bool read = glGetError() == GL_NO_ERROR;
    d.targetBack();
    const int greenBits = d.mode555 ? 5 : 6;
    rgb.resize(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        // GL rows run bottom-up.
        const std::uint8_t* in = raw.data() + std::size_t(height - 1 - y) * width * 4;
        std::uint8_t* out = rgb.data() + std::size_t(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            out[x * 3] = requantise(in[x * 4], 5);
            out[x * 3 + 1] = requantise(in[x * 4 + 1], greenBits);
            out[x * 3 + 2] = requantise(in[x * 4 + 2], 5);
        }
    }
    return read || d.fail("cannot read the front buffer back");
}

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
    // Every 15-bit copy first: whoever takes a list's last 480-line mode
    // gets 5-6-5.
    for (std::uint32_t bits : {15u, 16u}) {
        for (const auto& [w, h] : sizes) {
            SurfaceDesc m;
            m.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
            m.width = static_cast<std::uint32_t>(w);
            m.height = static_cast<std::uint32_t>(h);
            m.pitch = w * 2;
            m.pixelFormat = bits == 16 ? rgb565Format() : rgb555Format();
            m.pixelFormat.rgbBitCount = bits;
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
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || (bitCount != 16 && bitCount != 15)) {
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
    d.mode555 = bitCount == 15;
    if (!d.ensureContext()) return kFailed;
    d.host->showMode(d.display, static_cast<int>(width), static_cast<int>(height), d.fullScreen);
    return kOk;
}

HResult GlDisplayLayer::testCooperativeLevel(DriverId) { return impl_->ensureContext() ? kOk : kFailed; }

HResult GlDisplayLayer::createSurface(DriverId, const SurfaceDesc& desc, SurfaceId& surface) {
    Impl& d = *impl_;
    if (!d.ensureContext()) return kFailed;
    if (desc.caps & DDSCAPS_PRIMARYSURFACE) {
        if (d.framebuffers[0] || desc.backBufferCount != 1 || d.width == 0) return kFailed;
        if (!d.createFlipChain()) return kFailed;
        GlSurface primary;
        primary.kind = Kind::Primary;
        primary.memory.desc = desc;
        primary.memory.desc.width = d.width;
        primary.memory.desc.height = d.height;
        primary.memory.desc.pixelFormat = d.displayFormat();
        GlSurface back = primary;
        back.kind = Kind::Back;
        back.memory.desc.caps = (desc.caps & ~DDSCAPS_PRIMARYSURFACE) | DDSCAPS_BACKBUFFER;
        d.primary = surface = d.add(std::move(primary));
        d.back = d.add(std::move(back));
        return kOk;
    }
    if (desc.caps & DDSCAPS_ZBUFFER) {
        if (desc.width != d.width || desc.height != d.height || !d.createDepthBuffer(desc.pixelFormat))
            return kOutOfVideoMemory;
        GlSurface depth;
        depth.kind = Kind::Depth;
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
        glTexStorage2D(GL_TEXTURE_2D, static_cast<GLsizei>(levels), d.mode555 ? GL_RGB5_A1 : GL_RGB565,
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
            s.kind = Kind::TextureLevel;
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
    s.kind = Kind::Offscreen;
    s.memory.desc = desc;
    if (!(desc.flags & DDSD_PIXELFORMAT)) s.memory.desc.pixelFormat = d.displayFormat();
    if (s.memory.desc.pixelFormat.rgbBitCount != 16 && s.memory.desc.pixelFormat.rgbBitCount != 15) return kFailed;
    s.memory.allocate();
    surface = d.add(std::move(s));
    return kOk;
}

HResult GlDisplayLayer::getAttachedSurface(SurfaceId id, std::uint32_t, SurfaceId& attached) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    if (!s) return kInvalidObject;
    if (s->kind == Kind::Primary) {
        attached = d.back;
        return kOk;
    }
    if (s->memory.attached == SurfaceId::none) return kNotFound;
    attached = s->memory.attached;
    return kOk;
}

HResult GlDisplayLayer::addAttachedSurface(SurfaceId id, SurfaceId attach) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    GlSurface* z = d.find(attach);
    if (!s || !z || s->kind != Kind::Back || z->kind != Kind::Depth) return kFailed;
    return d.attachDepth() ? kOk : kFailed;
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
    if (!s || s->memory.pixels.empty() || s->memory.locked) return kFailed;
    s->memory.locked = true;
    bits = s->memory.pixels.data();
    pitch = s->memory.desc.pitch;
    return kOk;
}

HResult GlDisplayLayer::unlock(SurfaceId id) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    if (!s || !s->memory.locked) return kFailed;
    s->memory.locked = false;
    ++s->memory.version;
    if (s->kind == Kind::TextureLevel) d.uploadTextureLevel(*s);
    return kOk;
}

HResult GlDisplayLayer::setColorKey(SurfaceId id, std::uint32_t, std::uint32_t low, std::uint32_t) {
    GlSurface* s = impl_->find(id);
    if (!s) return kInvalidObject;
    s->memory.colorKey = static_cast<std::uint16_t>(low);
    ++s->memory.version;
    return kOk;
}

HResult GlDisplayLayer::blt(SurfaceId destination, const Rect* destinationRect, SurfaceId source,
                            const Rect* sourceRect, std::uint32_t flags) {
    Impl& d = *impl_;
    GlSurface* dst = d.find(destination);
    GlSurface* src = d.find(source);
    if (!dst || !src || src->memory.pixels.empty()) return kFailed;
    Rect sr, dr;
    if (!resolveRect(src->memory, sourceRect, sr)) return kFailed;
    const bool useKey = (flags & DDBLT_KEYSRC) != 0;
    if (dst->kind == Kind::Back) {
        const Rect whole{0, 0, static_cast<std::int32_t>(d.width), static_cast<std::int32_t>(d.height)};
        dr = destinationRect ? *destinationRect : whole;
        if (dr.left < 0 || dr.top < 0 || dr.right > whole.right || dr.bottom > whole.bottom || dr.left >= dr.right ||
            dr.top >= dr.bottom)
            return kFailed;
        return d.blitToBack(*src, sr, dr, useKey) ? kOk : kFailed;
    }
    if (dst->memory.pixels.empty() || !resolveRect(dst->memory, destinationRect, dr)) return kFailed;
    stretchCopy(src->memory, sr, dst->memory, dr, useKey);
    if (dst->kind == Kind::TextureLevel) d.uploadTextureLevel(*dst);
    return kOk;
}

HResult GlDisplayLayer::flip(SurfaceId primary, std::uint32_t) {
    Impl& d = *impl_;
    if (primary != d.primary || !d.framebuffers[0]) return kFailed;
    d.drawing.flush();
    d.front = 1 - d.front;
    d.present();
    return kOk;
}

void GlDisplayLayer::releaseSurface(SurfaceId id) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    // Flip chains live as long as the layer; a texture goes whole, from its
    // top level down its chain of smaller levels.
    if (!s || !(s->kind == Kind::Offscreen || (s->kind == Kind::TextureLevel && s->level == 0))) return;
    d.drawing.flush();
    if (s->texture) {
        glDeleteTextures(1, &s->texture);
        d.drawing.textureRebound(0);  // deleting a bound texture unbinds it
    }
    for (GlSurface* level = s; level;) {
        const SurfaceId next = level->kind == Kind::TextureLevel ? level->memory.attached : SurfaceId::none;
        level->texture = 0;
        level->alive = false;
        level->memory.pixels = {};
        level = next == SurfaceId::none ? nullptr : d.find(next);
    }
}

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
    if (!target || target->kind != Kind::Back) return kFailed;
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
    if (!t || t->kind != Kind::TextureLevel) texture = SurfaceId::none;
    d.boundTexture = texture;
    d.drawing.state.texture = texture == SurfaceId::none ? 0 : t->texture;
    // A surface that is not a texture binds none and says so.
    return t && texture == SurfaceId::none ? kInvalidObject : kOk;
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
