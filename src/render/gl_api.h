#pragma once
// The one place that chooses the OpenGL headers. The OpenGL layer uses only
// what OpenGL ES 3.0 (and so WebGL2) offers: on the desktop its entry points
// come through libepoxy, in the browser from Emscripten's own GLES 3 header.

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include <epoxy/gl.h>
#endif
