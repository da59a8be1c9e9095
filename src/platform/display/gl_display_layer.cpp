#include "platform/display/gl_display_layer.h"

#include <SDL.h>
#include <dlfcn.h>
#include <epoxy/gl.h>
#include <link.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/display/memory_surface.h"

namespace zor {

namespace {

enum class Kind { Primary, Back, Depth, Offscreen, TextureLevel };

struct GlSurface {
    Kind kind = Kind::Offscreen;
    MemorySurface memory;       // offscreen surfaces and texture levels keep their pixels here
    GLuint texture = 0;         // texture levels: the GL texture; offscreen: a keyed copy for blits
    std::uint32_t uploadedVersion = ~0u;
    int level = 0;
    bool alive = true;
    GLint magFilter = 0, minFilter = 0;  // filters last set on the GL texture
};

struct DepthChoice {
    std::uint32_t depth;
    std::uint32_t stencil;
    GLenum internalFormat;
};

constexpr std::array<DepthChoice, 4> kDepthFormats = {{
    {16, 0, GL_DEPTH_COMPONENT16},
    {32, 0, GL_DEPTH_COMPONENT32},
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

// A 5-6-5 or 5-5-5 pixel as 8-bit red, green, blue (bits repeated downwards).
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

// Keeps the GL driver libraries loaded until the process ends. Mesa's drivers
// keep a few allocations past their unloading, which leak checkers would
// otherwise report against a module that no longer exists.
void pinDriverLibraries() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (name.find("dri") != std::string::npos || name.find("gallium") != std::string::npos ||
                name.find("LLVM") != std::string::npos || name.find("GL") != std::string::npos)
                dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

Guid displayGuid(int index) {
    Guid g;
    const char tag[] = "zor-display-";
    std::memcpy(g.bytes.data(), tag, 12);
    g.bytes[12] = static_cast<std::uint8_t>(index);
    return g;
}

}  // namespace

struct GlDisplayLayer::Impl {
    GlDisplayOptions options;
    std::string error;
    bool sdlReady = false;
    SDL_Window* window = nullptr;
    bool ownsWindow = false;
    SDL_GLContext context = nullptr;
    std::string renderer;

    // Display mode and flip chain.
    std::uint32_t width = 0, height = 0;
    bool mode555 = false;
    bool fullScreen = false;
    GLuint framebuffers[2] = {0, 0};
    GLuint colorBuffers[2] = {0, 0};
    GLuint depthBuffer = 0;
    int front = 0;  // index of the front buffer in framebuffers
    GLsync lastFrameDone = nullptr;  // hidden windows: the previous frame's end
    SurfaceId primary = SurfaceId::none, back = SurfaceId::none;

    std::vector<GlSurface> surfaces;
    std::uint32_t deviceCount = 0;
    DeviceId device = DeviceId::none;

    // Device state.
    Matrix world = identityMatrix(), view = identityMatrix(), projection = identityMatrix();
    bool transformsDirty = true;
    GLint magFilter = GL_LINEAR, minFilter = GL_LINEAR_MIPMAP_LINEAR;
    std::uint32_t minValue = 2, mipValue = 3;
    SurfaceId boundTexture = SurfaceId::none;
    bool textureKnown = false;

    // Draws with unchanged state are collected and sent in one call: fans
    // become triangles (v0, vi, vi+1), strips become line pairs, so the first
    // vertex of each triangle or segment stays its provoking vertex.
    static constexpr std::size_t kBatchCapacity = 1 << 16;
    std::vector<LVertex> batch;
    GLenum batchMode = GL_TRIANGLES;

    // Last value set per render state, to skip calls that change nothing.
    static constexpr std::size_t kStateSlots = 256;
    std::array<std::uint32_t, kStateSlots> renderStates{};
    std::array<bool, kStateSlots> renderStateKnown{};
    GLenum blendSource = GL_ONE, blendDestination = GL_ZERO;

    Impl() { batch.reserve(kBatchCapacity); }
    ~Impl() { shutdown(); }

    void flush() {
        if (batch.empty()) return;
        applyTransforms();
        const LVertex* v = batch.data();
        glVertexPointer(3, GL_FLOAT, sizeof(LVertex), &v->x);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(LVertex), &v->diffuse);
        glTexCoordPointer(2, GL_FLOAT, sizeof(LVertex), &v->tu);
        glDrawArrays(batchMode, 0, static_cast<GLsizei>(batch.size()));
        batch.clear();
    }


    bool fail(std::string text) {
        error = std::move(text);
        return false;
    }

    bool startSdl() {
        if (sdlReady) return true;
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail(std::string("SDL video: ") + SDL_GetError());
        sdlReady = true;
        return true;
    }

    bool ensureContext() {
        if (context) return true;
        if (!startSdl()) return false;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        if (window && !(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) window = nullptr;  // not usable for GL
        if (!window) {
            Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
            flags |= options.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
            const int w = width ? static_cast<int>(width) : 640;
            const int h = height ? static_cast<int>(height) : 480;
            window = SDL_CreateWindow("ZOR @ QUENT7", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, flags);
            if (!window) return fail(std::string("cannot create a window: ") + SDL_GetError());
            ownsWindow = true;
        }
        context = SDL_GL_CreateContext(window);
        if (!context) return fail(std::string("cannot create an OpenGL context: ") + SDL_GetError());
        SDL_GL_MakeCurrent(window, context);
        if (epoxy_gl_version() < 32) return fail("OpenGL 3.2 or later is needed");
        if (const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) renderer = name;
        pinDriverLibraries();
        return true;
    }

    void waitForLastFrame() {
        if (!lastFrameDone) return;
        while (glClientWaitSync(lastFrameDone, GL_SYNC_FLUSH_COMMANDS_BIT, 1'000'000'000) == GL_TIMEOUT_EXPIRED) {
        }
        glDeleteSync(lastFrameDone);
        lastFrameDone = nullptr;
    }

    void shutdown() {
        if (context) {
            SDL_GL_MakeCurrent(window, context);
            waitForLastFrame();
            for (auto& s : surfaces)
                if (s.texture && (s.kind != Kind::TextureLevel || s.level == 0)) glDeleteTextures(1, &s.texture);
            if (framebuffers[0]) glDeleteFramebuffers(2, framebuffers);
            if (colorBuffers[0]) glDeleteRenderbuffers(2, colorBuffers);
            if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
            SDL_GL_DeleteContext(context);
            context = nullptr;
        }
        if (window && ownsWindow) SDL_DestroyWindow(window);
        window = nullptr;
        if (sdlReady) SDL_QuitSubSystem(SDL_INIT_VIDEO);
        sdlReady = false;
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

    GLuint backFramebuffer() const { return framebuffers[1 - front]; }

    void bindBack() { glBindFramebuffer(GL_FRAMEBUFFER, backFramebuffer()); }

    bool createFlipChain() {
        if (!ensureContext()) return false;
        glGenFramebuffers(2, framebuffers);
        glGenRenderbuffers(2, colorBuffers);
        for (int i = 0; i < 2; ++i) {
            glBindRenderbuffer(GL_RENDERBUFFER, colorBuffers[i]);
            glRenderbufferStorage(GL_RENDERBUFFER, mode555 ? GL_RGB5_A1 : GL_RGB565, static_cast<GLsizei>(width),
                                  static_cast<GLsizei>(height));
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffers[i]);
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
                return fail("the 16-bit colour buffer is not supported");
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        front = 0;
        bindBack();
        return true;
    }

    bool createDepthBuffer(const PixelFormat& format) {
        if (!context || !framebuffers[0]) return fail("no flip chain for the depth buffer");
        GLenum internal = 0;
        for (const auto& c : kDepthFormats)
            if (c.depth + c.stencil == format.zBufferBitDepth && c.stencil == format.stencilBitDepth)
                internal = c.internalFormat;
        if (!internal) return fail("unknown depth format");
        glGenRenderbuffers(1, &depthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
        return glGetError() == GL_NO_ERROR;
    }

    bool attachDepth() {
        const bool stencil = false;
        for (int i = 0; i < 2; ++i) {
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
            if (stencil)
                glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
                return fail("the depth buffer cannot be attached");
        }
        bindBack();
        return true;
    }

    void setupDevice() {
        bindBack();
        glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        glDisable(GL_LIGHTING);
        glDisable(GL_ALPHA_TEST);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        // Front faces run clockwise on screen; culling "back" removes the
        // counter-clockwise ones.
        glFrontFace(GL_CW);
        glCullFace(GL_BACK);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glPointSize(1.0f);
        glLineWidth(1.0f);
        glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
        transformsDirty = true;
    }

    void applyTransforms() {
        if (!transformsDirty) return;
        // A row-major row-vector matrix read column-major is the column-vector
        // matrix GL wants: clip = P * V * W * v.
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection.data());
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(view.data());
        glMultMatrixf(world.data());
        transformsDirty = false;
    }

    void uploadTextureLevel(GlSurface& s) {
        flush();
        const MemorySurface& m = s.memory;
        glBindTexture(GL_TEXTURE_2D, s.texture);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, m.desc.pitch / 2);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        if (mode555) {
            // X1R5G5B5: the unused top bit becomes an opaque alpha.
            std::vector<std::uint16_t> opaque(m.pixels.size());
            for (std::size_t i = 0; i < opaque.size(); ++i) opaque[i] = m.pixels[i] | 0x8000;
            glTexSubImage2D(GL_TEXTURE_2D, s.level, 0, 0, static_cast<GLsizei>(m.desc.width),
                            static_cast<GLsizei>(m.desc.height), GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV,
                            opaque.data());
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, s.level, 0, 0, static_cast<GLsizei>(m.desc.width),
                            static_cast<GLsizei>(m.desc.height), GL_RGB, GL_UNSIGNED_SHORT_5_6_5, m.pixels.data());
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        s.uploadedVersion = m.version;
        rebindTexture();
    }

    void rebindTexture() {
        GlSurface* t = find(boundTexture);
        glBindTexture(GL_TEXTURE_2D, t ? t->texture : 0);
    }

    // Sets the filters on the bound texture unless it already has them.
    void applyFilters(GlSurface& texture) {
        if (texture.magFilter == magFilter && texture.minFilter == minFilter) return;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
        // Every level of a chain shares the GL texture; mark them all.
        for (auto& s : surfaces)
            if (s.texture == texture.texture && s.kind == Kind::TextureLevel) {
                s.magFilter = magFilter;
                s.minFilter = minFilter;
            }
    }

    void updateMinFilter() {
        const bool linear = minValue >= 2;
        if (mipValue == 3) minFilter = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        else if (mipValue == 2) minFilter = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else minFilter = linear ? GL_LINEAR : GL_NEAREST;
    }

    // Draws a memory surface onto the back buffer, skipping keyed pixels.
    bool blitToBack(GlSurface& source, const Rect& sourceRect, const Rect& destinationRect, bool useKey) {
        flush();
        MemorySurface& m = source.memory;
        if (!source.texture || source.uploadedVersion != m.version) {
            if (!source.texture) glGenTextures(1, &source.texture);
            const PixelFormat f = m.desc.pixelFormat;
            const bool is555 = f.greenMask == 0x03E0;
            std::vector<std::uint8_t> rgba(std::size_t(m.desc.width) * m.desc.height * 4);
            for (std::uint32_t y = 0; y < m.desc.height; ++y) {
                const std::uint16_t* in = m.row(y);
                std::uint8_t* out = rgba.data() + std::size_t(y) * m.desc.width * 4;
                for (std::uint32_t x = 0; x < m.desc.width; ++x) {
                    const std::uint32_t p = in[x];
                    toRgb8(p, is555, out + x * 4);
                    out[x * 4 + 3] = (m.colorKey && p == *m.colorKey) ? 0 : 255;
                }
            }
            glBindTexture(GL_TEXTURE_2D, source.texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(m.desc.width),
                         static_cast<GLsizei>(m.desc.height), 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            source.uploadedVersion = m.version;
        }
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        // Screen y runs down.
        glOrtho(0, width, height, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glDisable(GL_POLYGON_OFFSET_FILL);
        glDepthMask(GL_FALSE);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, source.texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        if (useKey) {
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(GL_GREATER, 0.5f);
        }
        glDisableClientState(GL_COLOR_ARRAY);
        const float sw = static_cast<float>(m.desc.width), sh = static_cast<float>(m.desc.height);
        const float u0 = sourceRect.left / sw, u1 = sourceRect.right / sw;
        const float v0 = sourceRect.top / sh, v1 = sourceRect.bottom / sh;
        const float x0 = static_cast<float>(destinationRect.left), x1 = static_cast<float>(destinationRect.right);
        const float y0 = static_cast<float>(destinationRect.top), y1 = static_cast<float>(destinationRect.bottom);
        const float positions[] = {x0, y0, x1, y0, x1, y1, x0, y1};
        const float coords[] = {u0, v0, u1, v0, u1, v1, u0, v1};
        glVertexPointer(2, GL_FLOAT, 0, positions);
        glTexCoordPointer(2, GL_FLOAT, 0, coords);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glEnableClientState(GL_COLOR_ARRAY);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glPopAttrib();
        rebindTexture();
        return true;
    }

    void present() {
        if (!options.visible || !window) {
            // Nothing swaps a hidden window, so without a wait the driver
            // queues every frame's drawing and memory grows without end. Like
            // a flip chain with one back buffer, the next frame may be built
            // while this one is still being drawn, but no further ahead.
            waitForLastFrame();
            lastFrameDone = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
            glFlush();
            return;
        }
        int ww = 0, wh = 0;
        SDL_GL_GetDrawableSize(window, &ww, &wh);
        // Scale into the window keeping the aspect ratio, bars in black.
        int dw = ww, dh = static_cast<int>(std::int64_t(ww) * height / std::max(1u, width));
        if (dh > wh) {
            dh = wh;
            dw = static_cast<int>(std::int64_t(wh) * width / std::max(1u, height));
        }
        const int dx = (ww - dw) / 2, dy = (wh - dh) / 2;
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[front]);
        glBlitFramebuffer(0, 0, static_cast<GLint>(width), static_cast<GLint>(height), dx, dy, dx + dw, dy + dh,
                          GL_COLOR_BUFFER_BIT, GL_LINEAR);
        glPopAttrib();
        SDL_GL_SwapWindow(window);
        bindBack();
    }
};

GlDisplayLayer::GlDisplayLayer(GlDisplayOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
}

GlDisplayLayer::~GlDisplayLayer() = default;

const std::string& GlDisplayLayer::error() const { return impl_->error; }

std::string GlDisplayLayer::rendererName() const { return impl_->renderer; }

bool GlDisplayLayer::readFrontBuffer(std::vector<std::uint8_t>& rgb, int& width, int& height) {
    Impl& d = *impl_;
    if (!d.framebuffers[0]) return false;
    d.flush();
    // Only this read decides the result: a window's buffer swap can leave an
    // error of its own behind (SDL's offscreen driver does, on every swap).
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    width = static_cast<int>(d.width);
    height = static_cast<int>(d.height);
    std::vector<std::uint16_t> raw(std::size_t(d.width) * d.height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, d.framebuffers[d.front]);
    glPixelStorei(GL_PACK_ALIGNMENT, 2);
    if (d.mode555)
        glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, raw.data());
    else
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, raw.data());
    d.bindBack();
    rgb.resize(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        // GL rows run bottom-up.
        const std::uint16_t* in = raw.data() + std::size_t(height - 1 - y) * width;
        std::uint8_t* out = rgb.data() + std::size_t(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            toRgb8(in[x], d.mode555, out + x * 3);
        }
    }
    return glGetError() == GL_NO_ERROR;
}

HResult GlDisplayLayer::enumerateAdapters(const AdapterCallback& callback) {
    if (!impl_->startSdl()) return kFailed;
    const int count = SDL_GetNumVideoDisplays();
    const char* driver = SDL_GetCurrentVideoDriver();
    for (int i = 0; i < count; ++i) {
        AdapterInfo info;
        if (i > 0) info.guid = displayGuid(i);
        const char* name = SDL_GetDisplayName(i);
        info.description = name ? name : ("Display " + std::to_string(i + 1));
        info.driverName = driver ? driver : "SDL";
        if (!callback(info)) break;
    }
    return kOk;
}

HResult GlDisplayLayer::createDriver(const Guid* guid, DriverId& driver) {
    if (!impl_->startSdl()) return kFailed;
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        if ((i == 0 && !guid) || (i > 0 && guid && *guid == displayGuid(i))) {
            driver = static_cast<DriverId>(i + 1);
            return kOk;
        }
    }
    impl_->fail("no such display");
    return kFailed;
}

HResult GlDisplayLayer::enumerateDisplayModes(DriverId driver, const ModeCallback& callback) {
    const int display = static_cast<int>(driver) - 1;
    const int count = SDL_GetNumDisplayModes(display);
    if (count < 0) return kFailed;
    std::vector<std::pair<int, int>> sizes;
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
        const auto size = std::make_pair(mode.w, mode.h);
        if (mode.w > 0 && mode.h > 0 && std::find(sizes.begin(), sizes.end(), size) == sizes.end())
            sizes.push_back(size);
    }
    // A display without real sizes (SDL's off-screen driver reports 0x0)
    // still offers the usual ones: the picture is drawn off-screen anyway.
    if (sizes.empty()) sizes = {{640, 480}, {800, 600}, {1024, 768}};
    for (const auto& [w, h] : sizes) {
        for (std::uint32_t bits : {16u, 15u}) {
            SurfaceDesc d;
            d.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
            d.width = static_cast<std::uint32_t>(w);
            d.height = static_cast<std::uint32_t>(h);
            d.pitch = w * 2;
            d.pixelFormat = bits == 16 ? rgb565Format() : rgb555Format();
            d.pixelFormat.rgbBitCount = bits;
            if (!callback(d)) return kOk;
        }
    }
    return kOk;
}

void GlDisplayLayer::releaseDriver(DriverId) {}

HResult GlDisplayLayer::setCooperativeLevel(DriverId, void* nativeWindow, std::uint32_t flags) {
    Impl& d = *impl_;
    if (!d.context && nativeWindow) d.window = static_cast<SDL_Window*>(nativeWindow);
    d.fullScreen = (flags & DDSCL_FULLSCREEN) && (flags & DDSCL_EXCLUSIVE) && d.options.allowFullScreen &&
                   d.options.visible;
    return kOk;
}

HResult GlDisplayLayer::setDisplayMode(DriverId, std::uint32_t width, std::uint32_t height, std::uint32_t bitCount,
                                       std::uint32_t, std::uint32_t) {
    Impl& d = *impl_;
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || (bitCount != 16 && bitCount != 15)) {
        d.fail("unsupported display mode");
        return kFailed;
    }
    d.width = width;
    d.height = height;
    d.mode555 = bitCount == 15;
    if (!d.ensureContext()) return kFailed;
    if (d.ownsWindow) SDL_SetWindowSize(d.window, static_cast<int>(width), static_cast<int>(height));
    if (d.fullScreen) SDL_SetWindowFullscreen(d.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
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
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels - 1));
        std::uint32_t w = desc.width, h = desc.height;
        SurfaceId previous = SurfaceId::none;
        for (std::uint32_t level = 0; level < levels; ++level) {
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), d.mode555 ? GL_RGB5_A1 : GL_RGB565,
                         static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5,
                         nullptr);
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
        d.rebindTexture();
        return glGetError() == GL_NO_ERROR ? kOk : kOutOfVideoMemory;
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
    d.flush();
    d.front = 1 - d.front;
    d.present();
    d.bindBack();
    return kOk;
}

