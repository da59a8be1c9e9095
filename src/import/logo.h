#pragma once
// An author's logo as the player shows it: "skane.jpg", 256 x 256, blitted
// over the top-left corner of every frame with pure magenta left out. Any
// JPEG or PNG is fitted into the square (scaled to its longer side, kept in
// proportion and centred) on magenta; the image's own magenta and its
// see-through pixels stay see-through, edges included: a pixel is either
// the image's colour or the key, never a blend of the two that the player
// would show.

#include <filesystem>

#include "system/disk_files.h"

namespace zor::import {

// The logo's JPEG bytes. Throws ImportError naming the file.
Bytes logoJpeg(const std::filesystem::path& path);

}  // namespace zor::import
