#include "platform/win32/wgl_host.h"

// The GL types first: wglext.h uses them.
#include "render/gl_loader.h"

#include <GL/wglext.h>

#include <cstdlib>
#include <cstring>

#include "platform/native_gl_host.h"
#include "platform/win32/win32_display_modes.h"
#include "system/win32/text_win32.h"
#include "platform/win32/win32_window_system.h"

namespace zor {

namespace {

constexpr const wchar_t* kClassName = L"zor OpenGL";
constexpr unsigned kGlVersion = 0x1F02;

// A function found by name, as the type it has.
template <class Function>
Function as(PROC found) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// wglGetProcAddress answers for what lies beyond OpenGL 1.1; the 1.1
// functions come from opengl32.dll itself. Some drivers answer 1, 2, 3 or
// -1 for a function they do not have.
void* lookupFunction(const char* name, void* module) {
    PROC function = wglGetProcAddress(name);
    const auto value = reinterpret_cast<std::intptr_t>(function);
    if (value >= -1 && value <= 3) function = GetProcAddress(static_cast<HMODULE>(module), name);
    return reinterpret_cast<void*>(function);
}

std::string glVersionText(HMODULE opengl) {
    using GetString = const unsigned char*(WINAPI*)(unsigned);
    const auto getString = as<GetString>(GetProcAddress(opengl, "glGetString"));
    const unsigned char* text = getString ? getString(kGlVersion) : nullptr;
    return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

std::unique_ptr<GlHost> makeNativeGlHost(const GlDisplayOptions& options) {
    return std::make_unique<WglHost>(options);
}

bool WglHost::fail(std::string text) {
    error_ = std::move(text);
    return false;
}

bool WglHost::start() {
    if (classRegistered_) return true;
    instance_ = GetModuleHandleW(nullptr);
    if (!registerProgramClass(instance_, kClassName, DefWindowProcW, CS_OWNDC, BLACK_BRUSH) &&
        GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return fail("cannot register a window class: " + win32::errorText(GetLastError()));
    classRegistered_ = true;
    return true;
}

std::vector<HostDisplay> WglHost::displays() {
    std::vector<HostDisplay> list;
    for (const win32::DisplayDevice& device : win32::displayDevices()) list.push_back({device.description, device.sizes});
    return list;
}

void WglHost::adoptWindow(void* nativeWindow) {
    if (!context_ && nativeWindow) window_ = static_cast<HWND>(nativeWindow);
}

bool WglHost::makeWindow(int width, int height) {
    RECT frame{0, 0, width, height};
    const DWORD style = WS_OVERLAPPEDWINDOW | kGlWindowStyle;
    AdjustWindowRect(&frame, style, FALSE);
    window_ = CreateWindowExW(0, kClassName, win32::widen(options_.title).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_,
                              nullptr);
    if (!window_) return fail("cannot create a window: " + win32::errorText(GetLastError()));
    ownsWindow_ = true;
    frame_.attach(window_);
    if (options_.visible) ShowWindow(window_, SW_SHOW);
    return true;
}

bool WglHost::makeContext() {
    // Framebuffer 0 only ever receives finished pictures: no depth, no
    // multisampling.
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cAlphaBits = 8;
    format.iLayerType = PFD_MAIN_PLANE;
    const int chosen = ChoosePixelFormat(dc_, &format);
    if (chosen == 0 || !SetPixelFormat(dc_, chosen, &format))
        return fail("the window takes no OpenGL pixel format: " + win32::errorText(GetLastError()));

    // A plain context first, only to reach wglCreateContextAttribsARB.
    HGLRC first = wglCreateContext(dc_);
    if (!first || !wglMakeCurrent(dc_, first)) {
        if (first) wglDeleteContext(first);
        return fail("cannot create an OpenGL context: " + win32::errorText(GetLastError()));
    }
    const auto createContext = as<PFNWGLCREATECONTEXTATTRIBSARBPROC>(wglGetProcAddress("wglCreateContextAttribsARB"));
    const auto swapInterval = as<PFNWGLSWAPINTERVALEXTPROC>(wglGetProcAddress("wglSwapIntervalEXT"));
    const std::string plainVersion = glVersionText(GetModuleHandleW(L"opengl32.dll"));
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(first);
    if (!createContext)
        return fail("the OpenGL driver cannot make OpenGL ES 3.0 or core 3.3 contexts (it offers OpenGL " +
                    plainVersion + ")");

    const HMODULE opengl = GetModuleHandleW(L"opengl32.dll");
    std::string tried;
    for (const GlContextKind& kind : kGlContextKinds) {
        if (!glContextWanted(kind)) continue;
        const int profile = kind.es ? WGL_CONTEXT_ES2_PROFILE_BIT_EXT : WGL_CONTEXT_CORE_PROFILE_BIT_ARB;
        const int attributes[] = {WGL_CONTEXT_MAJOR_VERSION_ARB, kind.major, WGL_CONTEXT_MINOR_VERSION_ARB, kind.minor,
                                  WGL_CONTEXT_PROFILE_MASK_ARB, profile, 0};
        HGLRC context = createContext(dc_, nullptr, attributes);
        if (!context) continue;
        GlFlavour flavour = GlFlavour::Core33;
        const std::string version = wglMakeCurrent(dc_, context) ? glVersionText(opengl) : std::string();
        std::string missing;
        const bool usable = glFlavourFor(kind, version, flavour);
        if (usable && loadGlFunctions(lookupFunction, opengl, flavour, missing)) {
            context_ = context;
            version_ = version;
            // Each swap waits for the display's refresh when asked; where the
            // driver cannot, the swaps come as fast as the frames.
            if (swapInterval) swapInterval(options_.vsync ? 1 : 0);
            return true;
        }
        tried += (tried.empty() ? "" : "; ") + version + (missing.empty() ? "" : " lacks " + missing);
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context);
    }
    return fail("cannot create an OpenGL ES 3.0 or core OpenGL 3.3 context" +
                (tried.empty() ? " (the driver offers OpenGL " + plainVersion + ")" : " (" + tried + ")"));
}

bool WglHost::createContext(int width, int height) {
    if (context_) return true;
    if (!start()) return false;
    if (!window_ && !makeWindow(width, height)) return false;
    dc_ = GetDC(window_);
    if (!dc_) return fail("the window has no device context");
    return makeContext();
}

void WglHost::showMode(int display, int width, int height, bool fullScreen) {
    if (!window_) return;
    if (fullScreen) {
        const std::vector<win32::DisplayDevice> devices = win32::displayDevices();
        if (display >= 0 && static_cast<std::size_t>(display) < devices.size()) {
            const win32::DisplayDevice& device = devices[static_cast<std::size_t>(display)];
            // Where the display cannot take the mode, the picture is scaled
            // to the desktop's.
            std::string why;
            win32::changeDisplayMode(device.deviceName, width, height, why);
            int left = 0, top = 0, w = 0, h = 0;
            win32::displayBounds(device.deviceName, left, top, w, h);
            // The window's frame belongs to whoever made the window.
            if (WindowFrame* frame = frameOf(window_)) frame->cover(RECT{left, top, left + w, top + h}, true);
        }
    } else if (ownsWindow_) {
        RECT frame{0, 0, width, height};
        AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE);
        SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    if (options_.visible) {
        ShowWindow(window_, SW_SHOW);
        SetForegroundWindow(window_);
        SetFocus(window_);
    }
}

void WglHost::drawableSize(int& width, int& height) const {
    width = height = 0;
    RECT client{};
    if (window_ && GetClientRect(window_, &client)) {
        width = client.right - client.left;
        height = client.bottom - client.top;
    }
}

void WglHost::swap() {
    if (dc_) SwapBuffers(dc_);
    // A window of the host's own has no one else to answer its messages;
    // unanswered, Windows would mark it as not responding.
    MSG msg{};
    while (ownsWindow_ && PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

void WglHost::makeCurrent() {
    if (context_) wglMakeCurrent(dc_, context_);
}

void WglHost::shutdown() {
    if (context_) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context_);
    }
    context_ = nullptr;
    if (dc_ && window_) ReleaseDC(window_, dc_);
    dc_ = nullptr;
    if (window_ && ownsWindow_) {
        frame_.detach();
        DestroyWindow(window_);
    }
    window_ = nullptr;
    ownsWindow_ = false;
    win32::restoreDisplayModes();
}

}  // namespace zor
