#pragma once
// The scene checker (zor-inspect --check, zor-view's W and status line):
// reads a scene as the player does and says what will go wrong or be
// ignored, one finding a line, as "FILE:LINE: error: text" or
// "FILE:LINE: warning: text". Objects and images are read through the
// player's own loaders and decoder, and the scene is evaluated through the
// frame code at frames spread over its range; the checker only adds where to
// look and what to tell the author.

#include <string>
#include <string_view>
#include <vector>

#include "archive/data_source.h"
#include "archive/diagnostics.h"

namespace zor::check {

struct Finding {
    Severity severity = Severity::Warning;
    std::string file;
    int line = 0;  // 0: about the file as a whole
    std::string text;

    // "file:line: error: text", or "file: error: text" without a line.
    std::string format() const;
};

// Frames evaluated across the scene's range for the view and light
// findings, both ends included.
inline constexpr int kCheckedFrames = 65;

// Every finding for the scene, errors and warnings, in the order of the
// scene's lines (findings about the scene as a whole first). When the scene
// was read, `playerFrames` (if given) receives one line on the frames the
// player shows for its range (ShownFrames::describe).
std::vector<Finding> checkScene(const DataSource& source, std::string_view sceneName,
                                std::string* playerFrames = nullptr);

// How many of the findings are errors.
std::size_t countErrors(const std::vector<Finding>& findings);

}  // namespace zor::check