void GlDisplayLayer::releaseSurface(SurfaceId id) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    if (!s || s->kind != Kind::Offscreen) return;  // chains live as long as the layer
    d.flush();
    if (s->texture) glDeleteTextures(1, &s->texture);
    s->texture = 0;
    s->alive = false;
    s->memory.pixels = {};
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
        f.redMask = c.depth >= 32 ? 0xFFFFFFFFu : ((1u << c.depth) - 1) << c.stencil;
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
    device = d.device = static_cast<DeviceId>(++d.deviceCount);
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
    Impl& d = *impl_;
    const auto slot = static_cast<std::size_t>(state);
    if (slot < Impl::kStateSlots) {
        if (d.renderStateKnown[slot] && d.renderStates[slot] == value) return kOk;
        d.renderStateKnown[slot] = true;
        d.renderStates[slot] = value;
    }
    d.flush();
    auto enable = [](GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); };
    switch (state) {
    case RenderState::ZENABLE: enable(GL_DEPTH_TEST, value != 0); break;
    case RenderState::ZWRITEENABLE: glDepthMask(value ? GL_TRUE : GL_FALSE); break;
    case RenderState::ZFUNC: glDepthFunc(compareFunction(value)); break;
    case RenderState::SHADEMODE: glShadeModel(value == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH); break;
    case RenderState::SRCBLEND:
        d.blendSource = blendFactor(value);
        glBlendFunc(d.blendSource, d.blendDestination);
        break;
    case RenderState::DESTBLEND:
        d.blendDestination = blendFactor(value);
        glBlendFunc(d.blendSource, d.blendDestination);
        break;
    case RenderState::ALPHABLENDENABLE: enable(GL_BLEND, value != 0); break;
    case RenderState::CULLMODE:
        if (value == D3DCULL_NONE) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glCullFace(value == D3DCULL_CCW ? GL_BACK : GL_FRONT);
        }
        break;
    case RenderState::DITHERENABLE: enable(GL_DITHER, value != 0); break;
    case RenderState::ZBIAS:
        // A bias pulls polygons towards the eye so they win coplanar ties.
        enable(GL_POLYGON_OFFSET_FILL, value != 0);
        enable(GL_POLYGON_OFFSET_LINE, value != 0);
        enable(GL_POLYGON_OFFSET_POINT, value != 0);
        glPolygonOffset(-1.0f * static_cast<float>(value), -4.0f * static_cast<float>(value));
        break;
    case RenderState::SPECULARENABLE:
    case RenderState::LIGHTING:
    case RenderState::AMBIENT:
        // Vertices always carry their own colours; the fixed-function
        // lighting of GL stays off.
        break;
    }
    return kOk;
}

