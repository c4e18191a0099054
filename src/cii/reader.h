// The CII-to-local reader: every message of a CII file becomes one local fixed-length line,
// appended to a local file per information category.
#pragma once

#include <filesystem>

#include "cii/local_files.h"
#include "cii/state.h"

namespace edi::cii {

void ConvertCiiToLocal(TranslationContext& ctx, const std::filesystem::path& ciiPath,
                       const std::filesystem::path& localPath);

}  // namespace edi::cii
