#include "render/gl_drawing.h"

#include <algorithm>
#include <cstddef>

namespace zor {

namespace {

// Vertices one batch holds before it is sent on.
constexpr std::size_t kBatchCapacity = 1 << 16;
// Vertices each streamed buffer holds (2 MiB, the largest batch); batches
// are appended to one until it is full, then the next one is taken (see
// flushBatch()). The sample demo fills one in about two frames.
constexpr std::size_t kStreamCapacity = kBatchCapacity;

constexpr const char* kVertexShader = R"(
uniform mat4 u_transform;  // world x view x projection, row-vector matrices given as they are
uniform float u_depthBias; // towards the eye, in clip units per w (lines and points)
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec4 a_diffuse;  // the bytes of an ARGB word: blue, green, red, alpha
layout(location = 2) in vec2 a_texcoord;
#ifdef FLAT
flat out vec4 v_diffuse;
#else
out vec4 v_diffuse;
#endif
out vec2 v_texcoord;
void main() {
    vec4 p = u_transform * vec4(a_position, 1.0);
    // Depth runs 0..w (Direct3D); GL clips and maps -w..w.
    p.z = 2.0 * p.z - p.w - u_depthBias * p.w;
    gl_Position = p;
    gl_PointSize = 1.0;
    v_diffuse = a_diffuse.zyxw;
    v_texcoord = a_texcoord;
}
)";

constexpr const char* kFragmentShader = R"(
precision highp float;
uniform sampler2D u_texture;
#ifdef FLAT
flat in vec4 v_diffuse;
#else
in vec4 v_diffuse;
#endif
in vec2 v_texcoord;
out vec4 o_color;
void main() {
#if STAGE == 0
    vec4 c = v_diffuse;
#elif STAGE == 1
    vec4 c = v_diffuse * texture(u_texture, v_texcoord);
#else
    vec4 c = texture(u_texture, v_texcoord);
#endif
#ifdef KEYED
    if (c.a < 0.5) discard;
#endif
    o_color = c;
}
)";

// show(): one triangle over the whole viewport, each pixel fetching its
// texel, no filtering.
constexpr const char* kShowVertexShader = R"(#version 300 es
void main() {
    gl_Position = vec4(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1), 0.0, 1.0);
}
)";

constexpr const char* kShowFragmentShader = R"(#version 300 es
precision highp float;
uniform highp sampler2D u_texture;
uniform ivec2 u_origin;  // the window pixel that shows texel (0, 0)
out vec4 o_color;
void main() {
    o_color = texelFetch(u_texture, ivec2(gl_FragCoord.xy) - u_origin, 0);
}
)";

GLuint compile(GLenum kind, const std::string& source, std::string& error) {
    const GLuint shader = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader: " + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// A program of the two sources; 0 with `error` set when either does not
// compile or they do not link.
GLuint link(const std::string& vertexSource, const std::string& fragmentSource, std::string& error) {
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource, error);
    if (!vertex) return 0;
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentSource, error);
    if (!fragment) {
        glDeleteShader(vertex);
        return 0;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        error = std::string("shader program: ") + log;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[r * 4 + k] * b[k * 4 + c];
            m[r * 4 + c] = sum;
        }
    return m;
}

void enable(GLenum capability, bool on) { on ? glEnable(capability) : glDisable(capability); }

}  // namespace

// The program for a state: flat or smooth colour; the texture stage (0: the
// diffuse colour alone, 1: texture times diffuse, 2: the texture alone);
// keyed or not. Each variant is compiled when first used, so software
// rasterisers run straight code without branches on uniforms.
std::size_t GlDrawing::programIndex(const DrawState& s) {
    const std::size_t stage = s.texture == 0 ? 0 : s.modulate ? 1 : 2;
    return (s.flat ? 6 : 0) + stage * 2 + (s.keyed ? 1 : 0);
}

bool GlDrawing::build(Program& program, std::size_t index, std::string& error) {
    const std::string head = std::string("#version 300 es\n") + (index >= 6 ? "#define FLAT\n" : "") +
                             "#define STAGE " + std::to_string(index % 6 / 2) + "\n" +
                             (index % 2 ? "#define KEYED\n" : "");
    program = Program{};
    program.id = link(head + kVertexShader, head + kFragmentShader, error);
    if (!program.id) return false;
    program.transform = glGetUniformLocation(program.id, "u_transform");
    program.depthBias = glGetUniformLocation(program.id, "u_depthBias");
    glUseProgram(program.id);
    glUniform1i(glGetUniformLocation(program.id, "u_texture"), 0);
    return true;
}

