#include "cii/block_reader.h"

#include "cii/codes.h"
#include "cii/format.h"
#include "cii/translation_log.h"

namespace edi::cii {

long long CiiBlockReader::DataBytesPerBlock() const {
  return storageMode_ == 'S' ? static_cast<long long>(kLargeBlock - 1) : static_cast<long long>(kSmallBlock - 1);
}

std::optional<unsigned char> CiiBlockReader::ReadRawByte() {
  int c = in_.get();
  if (c == std::char_traits<char>::eof()) return std::nullopt;
  return static_cast<unsigned char>(c);
}

bool CiiBlockReader::ReadBytes(std::string& out, std::size_t count) {
  out.resize(count);
  in_.read(out.data(), static_cast<std::streamsize>(count));
  std::size_t got = static_cast<std::size_t>(in_.gcount());
  out.resize(got);
  return got == count;
}

bool CiiBlockReader::atEnd() { return in_.peek() == std::char_traits<char>::eof(); }

std::optional<unsigned char> CiiBlockReader::ReadCiiByte() {
  if (bytesLeft_ <= 0) {
    if (!ReadRawByte()) return std::nullopt;  // the next block's lead digit
    bytesLeft_ = DataBytesPerBlock();
  }
  auto b = ReadRawByte();
  if (b) --bytesLeft_;
  return b;
}

bool CiiBlockReader::ReadCiiBytes(std::string& out, std::size_t count) {
  out.clear();
  out.reserve(count);
  std::string part;
  while (out.size() < count) {
    if (bytesLeft_ <= 0) {
      if (!ReadRawByte()) return false;
      bytesLeft_ = DataBytesPerBlock();
    }
    std::size_t take = std::min<std::size_t>(count - out.size(), static_cast<std::size_t>(bytesLeft_));
    bool complete = ReadBytes(part, take);
    out += part;
    bytesLeft_ -= static_cast<long long>(part.size());
    if (!complete) return false;
  }
  return true;
}

std::optional<std::size_t> CiiBlockReader::ReadCiiLength(long long& remaining) {
  auto b = ReadCiiByte();
  if (!b) return std::nullopt;
  --remaining;
  if (*b <= kMaxOneByteLength) return *b;
  if (*b == kLength16) {
    auto hi = ReadCiiByte();
    if (!hi) return std::nullopt;
    --remaining;
    auto lo = ReadCiiByte();
    if (!lo) return std::nullopt;
    --remaining;
    return static_cast<std::size_t>(*hi) * 256 + *lo;
  }
  log_.WriteTranslationLog(kCodeBadLengthByte, "", true);
  return 0;
}

bool CiiBlockReader::SkipRestOfBlock() {
  std::string dropped;
  bool ok = bytesLeft_ <= 0 || ReadBytes(dropped, static_cast<std::size_t>(bytesLeft_));
  bytesLeft_ = 0;
  return ok;
}

}  // namespace edi::cii
