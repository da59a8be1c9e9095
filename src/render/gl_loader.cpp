// The renderer's OpenGL functions (gl_loader.h), and on a 3.3 core context
// the ES 3.0 calls it lacks, made from older ones.

#include "render/gl_loader.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#define ZOR_GL_DEFINE(type, name) type zor_##name = nullptr;
ZOR_GL_FUNCTIONS(ZOR_GL_DEFINE)
#undef ZOR_GL_DEFINE

namespace zor {

namespace {

// Older functions the 3.3 stand-ins call.
PFNGLDEPTHRANGEPROC depthRange = nullptr;
PFNGLCLEARDEPTHPROC clearDepth = nullptr;
PFNGLTEXIMAGE2DPROC texImage2D = nullptr;
PFNGLTEXPARAMETERIPROC texParameteri = nullptr;
PFNGLGETINTEGERVPROC getIntegerv = nullptr;
PFNGLSHADERSOURCEPROC shaderSource = nullptr;

void APIENTRY depthRangef33(GLfloat nearZ, GLfloat farZ) { depthRange(nearZ, farZ); }

void APIENTRY clearDepthf33(GLfloat depth) { clearDepth(depth); }

// Every level made with glTexImage2D, in the format and type that fit the
// internal format, and the level range fixed as immutable storage fixes it.
void APIENTRY texStorage2D33(GLenum target, GLsizei levels, GLenum internalFormat, GLsizei width, GLsizei height) {
    GLenum format = GL_RGBA, type = GL_UNSIGNED_BYTE;
    if (internalFormat == GL_RGB565) {
        format = GL_RGB;
        type = GL_UNSIGNED_SHORT_5_6_5;
    } else if (internalFormat == GL_RGB5_A1) {
        type = GL_UNSIGNED_SHORT_5_5_5_1;
    }
    for (GLsizei level = 0; level < levels; ++level) {
        texImage2D(target, level, static_cast<GLint>(internalFormat), width, height, 0, format, type, nullptr);
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    texParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
    texParameteri(target, GL_TEXTURE_MAX_LEVEL, levels - 1);
}

// Without the query, one sample count is known: the largest.
void APIENTRY getInternalformativ33(GLenum, GLenum, GLenum name, GLsizei count, GLint* values) {
    if (count < 1 || !values) return;
    if (name == GL_NUM_SAMPLE_COUNTS) {
        values[0] = 1;
    } else if (name == GL_SAMPLES) {
        getIntegerv(GL_MAX_SAMPLES, values);
    }
}

// The shaders are written for ES 3.0, which GLSL 3.30 reads alike once told
// its own version.
void APIENTRY shaderSource33(GLuint shader, GLsizei count, const GLchar* const* strings, const GLint* lengths) {
    static constexpr char kEs[] = "#version 300 es";
    static constexpr char kCore[] = "#version 330 core";
    if (count < 1 || !strings || !strings[0] || (lengths && lengths[0] >= 0) ||
        std::strncmp(strings[0], kEs, sizeof kEs - 1) != 0) {
        shaderSource(shader, count, strings, lengths);
        return;
    }
    const std::string first = std::string(kCore) + (strings[0] + sizeof kEs - 1);
    std::vector<const GLchar*> all(strings, strings + count);
    all[0] = first.c_str();
    shaderSource(shader, count, all.data(), lengths);
}

template <class Function>
bool fetch(GlFunctionLookup lookup, void* context, const char* name, Function& function) {
    function = reinterpret_cast<Function>(lookup(name, context));
    return function != nullptr;
}

}  // namespace

bool glFlavourOf(const std::string& version, GlFlavour& flavour) {
    const bool es = version.rfind("OpenGL ES", 0) == 0;
    const char* numbers = version.c_str() + (es ? 10 : 0);
    char* end = nullptr;
    const long major = std::strtol(numbers, &end, 10);
    const long minor = end && *end == '.' ? std::strtol(end + 1, nullptr, 10) : 0;
    if (es) {
        flavour = GlFlavour::Es3;
        return major >= 3;
    }
    if (major > 4 || (major == 4 && minor >= 3)) {
        flavour = GlFlavour::Core43;
        return true;
    }
    flavour = GlFlavour::Core33;
    return major == 4 || (major == 3 && minor >= 3);
}

bool glContextWanted(const GlContextKind& kind) {
    const char* wanted = std::getenv("ZOR_GL_CONTEXT");
    return !wanted || !*wanted || std::strcmp(wanted, kind.name) == 0;
}

bool glFlavourFor(const GlContextKind& kind, const std::string& version, GlFlavour& flavour) {
    const bool usable = glFlavourOf(version, flavour);
    // Asked for by name, the 3.3 path is taken whatever the driver gives.
    if (std::strcmp(kind.name, "core33") == 0) flavour = GlFlavour::Core33;
    return usable;
}

bool loadGlFunctions(GlFunctionLookup lookup, void* context, GlFlavour flavour, std::string& missing) {
    missing.clear();
    const auto note = [&missing](const char* name) { missing += (missing.empty() ? "" : ", ") + std::string(name); };
#define ZOR_GL_FETCH(type, name) fetch(lookup, context, #name, zor_##name);
    ZOR_GL_FUNCTIONS(ZOR_GL_FETCH)
#undef ZOR_GL_FETCH
    if (flavour == GlFlavour::Core33) {
        bool older = fetch(lookup, context, "glDepthRange", depthRange);
        older = fetch(lookup, context, "glClearDepth", clearDepth) && older;
        older = fetch(lookup, context, "glTexImage2D", texImage2D) && older;
        older = fetch(lookup, context, "glTexParameteri", texParameteri) && older;
        older = fetch(lookup, context, "glGetIntegerv", getIntegerv) && older;
        if (!older) {
            missing = "the OpenGL 1.x functions (glDepthRange, glClearDepth, glTexImage2D, glTexParameteri, "
                      "glGetIntegerv)";
            return false;
        }
        // What 3.3 lacks is made from older calls even where a newer driver
        // has it, so the path is the same on every driver that takes it.
        zor_glDepthRangef = depthRangef33;
        zor_glClearDepthf = clearDepthf33;
        zor_glTexStorage2D = texStorage2D33;
        zor_glGetInternalformativ = getInternalformativ33;
        shaderSource = zor_glShaderSource;
        if (shaderSource) zor_glShaderSource = shaderSource33;
    }
#define ZOR_GL_CHECK(type, name) \
    if (!zor_##name) note(#name);
    ZOR_GL_FUNCTIONS(ZOR_GL_CHECK)
#undef ZOR_GL_CHECK
    return missing.empty();
}

}  // namespace zor
