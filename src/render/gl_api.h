#pragma once
// The one place that chooses the OpenGL headers. The OpenGL layer uses only
// what OpenGL ES 3.0 (and so WebGL2) offers: in the browser from
// Emscripten's own GLES 3 header, elsewhere (Linux and Windows) from our own
// loader (gl_loader.h), which the host fills.

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include "render/gl_loader.h"
#endif
