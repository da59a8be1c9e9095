#include "import/names.h"

#include <algorithm>
#include <cctype>

#include "writers/scene_writer.h"

namespace zor::import {

std::string cleanName(const std::string& name, const std::string& fallback) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '_' || c == '-') out += c;
        else if (!out.empty() && out.back() != '_') out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() ? fallback : out;
}

std::string lowered(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string NameBook::take(const std::string& source, const std::string& fallback, const std::string& kind) {
    std::string base = cleanName(source, fallback);
    if (base.size() > limit_) base.resize(limit_);
    std::string name = base;
    for (int n = 2; used_.count(lowered(name)) || write::isSceneKeyword(name); ++n) {
        const std::string suffix = "_" + std::to_string(n);
        name = base.substr(0, std::min(base.size(), limit_ - suffix.size())) + suffix;
    }
    used_.insert(lowered(name));
    if (!source.empty() && name != source) renamed_.push_back(kind + " \"" + source + "\" -> " + name);
    return name;
}

}  // namespace zor::import
