#include "app/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "app/catalogue.h"

namespace edi {
namespace {

FileWriteFault Fault(const std::filesystem::path& path, int err) {
  return FileWriteFault{path.string() + ": " + std::strerror(err), false, err};
}

FileWriteFault LinkFault(const std::filesystem::path& path) {
  return FileWriteFault{TrArgs("{1}: シンボリックリンクなので書き込みません", {path.string()}), true, ELOOP};
}

// Writes every byte; false (errno set) when the disk refuses some.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool IsSymbolicLink(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

WholeFileWrite::WholeFileWrite(std::filesystem::path target) : target_(std::move(target)) {}

WholeFileWrite::~WholeFileWrite() { Discard(); }

std::optional<FileWriteFault> WholeFileWrite::Open() {
  Discard();
  if (IsSymbolicLink(target_)) return LinkFault(target_);
  // A hidden name in the same folder: the rename stays within one file system, and the
  // name matches none of the run's listings (they look for names that begin with the serial).
  std::string pattern = (target_.parent_path() / ("." + target_.filename().string() + ".tmp-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return Fault(target_, errno);
  // Read and write for whoever the umask allows, as a plainly created file would be.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  temp_ = name.data();
  return std::nullopt;
}

std::optional<FileWriteFault> WholeFileWrite::Commit() {
  if (temp_.empty()) return Fault(target_, EBADF);
  const int fd = ::open(temp_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    Discard();
    return Fault(target_, err);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    Discard();
    return Fault(target_, err);
  }
  // A link put at the name while the file was written is not replaced either.
  if (IsSymbolicLink(target_)) {
    Discard();
    return LinkFault(target_);
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    Discard();
    return Fault(target_, err);
  }
  // The folder itself is not flushed: after a power loss the name holds the earlier file or
  // the new one, each whole, which is all a collector needs (and a flush of the folder would
  // double the cost of every write).
  temp_.clear();
  return std::nullopt;
}

void WholeFileWrite::Discard() {
  if (temp_.empty()) return;
  std::error_code ec;
  std::filesystem::remove(temp_, ec);
  temp_.clear();
}

namespace {

// A whole-file write: the temporary file is opened for writing, `fill` writes into it (given
// its descriptor; it answers with a fault or nothing), and the file is closed and put in place.
template <typename Fill>
std::optional<FileWriteFault> WriteThrough(const std::filesystem::path& target, Fill fill) {
  WholeFileWrite file(target);
  if (auto fault = file.Open()) return fault;
  const int fd = ::open(file.temp().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return Fault(target, errno);
  const std::optional<FileWriteFault> fault = fill(fd);
  ::close(fd);
  if (fault) return fault;
  return file.Commit();
}

}  // namespace

std::optional<FileWriteFault> WriteFileWhole(const std::filesystem::path& target, std::string_view bytes) {
  return WriteThrough(target, [&](int fd) -> std::optional<FileWriteFault> {
    if (!WriteAll(fd, bytes.data(), bytes.size())) return Fault(target, errno);
    return std::nullopt;
  });
}

std::optional<FileWriteFault> CopyFileWhole(const std::filesystem::path& source, const std::filesystem::path& target) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fault(source, errno);
  std::optional<FileWriteFault> fault = WriteThrough(target, [&](int out) -> std::optional<FileWriteFault> {
    std::vector<char> buffer(1 << 16);
    for (;;) {
      const ssize_t n = ::read(in, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fault(source, errno);
      if (n == 0) return std::nullopt;
      if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) return Fault(target, errno);
    }
  });
  ::close(in);
  return fault;
}

}  // namespace edi
