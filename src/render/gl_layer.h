#pragma once
// The OpenGL layer's own state, shared by the files that make up the layer
// (nothing outside src/render includes this):
//   gl_display_layer.cpp  the host and its context, adapters and modes, the
//                         device, clearing and drawing
//   gl_surfaces.cpp       the surface table: memory surfaces, textures and
//                         their uploads, blits
//   gl_device_states.cpp  the old device's render, texture and transform
//                         states turned into the drawing state
//   gl_flip_chain.cpp     the flip chain: colour and depth buffers, the flip
//                         and the present into the window
//   gl_read_back.cpp      the shown picture read back
//   pixel_conversion.cpp  16-bit pixels to and from 8-bit channels

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/gl_api.h"
#include "render/gl_display_layer.h"
#include "render/gl_drawing.h"
#include "render/memory_surface.h"
#include "render/picture_area.h"

namespace zor {

enum class GlSurfaceKind { Primary, Back, Depth, Offscreen, TextureLevel };

struct GlSurface {
    GlSurfaceKind kind = GlSurfaceKind::Offscreen;
    MemorySurface memory;  // offscreen surfaces and texture levels keep their pixels here
    GLuint texture = 0;    // texture levels: the GL texture; offscreen: an RGBA copy for blits
    std::uint32_t uploadedVersion = ~0u;
    // Offscreen: the smallest box holding every pixel the colour key keeps
    // (empty when it keeps none), as of the uploaded copy.
    Rect keptBox;
    int level = 0;
    bool alive = true;
};

struct DepthChoice {
    std::uint32_t depth;
    std::uint32_t stencil;
    GLenum internalFormat;
};

inline constexpr std::array<DepthChoice, 3> kDepthFormats = {{
    {16, 0, GL_DEPTH_COMPONENT16},
    {24, 0, GL_DEPTH_COMPONENT24},
    {24, 8, GL_DEPTH24_STENCIL8},
}};

// Clears GL's error flags, so that a check after the next calls sees only
// their errors.
void forgetErrors();

struct GlDisplayLayer::Impl {
    GlDisplayOptions options;
    std::unique_ptr<GlHost> host;
    std::string error;
    bool hostReady = false;
    bool contextReady = false;
    void* nativeWindow = nullptr;
    std::string renderer;
    std::string version;  // GL_VERSION
    GlDrawing drawing;

    // Display mode and flip chain.
    std::uint32_t width = 0, height = 0;
    std::uint32_t modeBits = 16;  // 15 (5-5-5), 16 (5-6-5) or 32 (8 bits a channel)
    PictureArea area;             // where the picture goes (the whole surface when 4:3)
    bool fullScreen = false;
    int display = 0;  // the host's display of the mode's driver
    // What is shown: one colour buffer each, single-sampled, a texture.
    GLuint framebuffers[2] = {0, 0};
    GLuint colorBuffers[2] = {0, 0};
    // With multisampling, what is drawn into: a multisampled colour buffer
    // each, resolved into the shown one of the same index at the flip.
    GLsizei samples = 1;
    GLuint drawFramebuffers[2] = {0, 0};
    GLuint drawColorBuffers[2] = {0, 0};
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

    // The host and its context (gl_display_layer.cpp).
    bool fail(std::string text);
    bool startHost();
    bool ensureContext();
    void shutdown();
    GlSurface* find(SurfaceId id);
    SurfaceId add(GlSurface surface);
    PixelFormat displayFormat() const;
    // GL's internal format for the mode's colour buffers and textures.
    GLenum colourFormat() const;

    // The flip chain (gl_flip_chain.cpp).
    bool createFlipChain(std::uint32_t askedSamples);
    // The framebuffer drawn into for buffer i of the chain.
    GLuint drawTarget(int i) const { return samples > 1 ? drawFramebuffers[i] : framebuffers[i]; }
    bool createDepthBuffer(const PixelFormat& format);
    bool attachDepth();
    void targetBack();
    void waitForLastFrame();
    void present();

    // Device states (gl_device_states.cpp).
    void setupDevice();
    void setViewport(const ViewportDesc& v);
    void updateMinFilter();

    // Surfaces (gl_surfaces.cpp).
    void uploadTextureLevel(GlSurface& s);
    // Draws a memory surface onto the back buffer, skipping keyed pixels.
    bool blitToBack(GlSurface& source, const Rect& sourceRect, const Rect& destinationRect, bool useKey);
};

}  // namespace zor
