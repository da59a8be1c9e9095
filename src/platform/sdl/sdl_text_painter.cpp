#include "platform/sdl/sdl_text_painter.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_ttf.h>

#include <algorithm>

namespace zor {

namespace {

constexpr int kOutline = 1;

// Copies the covered pixels of an 8-bit solid rendering (index 0 is the
// background) into the picture in one colour.
void stamp(const SDL_Surface* glyphs, int left, int top, std::uint8_t level, TextPicture& picture) {
    if (!glyphs || glyphs->format->BytesPerPixel != 1) return;
    for (int y = 0; y < glyphs->h; ++y) {
        const int py = top + y;
        if (py < 0 || py >= picture.height) continue;
        const auto* row = static_cast<const std::uint8_t*>(glyphs->pixels) + std::ptrdiff_t(y) * glyphs->pitch;
        for (int x = 0; x < glyphs->w; ++x) {
            const int px = left + x;
            if (px < 0 || px >= picture.width || row[x] == 0) continue;
            std::uint8_t* p = &picture.pixels[(std::size_t(py) * picture.width + px) * 3];
            p[0] = p[1] = p[2] = level;
        }
    }
}

}  // namespace

SdlTextPainter::SdlTextPainter(std::string fontPath) : fontPath_(std::move(fontPath)) {}

SdlTextPainter::~SdlTextPainter() {
    for (auto& [size, font] : fonts_) TTF_CloseFont(font);
    if (ttfReady_) TTF_Quit();
}

TTF_Font* SdlTextPainter::font(int pixelSize) {
    if (auto it = fonts_.find(pixelSize); it != fonts_.end()) return it->second;
    if (!ttfReady_) {
        if (TTF_Init() != 0) {
            error_ = std::string("cannot start the font renderer: ") + TTF_GetError();
            return nullptr;
        }
        ttfReady_ = true;
    }
    TTF_Font* font = TTF_OpenFont(fontPath_.c_str(), pixelSize);
    if (!font) {
        error_ = "cannot open the font \"" + fontPath_ + "\" (Debian package fonts-dejavu-core): " + TTF_GetError();
        return nullptr;
    }
    TTF_SetFontHinting(font, TTF_HINTING_MONO);
    fonts_[pixelSize] = font;
    return font;
}

bool SdlTextPainter::paint(std::string_view text, int pixelSize, TextPicture& picture) {
    TTF_Font* f = font(std::clamp(pixelSize, 6, 200));
    if (!f) return false;
    const std::string line = text.empty() ? std::string(" ") : std::string(text);
    TTF_SetFontOutline(f, 0);
    SDL_Surface* inner = TTF_RenderUTF8_Solid(f, line.c_str(), SDL_Color{255, 255, 255, 255});
    TTF_SetFontOutline(f, kOutline);
    SDL_Surface* outer = TTF_RenderUTF8_Solid(f, line.c_str(), SDL_Color{0, 0, 0, 255});
    TTF_SetFontOutline(f, 0);
    const bool ok = inner && outer;
    if (ok) {
        picture.width = std::max(inner->w + 2 * kOutline, outer->w);
        picture.height = std::max(inner->h + 2 * kOutline, outer->h);
        picture.pixels.assign(std::size_t(picture.width) * picture.height * 3, 0);
        for (std::size_t i = 0; i < picture.pixels.size(); i += 3) {
            picture.pixels[i] = 255;
            picture.pixels[i + 2] = 255;
        }
        stamp(outer, 0, 0, 0, picture);
        stamp(inner, kOutline, kOutline, 255, picture);
    } else {
        error_ = std::string("cannot draw text: ") + TTF_GetError();
    }
    if (inner) SDL_FreeSurface(inner);
    if (outer) SDL_FreeSurface(outer);
    return ok;
}

}  // namespace zor
