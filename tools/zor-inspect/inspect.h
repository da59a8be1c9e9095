#pragma once
// What zor-inspect reports about a loaded scene: a readable summary and the
// JSON document, optionally after evaluating the scene at a frame (the frame
// pass's evaluation steps, without drawing).

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frame/frame_pass.h"
#include "scene/scene.h"

namespace zor::inspect {

// Objects and lights are numbered from 1, as the scene file counts them
// ("number" in the JSON, whose "parent" stays the 0-based position in
// "objects"); nullNames gives per object the name written after
// AddNullObject (SceneSourceLines::nullNames), shown instead of "NULL".
nlohmann::ordered_json toJson(const Scene& scene, const std::vector<std::string>& textures,
                              const std::optional<Evaluation>& evaluation, const std::vector<std::string>& nullNames);

void printSummary(std::ostream& out, const Scene& scene, const std::vector<std::string>& textures,
                  const std::optional<Evaluation>& evaluation, const std::vector<std::string>& nullNames);

// A name from a data file as a JSON string: as it is when it is UTF-8, else
// each byte taken as a Latin-1 character (as older systems wrote names).
nlohmann::ordered_json text(const std::string& bytes);

// The document as text; never throws.
std::string dumpJson(const nlohmann::ordered_json& document);

// A float as a JSON number with 9 significant digits (enough to give the same
// float back).
nlohmann::ordered_json number(float value);

}  // namespace zor::inspect
