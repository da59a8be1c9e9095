#pragma once
// Text through SDL2_ttf, unsmoothed so that every pixel is either letter,
// outline or colour key.

#include <map>
#include <string>

#include "platform/text_painter.h"

typedef struct _TTF_Font TTF_Font;

namespace zor {

inline constexpr const char* kMonospaceFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

class SdlTextPainter final : public TextPainter {
public:
    explicit SdlTextPainter(std::string fontPath = kMonospaceFontPath);
    ~SdlTextPainter() override;
    SdlTextPainter(const SdlTextPainter&) = delete;
    SdlTextPainter& operator=(const SdlTextPainter&) = delete;

    bool paint(std::string_view text, int pixelSize, TextPicture& picture) override;
    const std::string& error() const override { return error_; }

private:
    TTF_Font* font(int pixelSize);

    std::string fontPath_;
    bool ttfReady_ = false;
    std::map<int, TTF_Font*> fonts_;  // by size
    std::string error_;
};

}  // namespace zor
