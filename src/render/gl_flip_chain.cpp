// The flip chain: two off-screen colour buffers of the mode's size and
// format (so the buffer itself quantises the colours) with one depth buffer;
// the back one is drawn into, a flip swaps them and presents the new front
// one, scaled into the window with its aspect ratio kept.

#include <algorithm>
#include <cstdint>
#include <string>

#include "render/gl_layer.h"

namespace zor {

void GlDisplayLayer::Impl::targetBack() {
    drawing.setTarget(framebuffers[1 - front], static_cast<int>(width), static_cast<int>(height), depthBits);
}

bool GlDisplayLayer::Impl::createFlipChain() {
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
    glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    return glGetError() == GL_NO_ERROR || fail("cannot create the depth buffer");
}

bool GlDisplayLayer::Impl::attachDepth() {
    for (int i = 0; i < 2; ++i) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
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
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[front]);
    glBlitFramebuffer(0, 0, static_cast<GLint>(width), static_cast<GLint>(height), dx, dy, dx + dw, dy + dh,
                      GL_COLOR_BUFFER_BIT, GL_LINEAR);
    host->swap();
    targetBack();
}

HResult GlDisplayLayer::flip(SurfaceId primary, std::uint32_t) {
    Impl& d = *impl_;
    if (primary != d.primary || !d.framebuffers[0]) return kFailed;
    d.drawing.flush();
    d.front = 1 - d.front;
    d.present();
    return kOk;
}

}  // namespace zor
