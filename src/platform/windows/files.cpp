// Whole-file writes on Windows: the temporary file is made with CREATE_NEW under a random
// name, flushed with FlushFileBuffers, and put in place with MoveFileExW (replace an existing
// file, return only once the move is on the disk). A reparse point at a name (a symbolic link
// or a junction) counts as a link and is never written through.
#include "platform/files.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

#include "platform/windows/win_text.h"

namespace edi::platform {
namespace {

int LastErrno() { return windows::ErrnoOf(GetLastError()); }

HANDLE AsHandle(long long h) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(h)); }
long long FromHandle(HANDLE h) { return static_cast<long long>(reinterpret_cast<intptr_t>(h)); }

}  // namespace

std::string ErrorText(int error) { return std::strerror(error); }

bool IsLink(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

int CreateTempBeside(const std::filesystem::path& target, std::filesystem::path& temp) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring suffix;
    for (int i = 0; i < 6; ++i) suffix += static_cast<wchar_t>(kLetters[random() % (sizeof kLetters - 1)]);
    const std::filesystem::path name =
        target.parent_path() / (L"." + target.filename().wstring() + L".tmp-" + suffix);
    HANDLE h = CreateFileW(name.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return windows::ErrnoOf(error);
    }
    CloseHandle(h);
    temp = name;
    return 0;
  }
  return EEXIST;
}

int FlushToDisk(const std::filesystem::path& path) {
  HANDLE h = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastErrno();
  const int error = FlushFileBuffers(h) ? 0 : LastErrno();
  CloseHandle(h);
  return error;
}

int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  return LastErrno();
}

int MakeHardLink(const std::filesystem::path& existing, const std::filesystem::path& link) {
  if (CreateHardLinkW(link.wstring().c_str(), existing.wstring().c_str(), nullptr)) return 0;
  return LastErrno();
}

std::FILE* OpenStream(const std::filesystem::path& path, const char* mode) {
  return _wfopen(path.wstring().c_str(), windows::Wide(mode).c_str());
}

OutputFile::~OutputFile() { Close(); }

int OutputFile::Open(const std::filesystem::path& path) {
  Close();
  HANDLE h = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastErrno();
  handle_ = FromHandle(h);
  return 0;
}

int OutputFile::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), data, chunk, &written, nullptr)) return LastErrno();
    data += written;
    size -= written;
  }
  return 0;
}

int OutputFile::Close() {
  if (handle_ < 0) return 0;
  const BOOL ok = CloseHandle(AsHandle(handle_));
  handle_ = -1;
  return ok ? 0 : LastErrno();
}

InputFile::~InputFile() {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
}

int InputFile::Open(const std::filesystem::path& path) {
  HANDLE h = CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastErrno();
  handle_ = FromHandle(h);
  return 0;
}

long long InputFile::Read(char* buffer, std::size_t size, int& error) {
  DWORD read = 0;
  const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!ReadFile(AsHandle(handle_), buffer, chunk, &read, nullptr)) {
    error = LastErrno();
    return -1;
  }
  return read;
}

}  // namespace edi::platform
