#include "run/backup.h"

#include <algorithm>
#include <filesystem>

#include "app/text.h"
#include "app/whole_file.h"
#include "run/run_context.h"

namespace edi::run {

std::vector<std::string> BackupRunFiles(const PathSettings& paths, std::int32_t serial, std::int16_t selector,
                                        const std::vector<std::string>& leaveOut) {
  std::vector<std::string> faults;
  const std::string& prefix = selector == 0 ? paths.inFolder : paths.outFolder;
  std::vector<std::string> names;
  try {
    // The serial field and the "_" after it: serial 10000000 is not a prefix of 100000001's files.
    names = ListFilesWithPrefix(PrefixFolder(prefix), SerialField(serial) + "_");
  } catch (const std::exception& e) {
    faults.push_back(e.what());
    return faults;
  }
  for (const auto& name : names) {
    if (std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end()) continue;
    // Whole or not at all; an earlier copy stays until the new one is complete.
    if (auto fault = CopyFileWhole(InFolder(prefix, name), InFolder(paths.oldFolder, name)))
      faults.push_back(fault->text);
  }
  return faults;
}

}  // namespace edi::run
