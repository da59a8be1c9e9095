#pragma once
// A contact sheet: frames of a run shrunk side by side, four to a row, for a
// quick look. Its size is bounded whatever the run's length: each cell is at
// most 160 pixels on a side, and a run with more frames than the sheet's
// kMaxCells cells is sampled evenly, its first and last frame included.

#include <cstdint>

#include "display/png_file.h"

namespace zor {

class ContactSheet {
public:
    static constexpr int kColumns = 4;
    static constexpr std::uint64_t kMaxCells = 64;

    // For `frames` pictures of width x height.
    ContactSheet(int width, int height, std::uint64_t frames);

    // Whether the run's picture number `index` has a cell.
    bool wants(std::uint64_t index) const;
    // Box-averages the picture into the cell of picture `index`.
    void add(const RgbPicture& picture, std::uint64_t index);

    const RgbPicture& picture() const { return sheet_; }

private:
    // The cell that picture `index` fills, or -1.
    std::int64_t cellOf(std::uint64_t index) const;
    // The picture shown in `cell`.
    std::uint64_t pictureOf(std::uint64_t cell) const;

    int step_, cellW_, cellH_;
    std::uint64_t frames_, cells_;
    RgbPicture sheet_;
};

}  // namespace zor
