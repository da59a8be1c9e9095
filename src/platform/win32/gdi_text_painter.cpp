#include "platform/win32/gdi_text_painter.h"

#include <algorithm>
#include <cstring>

#include "system/win32/text_win32.h"

namespace zor {

namespace {

constexpr int kOutline = 1;
constexpr std::uint32_t kKey = 0x00FF00FF;  // magenta as a DIB's blue, green, red, unused

}  // namespace

GdiTextPainter::GdiTextPainter() : dc_(CreateCompatibleDC(nullptr)) {}

GdiTextPainter::~GdiTextPainter() {
    for (auto& [size, font] : fonts_) DeleteObject(font);
    if (dc_) DeleteDC(dc_);
}

HFONT GdiTextPainter::font(int pixelSize) {
    if (auto it = fonts_.find(pixelSize); it != fonts_.end()) return it->second;
    // A negative height asks for that many pixels of character height.
    HFONT font = CreateFontW(-pixelSize, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, L"Consolas");
    if (!font) {
        error_ = "Windows has no monospaced font: " + win32::errorText(GetLastError());
        return nullptr;
    }
    fonts_[pixelSize] = font;
    return font;
}

bool GdiTextPainter::paint(std::string_view text, int pixelSize, TextPicture& picture) {
    if (!dc_) {
        error_ = "no device context for text";
        return false;
    }
    HFONT f = font(std::clamp(pixelSize, 6, 200));
    if (!f) return false;
    const std::wstring line = win32::widen(text.empty() ? std::string_view(" ") : text);
    const int length = static_cast<int>(line.size());
    SelectObject(dc_, f);
    SIZE extent{};
    if (!GetTextExtentPoint32W(dc_, line.c_str(), length, &extent) || extent.cx <= 0 || extent.cy <= 0) {
        error_ = "cannot measure text: " + win32::errorText(GetLastError());
        return false;
    }
    const int width = extent.cx + 2 * kOutline, height = extent.cy + 2 * kOutline;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        error_ = "cannot make a bitmap for text: " + win32::errorText(GetLastError());
        return false;
    }
    auto* pixels = static_cast<std::uint32_t*>(bits);
    std::fill(pixels, pixels + std::size_t(width) * height, kKey);
    HGDIOBJ old = SelectObject(dc_, bitmap);
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, RGB(0, 0, 0));
    for (int dy = 0; dy <= 2 * kOutline; ++dy)
        for (int dx = 0; dx <= 2 * kOutline; ++dx)
            if (dx != kOutline || dy != kOutline) TextOutW(dc_, dx, dy, line.c_str(), length);
    SetTextColor(dc_, RGB(255, 255, 255));
    TextOutW(dc_, kOutline, kOutline, line.c_str(), length);
    GdiFlush();

    picture.width = width;
    picture.height = height;
    picture.pixels.resize(std::size_t(width) * height * 3);
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i) {
        const std::uint32_t p = pixels[i];
        picture.pixels[i * 3] = static_cast<std::uint8_t>(p);
        picture.pixels[i * 3 + 1] = static_cast<std::uint8_t>(p >> 8);
        picture.pixels[i * 3 + 2] = static_cast<std::uint8_t>(p >> 16);
    }
    SelectObject(dc_, old);
    DeleteObject(bitmap);
    return true;
}

}  // namespace zor
