#pragma once
// What the tools wrote into a play folder, kept in the folder as
// ".zor-files": one file name a line, in the order written. zor-build
// rewrites a folder it (or zor-import) wrote before: the files the record
// names are replaced, those it names and the new build no longer writes are
// removed (an import's loose scene would otherwise be read before the
// build's zor.dat), and every other file is left alone; a file the new build
// would write that the record does not name is refused unless forced.
//
// The record is written first with the old and the new names together and
// last with the new ones alone, so that a build cut short still owns every
// file it may have written.

#include <filesystem>
#include <string>
#include <vector>

#include "writers/play_folder.h"

namespace zor::write {

inline constexpr const char* kFolderRecordName = ".zor-files";

// The names the folder's record holds; none without a record. Names that
// are no plain file name (a folder separator, "..", the record itself) are
// left out.
std::vector<std::string> recordedNames(const std::filesystem::path& folder);

// Writes the record of `folder` as plannedNames gives it.
void recordWrittenNames(const PlayFolder& folder);

// Writes `folder` (writePlayFolder, every file replaced) over what an
// earlier write recorded, as above, and records it. Throws
// std::runtime_error naming the file and what went wrong; a refusal says
// "already holds NAME, which no earlier build wrote (--force replaces it)"
// and writes nothing. The names removed.
std::vector<std::string> rewritePlayFolder(const PlayFolder& folder, bool force);

}  // namespace zor::write
