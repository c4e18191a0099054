// What a file looked like before a conversion wrote to it, so that a failed conversion can
// be taken back: the converters append to their output, and one that fails (a full disk,
// bad input) may leave an empty file or half of its messages behind, which the backup and
// the sending would otherwise pick up.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace edi {

class FileMark {
 public:
  // Notes whether the file exists and its length. Never throws.
  explicit FileMark(std::filesystem::path path);

  // Puts the file back as it was noted: removed when it did not exist, cut back to its
  // earlier length when it did. False when that failed, so that the file still holds what
  // the failed conversion wrote. Never throws.
  bool Restore() const;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::optional<std::uintmax_t> size_;  // none: the file did not exist
};

}  // namespace edi
