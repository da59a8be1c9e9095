#pragma once
// zor-inspect --check: reads a scene as the player does and says what will
// go wrong or be ignored, one finding a line, as "FILE:LINE: error: text" or
// "FILE:LINE: warning: text". Objects and images are read through the
// player's own loaders and decoder, and the scene is evaluated through the
// frame code at frames spread over its range; the checker only adds where to
// look and what to tell the author.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive.h"
#include "app/scene_view.h"
#include "archive/diagnostics.h"

namespace zor::inspect {

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

// The findings as zor-view's status line counts them and W lists them.
ViewFindings findingsForView(const DataSource& source, std::string_view sceneName);

// Prints the findings on `out` and a count on `summary`; the exit status:
// 0 without errors, 1 with.
int printFindings(std::ostream& out, std::ostream& summary, std::string_view sceneName,
                  const std::vector<Finding>& findings);

}  // namespace zor::inspect
