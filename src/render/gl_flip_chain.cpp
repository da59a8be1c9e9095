// The flip chain: two off-screen colour buffers of the mode's size and
// format (so the buffer itself quantises the colours) with one depth buffer;
// the back one is drawn into, a flip swaps them and presents the new front
// one, scaled into the window with its aspect ratio kept. Each buffer keeps
// what it last showed, so what a frame leaves uncovered shows the picture of
// two flips before. The shown buffers are textures, so a window of the
// mode's own size (the page's canvas, a full-screen mode) is given the
// picture by a draw, pixel for pixel.
//
// With multisampling each buffer of the chain has a multisampled twin that
// is drawn into (with a multisampled depth buffer) and resolved into it at
// the flip; the twins keep their own history, so the rule above holds.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "render/gl_layer.h"

namespace zor {

namespace {

const char* formatName(GLenum format) {
    switch (format) {
    case GL_RGB5_A1: return "RGB5_A1";
    case GL_RGB565: return "RGB565";
    case GL_RGBA8: return "RGBA8";
    default: return "depth";
    }
}

// The largest sample count up to `asked` that renderbuffers of `format`
// offer; 1 when none above one does.
GLsizei samplesFor(GLenum format, std::uint32_t asked) {
    if (asked <= 1) return 1;
    GLint count = 0;
    glGetInternalformativ(GL_RENDERBUFFER, format, GL_NUM_SAMPLE_COUNTS, 1, &count);
    if (count <= 0) return 1;
    std::vector<GLint> offered(static_cast<std::size_t>(count));
    glGetInternalformativ(GL_RENDERBUFFER, format, GL_SAMPLES, count, offered.data());
    GLsizei best = 1;
    for (GLint n : offered)
        if (n > best && static_cast<std::uint32_t>(n) <= asked) best = n;
    return best;
}

// Colour buffers of the chain, attached to their framebuffers and cleared
// black: textures of one level, or multisampled renderbuffers when
// samples > 1.
bool makeColourBuffers(GLuint (&framebuffers)[2], GLuint (&buffers)[2], GLenum format, GLsizei samples,
                       GLsizei width, GLsizei height) {
    glGenFramebuffers(2, framebuffers);
    if (samples > 1) glGenRenderbuffers(2, buffers);
    else glGenTextures(2, buffers);
    for (int i = 0; i < 2; ++i) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
        if (samples > 1) {
            glBindRenderbuffer(GL_RENDERBUFFER, buffers[i]);
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[i]);
        } else {
            glBindTexture(GL_TEXTURE_2D, buffers[i]);
            glTexStorage2D(GL_TEXTURE_2D, 1, format, width, height);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, buffers[i], 0);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (samples <= 1) glBindTexture(GL_TEXTURE_2D, 0);
    return true;
}

}  // namespace

void GlDisplayLayer::Impl::targetBack() {
    drawing.setTarget(drawTarget(1 - front), static_cast<int>(width), static_cast<int>(height), depthBits);
}

bool GlDisplayLayer::Impl::createFlipChain(std::uint32_t askedSamples) {
    if (!ensureContext()) return false;
    forgetErrors();
    const GLenum format = colourFormat();
    const auto w = static_cast<GLsizei>(width), h = static_cast<GLsizei>(height);
    const bool made = makeColourBuffers(framebuffers, colorBuffers, format, 1, w, h);
    drawing.textureRebound(0);
    if (!made)
        return fail(std::string("the ") + formatName(format) + " colour buffer cannot be drawn into");
    samples = samplesFor(format, askedSamples);
    if (samples > 1 && !makeColourBuffers(drawFramebuffers, drawColorBuffers, format, samples, w, h))
        return fail(std::string("the ") + formatName(format) + " colour buffer cannot be drawn into with " +
                    std::to_string(samples) + " samples a pixel");
    front = 0;
    targetBack();
    return glGetError() == GL_NO_ERROR || fail("cannot create the flip chain's colour buffers");
}

bool GlDisplayLayer::Impl::createDepthBuffer(const PixelFormat& format) {
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
    if (samples > 1)
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, internal, static_cast<GLsizei>(width),
                                         static_cast<GLsizei>(height));
    else
        glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    return glGetError() == GL_NO_ERROR || fail("cannot create the depth buffer");
}

bool GlDisplayLayer::Impl::attachDepth() {
    for (int i = 0; i < 2; ++i) {
        glBindFramebuffer(GL_FRAMEBUFFER, drawTarget(i));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            return fail("the depth buffer cannot be attached");
    }
    targetBack();
    return true;
}

HResult GlDisplayLayer::addAttachedSurface(SurfaceId id, SurfaceId attach) {
    Impl& d = *impl_;
    GlSurface* s = d.find(id);
    GlSurface* z = d.find(attach);
    if (!s || !z || s->kind != GlSurfaceKind::Back || z->kind != GlSurfaceKind::Depth) return kFailed;
    return d.attachDepth() ? kOk : kFailed;
}

// Waits until the last frame presented is drawn. Seen drawn, it lets the
// frame before's held fence go; its own is held from now on.
void GlDisplayLayer::Impl::waitForLastFrame() {
    if (!lastFrameDone) return;
    while (glClientWaitSync(lastFrameDone, GL_SYNC_FLUSH_COMMANDS_BIT, 1'000'000'000) == GL_TIMEOUT_EXPIRED) {
    }
    glDeleteSync(lastFrameDone);
    lastFrameDone = nullptr;
    if (frameBeforeHeld) glDeleteSync(frameBeforeHeld);
    frameBeforeHeld = lastFrameHeld;
    lastFrameHeld = nullptr;
}

void GlDisplayLayer::Impl::present() {
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
    if (dw != ww || dh != wh) {
        // Bars beside the picture; a picture that fills the window needs none.
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (dw == static_cast<int>(width) && dh == static_cast<int>(height)) {
        // 1:1: drawn, texel for pixel. SwiftShader runs a copy (a blit) on
        // one thread, and a draw on all of them: the page gains 10 to 25%.
        drawing.show(colorBuffers[front], dx, dy, dw, dh);
    } else {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[front]);
        glBlitFramebuffer(0, 0, static_cast<GLint>(width), static_cast<GLint>(height), dx, dy, dx + dw, dy + dh,
                          GL_COLOR_BUFFER_BIT, GL_LINEAR);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }
    host->swap();
    targetBack();
}

HResult GlDisplayLayer::flip(SurfaceId primary, std::uint32_t) {
    Impl& d = *impl_;
    if (primary != d.primary || !d.framebuffers[0]) return kFailed;
    d.drawing.flush();
    const int back = 1 - d.front;
    if (d.samples > 1) {
        // The drawn picture, resolved into the buffer it is shown from.
        const auto w = static_cast<GLint>(d.width), h = static_cast<GLint>(d.height);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, d.drawFramebuffers[back]);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, d.framebuffers[back]);
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }
    d.front = back;
    d.present();
    return kOk;
}

}  // namespace zor