bool GlDrawing::start(std::string& error) {
    // The commonest variant now, so a driver that cannot build the programs
    // is found at once.
    if (!build(programs_[programIndex(DrawState{})], programIndex(DrawState{}), error)) return false;
    // The stores are allocated here, once; each has a vertex array of its own.
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        Stream& stream = streams_[i];
        glGenVertexArrays(1, &stream.vertexArray);
        glBindVertexArray(stream.vertexArray);
        glGenBuffers(1, &stream.buffer);
        glBindBuffer(GL_ARRAY_BUFFER, stream.buffer);
        if (i < kStreamCount)
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(kStreamCapacity * sizeof(LVertex)), nullptr,
                         GL_STREAM_DRAW);
        const auto stride = static_cast<GLsizei>(sizeof(LVertex));
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(LVertex, x)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                              reinterpret_cast<const void*>(offsetof(LVertex, diffuse)));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(LVertex, tu)));
    }
    stream_ = 0;
    streamed_ = 0;
    glBindVertexArray(streams_[stream_].vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, streams_[stream_].buffer);

    glGenSamplers(1, &deviceSampler_);
    glGenSamplers(1, &nearestSampler_);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glActiveTexture(GL_TEXTURE0);
    // Front faces run clockwise on screen; culling "back" removes the
    // counter-clockwise ones.
    glFrontFace(GL_CW);
    batch_.reserve(kBatchCapacity);
    appliedValid_ = false;
    appliedMin_ = appliedMag_ = 0;
    transformVersion_ = 0;
    if (glGetError() != GL_NO_ERROR) {
        error = "cannot set up the vertex stream";
        return false;
    }
    return true;
}

void GlDrawing::stop() {
    batch_.clear();
    for (Program& p : programs_) {
        if (p.id) glDeleteProgram(p.id);
        p = Program{};
    }
    for (Stream& stream : streams_) {
        if (stream.buffer) glDeleteBuffers(1, &stream.buffer);
        if (stream.vertexArray) glDeleteVertexArrays(1, &stream.vertexArray);
        stream = Stream{};
    }
    if (deviceSampler_) glDeleteSamplers(1, &deviceSampler_);
    if (nearestSampler_) glDeleteSamplers(1, &nearestSampler_);
    deviceSampler_ = nearestSampler_ = 0;
    if (showProgram_) glDeleteProgram(showProgram_);
    if (showArray_) glDeleteVertexArrays(1, &showArray_);
    showProgram_ = showArray_ = 0;
    appliedValid_ = false;
}

