#pragma once
// The renderer's OpenGL functions, fetched once after the host has made its
// context current (loadGlFunctions, called by the host) into pointers of our
// own, and the names the renderer calls mapped onto them: WGL on Windows
// (wgl_host.h), SDL on Linux (sdl_gl_host.h). Only the functions the renderer
// calls are here; a function the renderer starts to use is added to
// ZOR_GL_FUNCTIONS (the build fails until it is).
//
// The renderer speaks OpenGL ES 3.0. An ES 3 context and a desktop core
// context of 4.3 or later (which takes ES 3.0 shaders) need nothing more; on
// a 3.3 core context the few ES 3.0 calls desktop 3.3 lacks are made from
// older ones, and the shaders' "#version 300 es" becomes "#version 330 core".

#include <string>

#if defined(_WIN32) && !defined(APIENTRY)
#define APIENTRY __stdcall
#endif
#include <GL/glcorearb.h>

// X(prototype type, name) for every function the renderer calls.
#define ZOR_GL_FUNCTIONS(X) \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture) \
    X(PFNGLATTACHSHADERPROC, glAttachShader) \
    X(PFNGLBINDBUFFERPROC, glBindBuffer) \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer) \
    X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer) \
    X(PFNGLBINDSAMPLERPROC, glBindSampler) \
    X(PFNGLBINDTEXTUREPROC, glBindTexture) \
    X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray) \
    X(PFNGLBLENDFUNCPROC, glBlendFunc) \
    X(PFNGLBLITFRAMEBUFFERPROC, glBlitFramebuffer) \
    X(PFNGLBUFFERDATAPROC, glBufferData) \
    X(PFNGLBUFFERSUBDATAPROC, glBufferSubData) \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus) \
    X(PFNGLCLEARPROC, glClear) \
    X(PFNGLCLEARCOLORPROC, glClearColor) \
    X(PFNGLCLEARDEPTHFPROC, glClearDepthf) \
    X(PFNGLCLIENTWAITSYNCPROC, glClientWaitSync) \
    X(PFNGLCOMPILESHADERPROC, glCompileShader) \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram) \
    X(PFNGLCREATESHADERPROC, glCreateShader) \
    X(PFNGLCULLFACEPROC, glCullFace) \
    X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers) \
    X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers) \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram) \
    X(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers) \
    X(PFNGLDELETESAMPLERSPROC, glDeleteSamplers) \
    X(PFNGLDELETESHADERPROC, glDeleteShader) \
    X(PFNGLDELETESYNCPROC, glDeleteSync) \
    X(PFNGLDELETETEXTURESPROC, glDeleteTextures) \
    X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays) \
    X(PFNGLDEPTHFUNCPROC, glDepthFunc) \
    X(PFNGLDEPTHMASKPROC, glDepthMask) \
    X(PFNGLDEPTHRANGEFPROC, glDepthRangef) \
    X(PFNGLDISABLEPROC, glDisable) \
    X(PFNGLDRAWARRAYSPROC, glDrawArrays) \
    X(PFNGLENABLEPROC, glEnable) \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray) \
    X(PFNGLFENCESYNCPROC, glFenceSync) \
    X(PFNGLFLUSHPROC, glFlush) \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer) \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, glFramebufferTexture2D) \
    X(PFNGLFRONTFACEPROC, glFrontFace) \
    X(PFNGLGENBUFFERSPROC, glGenBuffers) \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers) \
    X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers) \
    X(PFNGLGENSAMPLERSPROC, glGenSamplers) \
    X(PFNGLGENTEXTURESPROC, glGenTextures) \
    X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays) \
    X(PFNGLGETERRORPROC, glGetError) \
    X(PFNGLGETINTERNALFORMATIVPROC, glGetInternalformativ) \
    X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog) \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv) \
    X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog) \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv) \
    X(PFNGLGETSTRINGPROC, glGetString) \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation) \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram) \
    X(PFNGLPIXELSTOREIPROC, glPixelStorei) \
    X(PFNGLPOLYGONOFFSETPROC, glPolygonOffset) \
    X(PFNGLREADPIXELSPROC, glReadPixels) \
    X(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage) \
    X(PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC, glRenderbufferStorageMultisample) \
    X(PFNGLSAMPLERPARAMETERIPROC, glSamplerParameteri) \
    X(PFNGLSHADERSOURCEPROC, glShaderSource) \
    X(PFNGLTEXSTORAGE2DPROC, glTexStorage2D) \
    X(PFNGLTEXSUBIMAGE2DPROC, glTexSubImage2D) \
    X(PFNGLUNIFORM1FPROC, glUniform1f) \
    X(PFNGLUNIFORM1IPROC, glUniform1i) \
    X(PFNGLUNIFORM2IPROC, glUniform2i) \
    X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv) \
    X(PFNGLUSEPROGRAMPROC, glUseProgram) \
    X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer) \
    X(PFNGLVIEWPORTPROC, glViewport)

#define ZOR_GL_DECLARE(type, name) extern type zor_##name;
ZOR_GL_FUNCTIONS(ZOR_GL_DECLARE)
#undef ZOR_GL_DECLARE

