#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace edi::platform {

std::string ErrorText(int error) { return std::strerror(error); }

bool IsLink(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int CreateTempBeside(const std::filesystem::path& target, std::filesystem::path& temp) {
  // A hidden name in the same folder: the rename stays within one file system.
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return errno;
  // Read and write for whoever the umask allows, as a plainly created file would be.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  temp = name.data();
  return 0;
}

int FlushToDisk(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    return err;
  }
  if (::close(fd) != 0) return errno;
  return 0;
}

int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int MakeHardLink(const std::filesystem::path& existing, const std::filesystem::path& link) {
  return ::link(existing.c_str(), link.c_str()) == 0 ? 0 : errno;
}

std::FILE* OpenStream(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

OutputFile::~OutputFile() { Close(); }

int OutputFile::Open(const std::filesystem::path& path) {
  Close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return errno;
  handle_ = fd;
  return 0;
}

int OutputFile::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle_), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int OutputFile::Close() {
  if (handle_ < 0) return 0;
  const int rc = ::close(static_cast<int>(handle_));
  handle_ = -1;
  return rc == 0 ? 0 : errno;
}

InputFile::~InputFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

int InputFile::Open(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  handle_ = fd;
  return 0;
}

long long InputFile::Read(char* buffer, std::size_t size, int& error) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    return n;
  }
}

}  // namespace edi::platform
