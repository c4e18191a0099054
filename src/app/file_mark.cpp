#include "app/file_mark.h"

#include <system_error>

namespace edi {

FileMark::FileMark(std::filesystem::path path) : path_(std::move(path)) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(path_, ec)) {
    const auto size = std::filesystem::file_size(path_, ec);
    if (!ec) size_ = size;
  }
}

bool FileMark::Restore() const {
  std::error_code ec;
  const bool exists = std::filesystem::exists(path_, ec);
  if (ec) return false;
  if (!size_) {
    if (!exists) return true;
    std::filesystem::remove(path_, ec);
    return !ec;
  }
  // The earlier file is gone (the conversion replaced it): nothing left to cut back.
  if (!exists) return true;
  const auto now = std::filesystem::file_size(path_, ec);
  if (ec) return false;
  if (now <= *size_) return true;  // nothing was appended
  std::filesystem::resize_file(path_, *size_, ec);
  return !ec;
}

}  // namespace edi