void GlDrawing::setTarget(GLuint framebuffer, int width, int height, int depthBits) {
    flush();
    width_ = width;
    height_ = height;
    if (depthBits > 0) depthStep_ = 1.0f / static_cast<float>((1u << std::min(depthBits, 24)) - 1);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

void GlDrawing::setMatrices(const Matrix& world, const Matrix& view, const Matrix& projection) {
    flush();
    transform_ = multiply(multiply(world, view), projection);
    state.transformVersion = ++transformVersion_;
}

void GlDrawing::uploadMatrix(Program& program, const DrawState& s) {
    const std::uint64_t key = s.pixelSpace ? (1ull << 63) | (std::uint64_t(width_) << 24) | std::uint64_t(height_)
                                           : s.transformVersion;
    if (program.transformKey == key) return;
    program.transformKey = key;
    if (s.pixelSpace) {
        // Pixels from the top left onto the whole target.
        const float w = static_cast<float>(std::max(width_, 1)), h = static_cast<float>(std::max(height_, 1));
        const Matrix m = {2 / w, 0, 0, 0, 0, -2 / h, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1};
        glUniformMatrix4fv(program.transform, 1, GL_FALSE, m.data());
    } else {
        // A row-major row-vector matrix read column by column is the
        // column-vector matrix GLSL multiplies with.
        glUniformMatrix4fv(program.transform, 1, GL_FALSE, transform_.data());
    }
}

bool GlDrawing::apply(const DrawState& s) {
    const bool all = !appliedValid_;
    const std::size_t index = programIndex(s);
    Program& program = programs_[index];
    if (!program.id) {
        std::string error;
        if (!build(program, index, error)) {
            // The sources are the ones start() built a variant of; should
            // a driver still refuse one, that state draws nothing.
            appliedValid_ = false;
            return false;
        }
        appliedProgram_ = program.id;
    }
    if (all || appliedProgram_ != program.id) {
        glUseProgram(program.id);
        appliedProgram_ = program.id;
    }
    if (all || s.texture != applied_.texture) glBindTexture(GL_TEXTURE_2D, s.texture);
    if (all || s.pixelSpace != applied_.pixelSpace) glBindSampler(0, s.pixelSpace ? nearestSampler_ : deviceSampler_);
    if (s.minFilter != appliedMin_) glSamplerParameteri(deviceSampler_, GL_TEXTURE_MIN_FILTER, appliedMin_ = s.minFilter);
    if (s.magFilter != appliedMag_) glSamplerParameteri(deviceSampler_, GL_TEXTURE_MAG_FILTER, appliedMag_ = s.magFilter);
    if (all || s.blend != applied_.blend) enable(GL_BLEND, s.blend);
    if (all || s.blendSource != applied_.blendSource || s.blendDestination != applied_.blendDestination)
        glBlendFunc(s.blendSource, s.blendDestination);
    if (all || s.depthTest != applied_.depthTest) enable(GL_DEPTH_TEST, s.depthTest);
    if (all || s.depthWrite != applied_.depthWrite) glDepthMask(s.depthWrite ? GL_TRUE : GL_FALSE);
    if (all || s.depthFunc != applied_.depthFunc) glDepthFunc(s.depthFunc);
    if (all || s.cull != applied_.cull) {
        enable(GL_CULL_FACE, s.cull != CullMode::None);
        if (s.cull != CullMode::None) glCullFace(s.cull == CullMode::CounterClockwise ? GL_BACK : GL_FRONT);
    }
    if (all || s.depthBias != applied_.depthBias) {
        // A bias pulls polygons towards the eye so they win coplanar ties.
        enable(GL_POLYGON_OFFSET_FILL, s.depthBias != 0);
        glPolygonOffset(-1.0f * static_cast<float>(s.depthBias), -4.0f * static_cast<float>(s.depthBias));
    }
    if (all || s.dither != applied_.dither) enable(GL_DITHER, s.dither);
    const GlViewport viewport = s.pixelSpace ? GlViewport{0, 0, width_, height_, 0, 1} : s.viewport;
    if (all || viewport != applied_.viewport) {
        glViewport(viewport.x, viewport.y, viewport.width, viewport.height);
        glDepthRangef(viewport.minZ, viewport.maxZ);
    }

    // Polygon offset reaches polygons only; lines and points get the same
    // constant part in the vertex shader (NDC spans two depth ranges).
    const float bias = s.primitive == GL_TRIANGLES ? 0.0f : 8.0f * static_cast<float>(s.depthBias) * depthStep_;
    if (program.depthBiasValue != bias) glUniform1f(program.depthBias, program.depthBiasValue = bias);
    uploadMatrix(program, s);

    applied_ = s;
    applied_.viewport = viewport;
    appliedValid_ = true;
    return true;
}

namespace {

// An opaque polygon that writes depth where it passes: what the overlays
// below may be moved past.
bool isOpaqueBase(const DrawState& s) {
    return s.primitive == GL_TRIANGLES && !s.pixelSpace && !s.blend && s.depthTest && s.depthWrite &&
           s.depthFunc == GL_LEQUAL && s.depthBias == 0;
}

// An additive pass over the polygon just drawn (the reflection pass): no
// depth writes, pulled towards the eye by a depth bias.
bool isAdditiveOverlay(const DrawState& s) {
    return s.primitive == GL_TRIANGLES && !s.pixelSpace && s.blend && s.blendSource == GL_ONE &&
           s.blendDestination == GL_ONE && s.depthTest && !s.depthWrite && s.depthFunc == GL_LEQUAL &&
           s.depthBias > 0;
}

}  // namespace

void GlDrawing::append(std::vector<LVertex>& to, PrimitiveType type, GLenum mode, const LVertex* vertices,
                       std::uint32_t count, std::size_t added, bool flat) {
    const std::size_t first = to.size();
    switch (type) {
    case PrimitiveType::POINTLIST:
    case PrimitiveType::LINELIST: to.insert(to.end(), vertices, vertices + added); break;
    case PrimitiveType::LINESTRIP:
        for (std::uint32_t i = 0; i + 1 < count; ++i) {
            to.push_back(vertices[i]);
            to.push_back(vertices[i + 1]);
        }
        break;
    case PrimitiveType::TRIANGLEFAN:
        for (std::uint32_t i = 1; i + 1 < count; ++i) {
            to.push_back(vertices[0]);
            to.push_back(vertices[i]);
            to.push_back(vertices[i + 1]);
        }
        break;
    }
    if (!flat || mode == GL_POINTS) return;
    // Every vertex of a primitive in the colour of the polygon's (a line's)
    // first vertex, whichever vertex GL takes the colour from.
    LVertex* v = to.data() + first;
    if (mode == GL_LINES) {
        for (std::size_t i = 0; i + 1 < added; i += 2) v[i + 1].diffuse = v[i].diffuse;
    } else {
        for (std::size_t i = 0; i < added; ++i) v[i].diffuse = vertices[0].diffuse;
    }
}

bool GlDrawing::overlaysLastBase(const DrawState& next, PrimitiveType type, const LVertex* vertices,
                                 std::uint32_t count) const {
    if (type != PrimitiveType::TRIANGLEFAN || !lastWasBase_ || !isAdditiveOverlay(next)) return false;
    if (next.cull != lastBase_.cull || next.viewport != lastBase_.viewport ||
        next.transformVersion != lastBase_.transformVersion || count != lastBasePositions_.size() / 3)
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const float* p = &lastBasePositions_[std::size_t(i) * 3];
        if (vertices[i].x != p[0] || vertices[i].y != p[1] || vertices[i].z != p[2]) return false;
    }
    return true;
}

