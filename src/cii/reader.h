// The CII-to-local reader: every message of a CII file becomes one local fixed-length line,
// appended to a local file per information category.
#pragma once

#include <filesystem>

#include "cii/state.h"

namespace edi::cii {

// The local file for a category: the category put before the first "." of the file name
// (after it when the name has no ".").
std::filesystem::path LocalPathForCategory(const std::filesystem::path& localPath, const std::string& category);

void ConvertCiiToLocal(TranslationContext& ctx, const std::filesystem::path& ciiPath,
                       const std::filesystem::path& localPath);

}  // namespace edi::cii
