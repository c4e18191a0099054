// Writing a file that another program or a person collects (the package's send path, the
// backup copies, a run's result files, the parameter file) so that it is only ever seen
// whole: the bytes go into a temporary file in the target's own folder, are flushed to the
// disk, and the temporary file is renamed over the target in one step. A write that fails
// (full disk, read-only folder, quota) removes the temporary file and leaves whatever was
// at the target before untouched.
//
// A symbolic link at the last part of the target's name is refused (the folders themselves
// may be links): the run never writes through a link into a file it did not name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace edi {

// Why a whole-file write failed: a readable text naming the file, and whether the cause was
// a link at the target's name.
struct FileWriteFault {
  std::string text;
  bool link = false;
};

// True when the last part of the name is a symbolic link (whatever it points to, or nothing).
bool IsSymbolicLink(const std::filesystem::path& path);

// One whole-file write: Open() makes the temporary file, the caller writes into temp(),
// Commit() puts it in place. The destructor removes a temporary file that was not committed.
class WholeFileWrite {
 public:
  explicit WholeFileWrite(std::filesystem::path target);
  ~WholeFileWrite();
  WholeFileWrite(const WholeFileWrite&) = delete;
  WholeFileWrite& operator=(const WholeFileWrite&) = delete;

  std::optional<FileWriteFault> Open();
  const std::filesystem::path& temp() const { return temp_; }
  const std::filesystem::path& target() const { return target_; }
  // Flushes the temporary file to the disk and renames it over the target.
  std::optional<FileWriteFault> Commit();
  void Discard();

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
};

// The bytes as the whole content of `target`.
std::optional<FileWriteFault> WriteFileWhole(const std::filesystem::path& target, std::string_view bytes);
// A copy of `source` as the whole content of `target`.
std::optional<FileWriteFault> CopyFileWhole(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace edi