void GlDrawing::draw(PrimitiveType type, const LVertex* vertices, std::uint32_t count) {
    GLenum mode = GL_TRIANGLES;
    std::size_t added = 0;
    switch (type) {
    case PrimitiveType::POINTLIST:
        mode = GL_POINTS;
        added = count;
        break;
    case PrimitiveType::LINELIST:
        mode = GL_LINES;
        added = count & ~1u;
        break;
    case PrimitiveType::LINESTRIP:
        mode = GL_LINES;
        added = count >= 2 ? (count - 1) * 2 : 0;
        break;
    case PrimitiveType::TRIANGLEFAN:
        added = count >= 3 ? (count - 2) * 3 : 0;
        break;
    }
    if (added == 0) return;
    DrawState next = state;
    next.primitive = mode;

    // An additive pass over exactly the opaque polygon drawn just before it
    // waits, with the others like it, until something other than opaque
    // polygons comes. That keeps the picture: a later opaque polygon that
    // covers it lies in front of its own polygon's depth, so the pass loses
    // the depth test there just as the polygon would have overwritten it
    // (ties within the bias aside). Polygon and pass no longer alternate,
    // so a whole object of them takes two draw calls instead of two each.
    if (overlaysLastBase(next, type, vertices, count)) {
        if (!overlays_.empty() && (!(next == overlayState_) || overlays_.size() + added > kBatchCapacity)) flush();
        overlayState_ = next;
        append(overlays_, type, mode, vertices, count, added, next.flat);
        lastWasBase_ = false;
        return;
    }
    const bool base = isOpaqueBase(next);
    if (!overlays_.empty() && !base) flush();
    if (!batch_.empty() && (!(next == batchState_) || batch_.size() + added > kBatchCapacity)) flushBatch();
    batchState_ = next;
    append(batch_, type, mode, vertices, count, added, next.flat);
    lastWasBase_ = base && type == PrimitiveType::TRIANGLEFAN;
    if (lastWasBase_) {
        lastBase_ = next;
        lastBasePositions_.clear();
        for (std::uint32_t i = 0; i < count; ++i)
            lastBasePositions_.insert(lastBasePositions_.end(), {vertices[i].x, vertices[i].y, vertices[i].z});
    }
}

void GlDrawing::flush() {
    flushBatch();
    if (overlays_.empty()) return;
    batch_.swap(overlays_);
    batchState_ = overlayState_;
    flushBatch();
}

