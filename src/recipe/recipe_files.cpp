// The recipe's only reads of the disk: its own bytes, and whether a file it
// names opens.

#include "system/disk_files.h"
#include "system/files.h"
#include "recipe/recipe.h"

namespace zor::recipe {

std::string checkFileOnDisk(const std::filesystem::path& file) {
    ReadFailure failure;
    const int fd = openRegularFile(file, &failure);
    if (fd < 0) return failure.reason.empty() ? "cannot be read" : failure.reason;
    system_files::closeFile(fd);
    return {};
}

RecipeText readRecipeText(const std::filesystem::path& path) {
    RecipeText result;
    ReadFailure failure;
    const int fd = openRegularFile(path, &failure);
    if (fd < 0) {
        result.error = RecipeError{path, {}, failure.reason.empty() ? "cannot be read" : failure.reason};
        return result;
    }
    // One byte past the limit is enough for readRecipe to refuse the file.
    result.text.resize(kMaxRecipeSize + 1);
    std::size_t size = 0;
    while (size < result.text.size()) {
        int error = 0;
        const long long got = system_files::readSome(fd, result.text.data() + size, result.text.size() - size, error);
        if (got < 0) {
            result.error = RecipeError{path, {}, system_files::reasonFor(error)};
            break;
        }
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
    }
    system_files::closeFile(fd);
    result.text.resize(result.error ? 0 : size);
    return result;
}

RecipeResult loadRecipe(const std::filesystem::path& path, const FileCheck& check) {
    RecipeText text = readRecipeText(path);
    if (text.error) return {{}, text.error};
    return readRecipe(text.text, path, check);
}

}  // namespace zor::recipe