HResult GlDisplayLayer::setTextureStageState(DeviceId, std::uint32_t stage, TextureStageState state,
                                             std::uint32_t value) {
    Impl& d = *impl_;
    if (stage != 0) return kFailed;
    d.flush();
    switch (state) {
    case TextureStageState::COLOROP:
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, value == D3DTOP_MODULATE ? GL_MODULATE : GL_REPLACE);
        break;
    case TextureStageState::MAGFILTER: d.magFilter = value >= 2 ? GL_LINEAR : GL_NEAREST; break;
    case TextureStageState::MINFILTER:
        d.minValue = value;
        d.updateMinFilter();
        break;
    case TextureStageState::MIPFILTER:
        d.mipValue = value;
        d.updateMinFilter();
        break;
    }
    if (GlSurface* t = d.find(d.boundTexture)) d.applyFilters(*t);
    return kOk;
}

HResult GlDisplayLayer::setTransform(DeviceId, TransformState state, const Matrix& matrix) {
    Impl& d = *impl_;
    d.flush();  // what is pending was drawn under the old matrices
    switch (state) {
    case TransformState::WORLD: d.world = matrix; break;
    case TransformState::VIEW: d.view = matrix; break;
    case TransformState::PROJECTION: d.projection = matrix; break;
    default: return kFailed;
    }
    d.transformsDirty = true;
    return kOk;
}

