#pragma once
// Writes a set of files as one thing a person hands on: a folder, or an
// archive (.tar.gz or .zip: archive_bytes.h) whose files lie in one folder
// named after the archive (site.tar.gz unpacks into site/). Everything is
// written beside its place and renamed into it, so a failure leaves no half
// of anything, and nothing there is replaced unless asked.

#include <filesystem>
#include <string>
#include <vector>

#include "writers/play_folder.h"

namespace zor::publish {

enum class BundleKind { Folder, TarGz, Zip };

// By the name's ending: ".tar.gz" or ".tgz", ".zip", else a folder.
BundleKind bundleKindOf(const std::filesystem::path& path);

// The ending of an archive that is not written (".rar", ".7z", ".tar",
// ".tar.bz2", ".tar.xz", ".gz", ".bz2", ".xz", ".zst"), lower case, when
// `path`'s name has one; else empty. Such a name is refused rather than made
// a folder.
std::string unwrittenArchiveEnding(const std::filesystem::path& path);

// Throws std::runtime_error naming `path` and the system's reason; with
// Replace::Never, something already at `path` is refused ("already exists
// (--force replaces it)"). File times are SOURCE_DATE_EPOCH's when it is
// set, so the same input gives the same bytes. An archive's folder is
// `folder` when given, else the archive's name without its ending.
void writeBundle(const std::filesystem::path& path, const std::vector<write::DataFile>& files, Replace replace,
                 const std::string& folder = {});

// The folder an archive at `path` holds by default: its name without the
// ending.
std::string archiveFolderName(const std::filesystem::path& path);

}  // namespace zor::publish
