#include "platform/browser/webgl_host.h"

#include <emscripten.h>

namespace zor {

namespace {

// Emscripten names GL objects by one counter that only grows, and each of its
// name tables (buffers, textures, programs, contexts, ...) grows to that
// counter whenever it files a new object, keeping a slot for every object
// ever made: a page played again a thousand times would carry some 40 000
// empty slots in each. Once the page's one context is gone, every object of
// it is deleted, so the empty slots at the tables' ends are dropped and the
// counter starts again after the last name still held.
EM_JS(void, forgetDeletedGlNames, (), {
    if (typeof GL !== "object" || GL.contexts.some((c) => c)) return;
    let next = 1;
    for (const table of [GL.buffers, GL.programs, GL.framebuffers, GL.renderbuffers, GL.textures, GL.shaders,
                         GL.vaos, GL.contexts, GL.queries, GL.samplers, GL.transformFeedbacks, GL.syncs]) {
        if (!Array.isArray(table)) continue;
        let end = table.length;
        while (end > 0 && !table[end - 1]) --end;
        table.length = end;
        next = Math.max(next, end);
    }
    GL.counter = next;
});

}  // namespace

std::vector<HostDisplay> WebGlHost::displays() {
    // Largest first, as displays report them.
    return {{"Browser canvas (WebGL2)", {{1280, 960}, {1024, 768}, {800, 600}, {640, 480}, {512, 384}}}};
}

void WebGlHost::adoptWindow(void* nativeWindow) {
    if (!context_ && nativeWindow) canvas_ = static_cast<const char*>(nativeWindow);
}

bool WebGlHost::createContext(int width, int height) {
    if (context_) return true;
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // The layer draws into buffers of its own; the canvas only shows them.
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    context_ = emscripten_webgl_create_context(canvas_.c_str(), &attributes);
    if (context_ <= 0) {
        context_ = 0;
        error_ = "the browser gives no WebGL2 context on " + canvas_ +
                 " (WebGL2 switched off, or no graphics acceleration allowed)";
        return false;
    }
    if (emscripten_webgl_make_context_current(context_) != EMSCRIPTEN_RESULT_SUCCESS) {
        error_ = "cannot make the WebGL2 context current";
        return false;
    }
    emscripten_set_canvas_element_size(canvas_.c_str(), width, height);
    return true;
}

void WebGlHost::showMode(int, int width, int height, bool) {
    // Full screen is the page's business (a browser grants it only on a
    // click); the drawing buffer takes the mode's size.
    emscripten_set_canvas_element_size(canvas_.c_str(), width, height);
}

void WebGlHost::drawableSize(int& width, int& height) const {
    width = height = 0;
    emscripten_get_canvas_element_size(canvas_.c_str(), &width, &height);
}

void WebGlHost::makeCurrent() {
    if (context_) emscripten_webgl_make_context_current(context_);
}

void WebGlHost::shutdown() {
    if (!context_) return;
    emscripten_webgl_destroy_context(context_);
    context_ = 0;
    forgetDeletedGlNames();
}

}  // namespace zor
