// Copies the files of one serial into the backup folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"

namespace edi::run {

// Selector 0: the files of the input folder EDIINFIL, any other value: of the output folder
// EDIOUTFIL, whose names begin with the serial field and "_"; each is copied under its own name
// into OLD_FILE, replacing an earlier copy once the new one is whole (never through a link
// at the copy's name). The sources stay. Never throws: a file that
// cannot be copied (or a folder that cannot be read) is named in the returned faults and
// skipped. Names in `leaveOut` (results that a failed conversion left behind) are not copied.
std::vector<std::string> BackupRunFiles(const PathSettings& paths, std::int32_t serial, std::int16_t selector,
                                        const std::vector<std::string>& leaveOut = {});

}  // namespace edi::run
