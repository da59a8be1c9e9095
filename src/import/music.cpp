#include "import/music.h"

#include <cctype>

#include "import/readers.h"
#include "system/text.h"

namespace zor::import {

bool looksLikeMp3(std::span<const std::uint8_t> b) {
    const bool id3 = b.size() >= 3 && b[0] == 'I' && b[1] == 'D' && b[2] == '3';
    const bool frame = b.size() >= 4 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && (b[1] & 0x06) != 0;
    return id3 || frame;
}

Bytes musicAsMp3(const std::filesystem::path& path) {
    std::string ext = utf8Of(path.extension());
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".wav" || ext == ".flac") return encodeMp3(path);
    ReadFailure failure;
    std::optional<Bytes> bytes = readWholeFile(path, &failure);
    if (!bytes) throw ImportError(utf8Of(path) + ": cannot be read: " + failure.reason);
    if (!looksLikeMp3(*bytes)) throw ImportError(utf8Of(path) + ": is not an MP3 file");
    return std::move(*bytes);
}

}  // namespace zor::import
