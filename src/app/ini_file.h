// Reader for Windows profile files (EDI.ini), with the semantics the workstation relies on:
// the file is read afresh on every call; section and key names compare case-insensitively;
// the first matching section and key win; a missing file, section or key gives an empty
// value; a value arrives cut to (buffer size - 1) bytes, like GetPrivateProfileStringA.
// The file is CP932; values come back as UTF-8.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace edi {

class IniFile {
 public:
  explicit IniFile(std::filesystem::path path);

  const std::filesystem::path& path() const { return path_; }
  bool exists() const;
  // No configuration is this large: a larger file reads as empty, and start-up refuses it.
  static constexpr std::size_t kMaxBytes = 1u << 20;
  // True when the file is there but cannot be a configuration: larger than kMaxBytes, or
  // not a regular file (a device such as /dev/zero, a folder, a pipe).
  bool refused() const;

  // One value into a buffer of `bufferSize` bytes: at most bufferSize-1 bytes arrive.
  std::string Read(const std::string& section, const std::string& key, int bufferSize) const;

  // The whole section as GetPrivateProfileSectionA delivers it into a buffer of `bufferSize`
  // bytes: each line of the section (comments and blank lines left out) followed by a NUL,
  // the list ended by one more NUL. A section that does not fit is cut and still ends with
  // two NULs. Returned as UTF-8 with the NULs in place.
  std::string ReadSection(const std::string& section, int bufferSize) const;

  // Lines of a whole-section text, split at NUL characters, up to the first empty piece.
  static std::vector<std::string> SplitSection(const std::string& sectionText);

 private:
  std::filesystem::path path_;
};

}  // namespace edi
