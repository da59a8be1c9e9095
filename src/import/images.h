#pragma once
// Base colour images become the player's JPEGs: the material's colour factor
// baked in (in linear light), an additive surface's image darkened by its
// alpha, resampled to sides that are powers of two from 8 to 256. Each image
// is converted once per factor and kind of surface.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "import/convert.h"
#include "import/names.h"
#include "import/source_model.h"

namespace zor::import {

// Colours: the source's linear values shown as the display's 0..1 (sRGB).
float linearToDisplay(float v);
float displayToLinear(float v);
std::uint8_t displayByte(float linear);

class ImageBaker {
public:
    ImageBaker(const SourceModel& model, NameBook& names, Conversion& out) : model_(model), names_(names), out_(out) {}

    // The JPEG for a material's base colour image, "" when it has none (or
    // it cannot be converted: then noted). Adds the file to the conversion.
    std::string imageFor(const SourceMaterial& material);

private:
    const SourceModel& model_;
    NameBook& names_;
    Conversion& out_;
    std::map<std::tuple<int, std::array<float, 3>, bool>, std::string> images_;
};

}  // namespace zor::import
