// glTF 1.0 told apart from 2.0 before the library reads a file, which would
// only say that 1.0's "asset" is missing or that it holds no nodes. A binary
// file says its version in its header; a text one in its "asset" (1.0 files
// may have none), and 1.0 keeps its meshes, nodes and the rest in objects
// keyed by name where 2.0 has arrays.

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <string_view>

#include "import/readers.h"

namespace zor::import {
namespace {

// The text after `key` and a colon, blanks skipped; npos when not there.
std::size_t valueAfter(std::string_view text, std::string_view key, std::size_t from = 0) {
    const std::size_t at = text.find(key, from);
    if (at == std::string_view::npos) return at;
    std::size_t i = at + key.size();
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] != ':') return valueAfter(text, key, at + key.size());
    ++i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    return i < text.size() ? i : std::string_view::npos;
}

}  // namespace

bool isGltfVersionOne(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string head(std::size_t{1} << 20, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    if (head.size() >= 8 && head.compare(0, 4, "glTF") == 0)
        return static_cast<unsigned char>(head[4]) == 1 && head[5] == 0 && head[6] == 0 && head[7] == 0;
    const std::string_view text(head);
    if (const std::size_t asset = valueAfter(text, "\"asset\""); asset != std::string_view::npos && text[asset] == '{') {
        const std::size_t version = valueAfter(text, "\"version\"", asset);
        if (version != std::string_view::npos && text[version] == '"')
            return version + 1 < text.size() && text[version + 1] == '1';
    }
    for (const char* key : {"\"meshes\"", "\"nodes\"", "\"scenes\"", "\"accessors\"", "\"buffers\""})
        if (const std::size_t value = valueAfter(text, key); value != std::string_view::npos && text[value] == '{')
            return true;
    return false;
}

}  // namespace zor::import
