// Under LeakSanitizer: Mesa's EGL and software rasteriser, which SDL loads
// for windows on its offscreen driver, keep allocations of their own until
// the process ends and are unloaded before the leak check runs, so their
// stacks cannot be named. Keeping them loaded lets the check name them and
// leave them out; leaks in our own code are still reported.

#include <dlfcn.h>

#include <initializer_list>

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libEGL_mesa.so\n"
           "leak:libGLX_mesa.so\n"
           "leak:swrast_dri.so\n"
           "leak:libglapi.so\n"
           "leak:libLLVM\n"
           "leak:libdrm\n"
           "leak:libX11.so\n"
           "leak:libasound.so\n"
           "leak:libdbus-1.so\n";
}

namespace {

struct KeepDriversLoaded {
    KeepDriversLoaded() {
        for (const char* name : {"libEGL.so.1", "libEGL_mesa.so.0", "libGLX_mesa.so.0", "libglapi.so.0",
                                 "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "libasound.so.2"}) {
            dlopen(name, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
        }
    }
} keepDriversLoaded;

}  // namespace
