#pragma once
// The drawing part of the OpenGL layer, written to what OpenGL ES 3.0 and
// WebGL2 offer: one small GLSL ES 3.00 program family (smooth or flat
// colour, texture stage, colour key), a few vertex buffers allocated once
// and streamed into in turn, one sampler object carrying the device's
// texture filters. The device state is a small struct;
// primitives collect in one batch for as long as it stays the same, so
// changes of state, not polygons, decide how many draw calls a frame takes.
//
// Direct3D's conventions are kept: row-vector matrices, depth 0..1 (turned
// into GL's -1..1 by the vertex shader, as ES has no clip control), screen
// rows running down, counter-clockwise polygons on screen culled, a flat
// polygon in its first vertex's colour (written into each of its vertices in
// the stream, as ES has no provoking-vertex switch), a depth bias for lines
// and points as well as for polygons.
//
// No window system here: the host (gl_host.h) keeps a context current.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "render/display_layer.h"
#include "render/gl_api.h"

namespace zor {

enum class CullMode : std::uint8_t { None, Clockwise, CounterClockwise };

struct GlViewport {
    GLint x = 0, y = 0;  // GL's bottom-left origin
    GLsizei width = 0, height = 0;
    float minZ = 0, maxZ = 1;
    friend bool operator==(const GlViewport&, const GlViewport&) = default;
};

// Everything a batch of primitives is drawn with.
struct DrawState {
    GLenum primitive = GL_TRIANGLES;
    GLuint texture = 0;           // 0: the diffuse colour alone
    bool modulate = true;         // texture times diffuse, else the texture alone
    bool flat = false;            // one colour per primitive: its first vertex's
    bool keyed = false;           // texels with alpha below one half are not drawn
    bool pixelSpace = false;      // positions are target pixels (blits), not camera space
    bool blend = false;
    GLenum blendSource = GL_ONE, blendDestination = GL_ZERO;
    bool depthTest = true, depthWrite = true;
    GLenum depthFunc = GL_LEQUAL;
    CullMode cull = CullMode::None;
    std::uint32_t depthBias = 0;  // in steps of the depth buffer, towards the eye
    bool dither = true;
    GLint minFilter = GL_LINEAR_MIPMAP_LINEAR, magFilter = GL_LINEAR;
    GlViewport viewport;
    std::uint32_t transformVersion = 0;  // changes with every new matrix
    friend bool operator==(const DrawState&, const DrawState&) = default;
};

class GlDrawing {
public:
    // Compiles the programs and makes the buffer, vertex array and samplers
    // in the current context; false with `error` set.
    bool start(std::string& error);
    // Deletes them (the context must be current).
    void stop();

    // Where batches go: a framebuffer of this size whose depth buffer has
    // depthBits bits.
    void setTarget(GLuint framebuffer, int width, int height, int depthBits);

    // The device state; primitives drawn next take it.
    DrawState state;
    void setMatrices(const Matrix& world, const Matrix& view, const Matrix& projection);

    // Adds a primitive of `count` vertices to the batch; a fan becomes
    // triangles, a strip pairs of line ends.
    void draw(PrimitiveType type, const LVertex* vertices, std::uint32_t count);
    // Copies a rectangle (u, v from the top left) of `texture` onto the
    // target rectangle (pixels from the top left); keyed: alpha below one half
    // is left out. Nearest texels, no depth, no blending.
    void blit(GLuint texture, const std::array<float, 4>& source, const Rect& destination, bool keyed);
    // Clears the whole target (the depth write state does not matter).
    void clear(bool color, std::uint32_t argb, bool depth, float z);
    // Shows `texture` (a flip chain buffer) 1:1 in the window: texel (i, j)
    // becomes pixel (x + i, y + j) of the window's framebuffer (GL's
    // bottom-left origin), width x height of them, as they are. A draw, not
    // a copy: software rasterisers spread it over their threads.
    void show(GLuint texture, int x, int y, int width, int height);
    // Sends what is waiting to GL.
    void flush();
    // The texture unit's binding was changed outside (uploads).
    void textureRebound(GLuint texture) { applied_.texture = texture; }

    std::size_t drawCalls() const { return drawCalls_; }

private:
    struct Program {
        GLuint id = 0;
        GLint transform = -1, depthBias = -1;
        // Uniform values last set on this program.
        std::uint64_t transformKey = ~0ull;
        float depthBiasValue = -1;
    };

    static std::size_t programIndex(const DrawState& s);
    bool build(Program& program, std::size_t index, std::string& error);
    static void append(std::vector<LVertex>& to, PrimitiveType type, GLenum mode, const LVertex* vertices,
                       std::uint32_t count, std::size_t added, bool flat);
    bool overlaysLastBase(const DrawState& next, PrimitiveType type, const LVertex* vertices,
                          std::uint32_t count) const;
    void flushBatch();
    bool apply(const DrawState& s);
    void uploadMatrix(Program& program, const DrawState& s);

    std::array<Program, 12> programs_;  // by programIndex()
    // show()'s program and its vertex array (no attributes), made when first used.
    GLuint showProgram_ = 0, showArray_ = 0;
    GLint showOrigin_ = -1;
    // The streamed vertex buffers, each with its vertex array, taken in turn
    // as one fills up; the last one (spare) only for a batch larger than
    // a whole store.
    struct Stream {
        GLuint buffer = 0, vertexArray = 0;
    };
    static constexpr std::size_t kStreamCount = 3;
    std::array<Stream, kStreamCount + 1> streams_;
    std::size_t stream_ = 0;    // the one being filled
    std::size_t streamed_ = 0;  // vertices in it so far
    GLuint deviceSampler_ = 0, nearestSampler_ = 0;
    int width_ = 0, height_ = 0;  // of the target
    float depthStep_ = 1.0f / 65535.0f;  // one step of the depth buffer

    Matrix transform_{};  // world x view x projection
    std::uint32_t transformVersion_ = 0;

    std::vector<LVertex> batch_;
    DrawState batchState_;
    // Additive passes held back behind the batch (see draw()), and what they
    // may pass over: the last opaque polygon's state and corners.
    std::vector<LVertex> overlays_;
    DrawState overlayState_;
    bool lastWasBase_ = false;
    DrawState lastBase_;
    std::vector<float> lastBasePositions_;
    DrawState applied_;
    bool appliedValid_ = false;
    GLint appliedMin_ = 0, appliedMag_ = 0;
    GLuint appliedProgram_ = 0;
    std::size_t drawCalls_ = 0;
};

}  // namespace zor
