// The shown picture read back: the front buffer of the flip chain as 8-bit
// RGB rows, top row first, at the levels of the buffer's own format.

#include <vector>

#include "render/gl_layer.h"
#include "render/pixel_conversion.h"

namespace zor {

bool GlDisplayLayer::readFrontBuffer(std::vector<std::uint8_t>& rgb, int& width, int& height) {
    Impl& d = *impl_;
    if (!d.framebuffers[0]) return false;
    d.drawing.flush();
    width = static_cast<int>(d.width);
    height = static_cast<int>(d.height);
    // RGBA bytes can always be read back; the buffer's own levels are
    // recovered from them.
    std::vector<std::uint8_t> raw(std::size_t(d.width) * d.height * 4);
    forgetErrors();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, d.framebuffers[d.front]);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    const bool read = glGetError() == GL_NO_ERROR;
    d.targetBack();
    rgb.resize(std::size_t(width) * height * 3);
    const int redBlue = d.modeBits == 32 ? 8 : 5;
    const int green = d.modeBits == 32 ? 8 : d.modeBits == 15 ? 5 : 6;
    readBackToRgb8(raw.data(), width, height, redBlue, green, rgb.data());
    return read || d.fail("cannot read the front buffer back");
}

}  // namespace zor
