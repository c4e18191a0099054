#include "app/run_file_name.h"

#include "app/text.h"

namespace edi {

std::string CenterFileField(std::string_view centerCode) { return PadCenterCode(centerCode); }

std::string RunFilePrefix(long long serial, std::string_view centerCode, std::string_view kind) {
  return SerialField(serial) + "_" + std::string(kind) + "_" + CenterFileField(centerCode);
}

std::string RunFileName(long long serial, std::string_view centerCode, std::string_view kind,
                        std::string_view category, std::string_view extension) {
  std::string name = RunFilePrefix(serial, centerCode, kind) + std::string(category);
  if (!extension.empty()) name += "." + std::string(extension);
  return name;
}

}  // namespace edi