HResult GlDisplayLayer::setViewport(DeviceId, const ViewportDesc& v) {
    Impl& d = *impl_;
    if (v.x + v.width > d.width || v.y + v.height > d.height) return kFailed;
    d.flush();
    // Screen rows run down; GL rows run up.
    glViewport(static_cast<GLint>(v.x), static_cast<GLint>(d.height - v.y - v.height), static_cast<GLsizei>(v.width),
               static_cast<GLsizei>(v.height));
    glDepthRange(v.minZ, v.maxZ);
    return kOk;
}

HResult GlDisplayLayer::setZeroMaterial(DeviceId) { return kOk; }

HResult GlDisplayLayer::setTexture(DeviceId, std::uint32_t stage, SurfaceId texture) {
    Impl& d = *impl_;
    if (stage != 0) return kFailed;
    GlSurface* t = d.find(texture);
    if (!t || t->kind != Kind::TextureLevel) texture = SurfaceId::none;
    if (d.textureKnown && texture == d.boundTexture) return texture == SurfaceId::none && t ? kInvalidObject : kOk;
    d.flush();
    d.textureKnown = true;
    d.boundTexture = texture;
    if (texture == SurfaceId::none) {
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
        return t ? kInvalidObject : kOk;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, t->texture);
    d.applyFilters(*t);
    return kOk;
}

