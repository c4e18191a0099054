#include "app/whole_file.h"

#include <cerrno>
#include <vector>

#include "app/catalogue.h"
#include "platform/files.h"

namespace edi {
namespace {

FileWriteFault Fault(const std::filesystem::path& path, int err) {
  return FileWriteFault{path.string() + ": " + platform::ErrorText(err), false, err};
}

FileWriteFault LinkFault(const std::filesystem::path& path) {
  return FileWriteFault{TrArgs("{1}: シンボリックリンクなので書き込みません", {path.string()}), true, ELOOP};
}

}  // namespace

bool IsSymbolicLink(const std::filesystem::path& path) { return platform::IsLink(path); }

WholeFileWrite::WholeFileWrite(std::filesystem::path target) : target_(std::move(target)) {}

WholeFileWrite::~WholeFileWrite() { Discard(); }

std::optional<FileWriteFault> WholeFileWrite::Open() {
  Discard();
  if (IsSymbolicLink(target_)) return LinkFault(target_);
  // A hidden name in the same folder: the rename stays within one file system, and the
  // name matches none of the run's listings (they look for names that begin with the serial).
  if (const int err = platform::CreateTempBeside(target_, temp_)) return Fault(target_, err);
  return std::nullopt;
}

std::optional<FileWriteFault> WholeFileWrite::Commit() {
  if (temp_.empty()) return Fault(target_, EBADF);
  if (const int err = platform::FlushToDisk(temp_)) {
    Discard();
    return Fault(target_, err);
  }
  // A link put at the name while the file was written is not replaced either.
  if (IsSymbolicLink(target_)) {
    Discard();
    return LinkFault(target_);
  }
  if (const int err = platform::RenameOver(temp_, target_)) {
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
// the open file; it answers with a fault or nothing), and the file is closed and put in place.
template <typename Fill>
std::optional<FileWriteFault> WriteThrough(const std::filesystem::path& target, Fill fill) {
  WholeFileWrite file(target);
  if (auto fault = file.Open()) return fault;
  platform::OutputFile out;
  if (const int err = out.Open(file.temp())) return Fault(target, err);
  const std::optional<FileWriteFault> fault = fill(out);
  out.Close();
  if (fault) return fault;
  return file.Commit();
}

}  // namespace

std::optional<FileWriteFault> WriteFileWhole(const std::filesystem::path& target, std::string_view bytes) {
  return WriteThrough(target, [&](platform::OutputFile& out) -> std::optional<FileWriteFault> {
    if (const int err = out.Write(bytes.data(), bytes.size())) return Fault(target, err);
    return std::nullopt;
  });
}

std::optional<FileWriteFault> CopyFileWhole(const std::filesystem::path& source, const std::filesystem::path& target) {
  platform::InputFile in;
  if (const int err = in.Open(source)) return Fault(source, err);
  return WriteThrough(target, [&](platform::OutputFile& out) -> std::optional<FileWriteFault> {
    std::vector<char> buffer(1 << 16);
    for (;;) {
      int err = 0;
      const long long n = in.Read(buffer.data(), buffer.size(), err);
      if (n < 0) return Fault(source, err);
      if (n == 0) return std::nullopt;
      if (const int werr = out.Write(buffer.data(), static_cast<std::size_t>(n))) return Fault(target, werr);
    }
  });
}

}  // namespace edi
