#include "platform/browser/webgl_host.h"

namespace zor {

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
    if (context_) emscripten_webgl_destroy_context(context_);
    context_ = 0;
}

}  // namespace zor
