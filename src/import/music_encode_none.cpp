// Where libsndfile and libmp3lame are not (the Windows programs): no
// encoding, the music must be MP3 already.

#include "import/music.h"
#include "import/readers.h"
#include "system/text.h"

namespace zor::import {

bool encodesMusic() { return false; }

Bytes encodeMp3(const std::filesystem::path& path) {
    throw ImportError(utf8Of(path) +
                      ": music must be MP3 here (this build encodes no WAV or FLAC); convert it to MP3 first");
}

}  // namespace zor::import
