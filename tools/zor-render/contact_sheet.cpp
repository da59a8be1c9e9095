#include "contact_sheet.h"

#include <algorithm>

namespace zor {

namespace {
constexpr int kCellSide = 160;
}

ContactSheet::ContactSheet(int width, int height, std::uint64_t frames)
    : step_(std::max({1, (width + kCellSide - 1) / kCellSide, (height + kCellSide - 1) / kCellSide})),
      cellW_(std::max(1, width / step_)),
      cellH_(std::max(1, height / step_)),
      frames_(frames),
      cells_(std::clamp<std::uint64_t>(frames, 1, kMaxCells)) {
    const int n = static_cast<int>(cells_);
    sheet_.width = cellW_ * std::min(n, kColumns);
    sheet_.height = cellH_ * ((n + kColumns - 1) / kColumns);
    sheet_.pixels.assign(static_cast<std::size_t>(sheet_.width) * sheet_.height * 3, 0);
}

std::uint64_t ContactSheet::pictureOf(std::uint64_t cell) const {
    if (frames_ <= cells_) return cell;
    // Evenly from the first picture to the last; with more pictures than
    // cells no two cells share one. The product stays below 2^64 for any
    // run of fewer than 2^58 pictures.
    return cell * (frames_ - 1) / (cells_ - 1);
}

std::int64_t ContactSheet::cellOf(std::uint64_t index) const {
    if (frames_ <= cells_) return index < cells_ ? static_cast<std::int64_t>(index) : -1;
    // The first cell whose picture is at or after `index`.
    std::uint64_t cell = index * (cells_ - 1) / (frames_ - 1);
    while (cell < cells_ && pictureOf(cell) < index) ++cell;
    return cell < cells_ && pictureOf(cell) == index ? static_cast<std::int64_t>(cell) : -1;
}

bool ContactSheet::wants(std::uint64_t index) const { return cellOf(index) >= 0; }

void ContactSheet::add(const RgbPicture& picture, std::uint64_t index) {
    const std::int64_t cell = cellOf(index);
    if (cell < 0 || picture.width < cellW_ * step_ || picture.height < cellH_ * step_) return;
    const int cx = static_cast<int>(cell % kColumns) * cellW_, cy = static_cast<int>(cell / kColumns) * cellH_;
    for (int y = 0; y < cellH_; ++y)
        for (int x = 0; x < cellW_; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < step_; ++dy)
                    for (int dx = 0; dx < step_; ++dx)
                        sum += picture.pixels[(static_cast<std::size_t>(y * step_ + dy) * picture.width +
                                               (x * step_ + dx)) * 3 + c];
                sheet_.pixels[(static_cast<std::size_t>(cy + y) * sheet_.width + (cx + x)) * 3 + c] =
                    static_cast<std::uint8_t>(sum / (step_ * step_));
            }
}

}  // namespace zor