HResult GlDisplayLayer::clear(DeviceId, std::uint32_t flags, std::uint32_t color, float z, std::uint32_t) {
    impl_->flush();
    GLbitfield mask = 0;
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_SCISSOR_BIT);
    glDisable(GL_SCISSOR_TEST);
    if (flags & D3DCLEAR_TARGET) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(((color >> 16) & 255) / 255.0f, ((color >> 8) & 255) / 255.0f, (color & 255) / 255.0f,
                     ((color >> 24) & 255) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        // Clearing ignores the depth write state.
        glDepthMask(GL_TRUE);
        glClearDepth(z);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    glClear(mask);
    glPopAttrib();
    return kOk;
}

HResult GlDisplayLayer::beginScene(DeviceId) { return kOk; }

HResult GlDisplayLayer::endScene(DeviceId) {
    impl_->flush();
    return kOk;
}

HResult GlDisplayLayer::drawPrimitive(DeviceId, PrimitiveType type, std::uint32_t vertexFormat,
                                      const LVertex* vertices, std::uint32_t count, std::uint32_t) {
    Impl& d = *impl_;
    if (vertexFormat != D3DFVF_LVERTEX || count == 0 || count > 0xFFFF) return kFailed;
    GLenum mode = GL_TRIANGLES;
    std::size_t added = 0;
    switch (type) {
    case PrimitiveType::POINTLIST:
        mode = GL_POINTS;
        added = count;
        break;
    case PrimitiveType::LINELIST:
        mode = GL_LINES;
        added = count & ~1u;
        break;
    case PrimitiveType::LINESTRIP:
        mode = GL_LINES;
        added = (count - 1) * 2;
        break;
    case PrimitiveType::TRIANGLEFAN:
        mode = GL_TRIANGLES;
        added = count >= 3 ? (count - 2) * 3 : 0;
        break;
    }
    if (added == 0) return kOk;
    GlSurface* t = d.find(d.boundTexture);
    if (t && t->uploadedVersion != t->memory.version) d.uploadTextureLevel(*t);
    if (mode != d.batchMode || d.batch.size() + added > Impl::kBatchCapacity) d.flush();
    d.batchMode = mode;
    auto& b = d.batch;
    switch (type) {
    case PrimitiveType::POINTLIST: b.insert(b.end(), vertices, vertices + count); break;
    case PrimitiveType::LINELIST: b.insert(b.end(), vertices, vertices + added); break;
    case PrimitiveType::LINESTRIP:
        for (std::uint32_t i = 0; i + 1 < count; ++i) {
            b.push_back(vertices[i]);
            b.push_back(vertices[i + 1]);
        }
        break;
    case PrimitiveType::TRIANGLEFAN:
        for (std::uint32_t i = 1; i + 1 < count; ++i) {
            b.push_back(vertices[0]);
            b.push_back(vertices[i]);
            b.push_back(vertices[i + 1]);
        }
        break;
    }
    return kOk;
}

}  // namespace zor
