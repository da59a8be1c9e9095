#pragma once
// Text through Windows' own fonts (GDI): a monospaced face, drawn without
// smoothing into a bitmap, so every pixel is letter, outline or colour key.

#include <windows.h>

#include <map>
#include <string>

#include "platform/text_painter.h"

namespace zor {

class GdiTextPainter final : public TextPainter {
public:
    GdiTextPainter();
    ~GdiTextPainter() override;
    GdiTextPainter(const GdiTextPainter&) = delete;
    GdiTextPainter& operator=(const GdiTextPainter&) = delete;

    bool paint(std::string_view text, int pixelSize, TextPicture& picture) override;
    const std::string& error() const override { return error_; }

private:
    HFONT font(int pixelSize);

    HDC dc_ = nullptr;
    std::map<int, HFONT> fonts_;  // by size
    std::string error_;
};

}  // namespace zor
