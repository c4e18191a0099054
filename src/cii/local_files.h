// The local files CII→local writes: one per information category beside the name it was
// given, and their state taken before a reading so that a reading that fails can put every
// one of them back.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/file_mark.h"

namespace edi::cii {

// The local file for a category: the category put before the first "." of the file name
// (after it when the name has no ".").
std::filesystem::path LocalPathForCategory(const std::filesystem::path& localPath, const std::string& category);

// The state of every local file that a reading into this path could append to.
std::vector<FileMark> MarkLocalFiles(const std::filesystem::path& localPath);
// Each of those files back as it was marked (its earlier length), and one made since removed.
void PutBackLocalFiles(const std::filesystem::path& localPath, const std::vector<FileMark>& marks);

}  // namespace edi::cii
