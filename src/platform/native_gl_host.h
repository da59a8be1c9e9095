#pragma once
// The OpenGL layer's host of the system the program is built for: SDL2 on
// Linux (sdl/sdl_gl_host.h), WGL on Windows (win32/wgl_host.h); for the
// tools, which draw in a hidden window or one of the host's own. Linked
// through zor_platform_native.

#include <memory>

#include "render/gl_host.h"

namespace zor {

std::unique_ptr<GlHost> makeNativeGlHost(const GlDisplayOptions& options);

}  // namespace zor