#define glActiveTexture zor_glActiveTexture
#define glAttachShader zor_glAttachShader
#define glBindBuffer zor_glBindBuffer
#define glBindFramebuffer zor_glBindFramebuffer
#define glBindRenderbuffer zor_glBindRenderbuffer
#define glBindSampler zor_glBindSampler
#define glBindTexture zor_glBindTexture
#define glBindVertexArray zor_glBindVertexArray
#define glBlendFunc zor_glBlendFunc
#define glBlitFramebuffer zor_glBlitFramebuffer
#define glBufferData zor_glBufferData
#define glBufferSubData zor_glBufferSubData
#define glCheckFramebufferStatus zor_glCheckFramebufferStatus
#define glClear zor_glClear
#define glClearColor zor_glClearColor
#define glClearDepthf zor_glClearDepthf
#define glClientWaitSync zor_glClientWaitSync
#define glCompileShader zor_glCompileShader
#define glCreateProgram zor_glCreateProgram
#define glCreateShader zor_glCreateShader
#define glCullFace zor_glCullFace
#define glDeleteBuffers zor_glDeleteBuffers
#define glDeleteFramebuffers zor_glDeleteFramebuffers
#define glDeleteProgram zor_glDeleteProgram
#define glDeleteRenderbuffers zor_glDeleteRenderbuffers
#define glDeleteSamplers zor_glDeleteSamplers
#define glDeleteShader zor_glDeleteShader
#define glDeleteSync zor_glDeleteSync
#define glDeleteTextures zor_glDeleteTextures
#define glDeleteVertexArrays zor_glDeleteVertexArrays
#define glDepthFunc zor_glDepthFunc
#define glDepthMask zor_glDepthMask
#define glDepthRangef zor_glDepthRangef
#define glDisable zor_glDisable
#define glDrawArrays zor_glDrawArrays
#define glEnable zor_glEnable
#define glEnableVertexAttribArray zor_glEnableVertexAttribArray
#define glFenceSync zor_glFenceSync
#define glFlush zor_glFlush
#define glFramebufferRenderbuffer zor_glFramebufferRenderbuffer
#define glFramebufferTexture2D zor_glFramebufferTexture2D
#define glFrontFace zor_glFrontFace
#define glGenBuffers zor_glGenBuffers
#define glGenFramebuffers zor_glGenFramebuffers
#define glGenRenderbuffers zor_glGenRenderbuffers
#define glGenSamplers zor_glGenSamplers
#define glGenTextures zor_glGenTextures
#define glGenVertexArrays zor_glGenVertexArrays
#define glGetError zor_glGetError
#define glGetInternalformativ zor_glGetInternalformativ
#define glGetProgramInfoLog zor_glGetProgramInfoLog
#define glGetProgramiv zor_glGetProgramiv
#define glGetShaderInfoLog zor_glGetShaderInfoLog
#define glGetShaderiv zor_glGetShaderiv
#define glGetString zor_glGetString
#define glGetUniformLocation zor_glGetUniformLocation
#define glLinkProgram zor_glLinkProgram
#define glPixelStorei zor_glPixelStorei
#define glPolygonOffset zor_glPolygonOffset
#define glReadPixels zor_glReadPixels
#define glRenderbufferStorage zor_glRenderbufferStorage
#define glRenderbufferStorageMultisample zor_glRenderbufferStorageMultisample
#define glSamplerParameteri zor_glSamplerParameteri
#define glShaderSource zor_glShaderSource
#define glTexStorage2D zor_glTexStorage2D
#define glTexSubImage2D zor_glTexSubImage2D
#define glUniform1f zor_glUniform1f
#define glUniform1i zor_glUniform1i
#define glUniform2i zor_glUniform2i
#define glUniformMatrix4fv zor_glUniformMatrix4fv
#define glUseProgram zor_glUseProgram
#define glVertexAttribPointer zor_glVertexAttribPointer
#define glViewport zor_glViewport

namespace zor {

enum class GlFlavour {
    Es3,     // OpenGL ES 3.0 or later
    Core43,  // desktop core profile 4.3 or later
    Core33,  // desktop core profile 3.3 to 4.2
};

// The contexts a host tries, in this order; ZOR_GL_CONTEXT=NAME takes only
// the one of that name (and "core33" the 3.3 path whatever the driver gives).
struct GlContextKind {
    const char* name;
    int major, minor;
    bool es;  // OpenGL ES, else a desktop core profile
};
inline constexpr GlContextKind kGlContextKinds[] = {
    {"es", 3, 0, true},
    {"core", 4, 3, false},
    {"core33", 3, 3, false},
};
// Whether a host should try that kind, by ZOR_GL_CONTEXT.
bool glContextWanted(const GlContextKind& kind);
// The flavour a context of that kind and version text is driven as; false
// when it is too old.
bool glFlavourFor(const GlContextKind& kind, const std::string& version, GlFlavour& flavour);

// The platform's lookup of a function by name; null when there is none.
using GlFunctionLookup = void* (*)(const char* name, void* context);

// The flavour of a context from its version text ("OpenGL ES 3.2 Mesa",
// "4.5 (Core Profile) Mesa", "3.3.0 NVIDIA"); false when it is too old for
// the renderer.
bool glFlavourOf(const std::string& version, GlFlavour& flavour);

// Fetches every function for a context of `flavour` (current on this
// thread). False, with the names that were not found in `missing`, when the
// driver lacks any.
bool loadGlFunctions(GlFunctionLookup lookup, void* context, GlFlavour flavour, std::string& missing);

}  // namespace zor
