// File operations whose behaviour the workstation relies on and that differ between systems:
// a temporary file made beside its target, writes whose failure is reported with the
// system's reason, a flush to the disk, a rename over an existing name in one step, hard
// links, and the refusal to write through a link (POSIX symbolic links; Windows reparse
// points: symbolic links and junctions alike).
//
// Every function answers 0 or an errno value (Windows errors are mapped to the nearest one:
// ENOENT, EACCES, ENOSPC, EROFS, EEXIST, ELOOP, EIO); ErrorText gives its readable text.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace edi::platform {

std::string ErrorText(int error);

// True when the last part of the name is a link (whatever it points to, or nothing).
bool IsLink(const std::filesystem::path& path);

// Makes a new empty file with a hidden unique name in the target's own folder
// (".NAME.tmp-XXXXXX"), readable and writable as a plainly created file would be.
int CreateTempBeside(const std::filesystem::path& target, std::filesystem::path& temp);

// Flushes the file's content to the disk.
int FlushToDisk(const std::filesystem::path& path);

// Renames `from` to `to` in one step, replacing a file at `to` (Windows: MoveFileExW with
// replace and write-through).
int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// The same, throwing std::filesystem::filesystem_error like std::filesystem::rename.
inline void RenameOrThrow(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int error = RenameOver(from, to))
    throw std::filesystem::filesystem_error("rename", from, to, std::error_code(error, std::generic_category()));
}

// A second name for an existing file.
int MakeHardLink(const std::filesystem::path& existing, const std::filesystem::path& link);

// std::fopen with a path that may hold any character (Windows: _wfopen).
std::FILE* OpenStream(const std::filesystem::path& path, const char* mode);

// An existing file opened for writing from its start (truncated); closed by the destructor.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  int Open(const std::filesystem::path& path);
  int Write(const char* data, std::size_t size);  // every byte, or the error
  int Close();

 private:
  long long handle_ = -1;
};

// A file opened for reading; closed by the destructor.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  int Open(const std::filesystem::path& path);
  // Bytes read into the buffer, 0 at the end of the file, -1 with `error` set.
  long long Read(char* buffer, std::size_t size, int& error);

 private:
  long long handle_ = -1;
};

}  // namespace edi::platform