void GlDrawing::flushBatch() {
    if (batch_.empty()) return;
    if (!apply(batchState_)) {
        batch_.clear();
        return;
    }
    const auto bytes = static_cast<GLsizeiptr>(batch_.size() * sizeof(LVertex));
    if (batch_.size() > kStreamCapacity) {
        // One primitive larger than a store: the spare buffer gets a store
        // of its size.
        const Stream& spare = streams_[kStreamCount];
        glBindVertexArray(spare.vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, spare.buffer);
        glBufferData(GL_ARRAY_BUFFER, bytes, batch_.data(), GL_STREAM_DRAW);
        glDrawArrays(batchState_.primitive, 0, static_cast<GLsizei>(batch_.size()));
        glBindVertexArray(streams_[stream_].vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, streams_[stream_].buffer);
        batch_.clear();
        ++drawCalls_;
        return;
    }
    if (streamed_ + batch_.size() > kStreamCapacity) {
        // The next store, in turn. The last draws that read it were sent
        // kStreamCount - 1 stores ago, frames before, so writing into it
        // waits for nothing; nor is a new store allocated.
        stream_ = (stream_ + 1) % kStreamCount;
        streamed_ = 0;
        glBindVertexArray(streams_[stream_].vertexArray);
    }
    glBindBuffer(GL_ARRAY_BUFFER, streams_[stream_].buffer);
    // Each batch goes behind the last one, where no earlier draw reads.
    glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(streamed_ * sizeof(LVertex)), bytes, batch_.data());
    glDrawArrays(batchState_.primitive, static_cast<GLint>(streamed_), static_cast<GLsizei>(batch_.size()));
    streamed_ += batch_.size();
    batch_.clear();
    ++drawCalls_;
}

void GlDrawing::blit(GLuint texture, const std::array<float, 4>& source, const Rect& destination, bool keyed) {
    flush();
    const DrawState device = state;
    DrawState& b = state;
    b = DrawState{};
    b.texture = texture;
    b.modulate = false;
    b.keyed = keyed;
    b.pixelSpace = true;
    b.depthTest = false;
    b.depthWrite = false;
    b.dither = false;
    b.minFilter = device.minFilter;
    b.magFilter = device.magFilter;
    b.transformVersion = device.transformVersion;
    const float x0 = static_cast<float>(destination.left), x1 = static_cast<float>(destination.right);
    const float y0 = static_cast<float>(destination.top), y1 = static_cast<float>(destination.bottom);
    const float u0 = source[0], v0 = source[1], u1 = source[2], v1 = source[3];
    const LVertex quad[4] = {{x0, y0, 0.5f, 0, 0xFFFFFFFF, 0, u0, v0},
                             {x1, y0, 0.5f, 0, 0xFFFFFFFF, 0, u1, v0},
                             {x1, y1, 0.5f, 0, 0xFFFFFFFF, 0, u1, v1},
                             {x0, y1, 0.5f, 0, 0xFFFFFFFF, 0, u0, v1}};
    draw(PrimitiveType::TRIANGLEFAN, quad, 4);
    flush();
    state = device;
}

void GlDrawing::show(GLuint texture, int x, int y, int width, int height) {
    flush();
    if (!showProgram_) {
        std::string error;
        showProgram_ = link(kShowVertexShader, kShowFragmentShader, error);
        if (!showProgram_) return;
        glUseProgram(showProgram_);
        glUniform1i(glGetUniformLocation(showProgram_, "u_texture"), 0);
        showOrigin_ = glGetUniformLocation(showProgram_, "u_origin");
        glGenVertexArrays(1, &showArray_);
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glUseProgram(showProgram_);
    glUniform2i(showOrigin_, x, y);
    glBindVertexArray(showArray_);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindSampler(0, nearestSampler_);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_DITHER);
    glDepthMask(GL_FALSE);
    glViewport(x, y, width, height);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    // Everything the batches set is set again before the next one.
    glBindVertexArray(streams_[stream_].vertexArray);
    appliedProgram_ = 0;
    appliedValid_ = false;
}

void GlDrawing::clear(bool color, std::uint32_t argb, bool depth, float z) {
    flush();
    GLbitfield mask = 0;
    if (color) {
        glClearColor(((argb >> 16) & 255) / 255.0f, ((argb >> 8) & 255) / 255.0f, (argb & 255) / 255.0f,
                     ((argb >> 24) & 255) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (depth) {
        // Clearing ignores the depth write state.
        glDepthMask(GL_TRUE);
        applied_.depthWrite = true;
        glClearDepthf(z);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (mask) glClear(mask);
}

}  // namespace zor
