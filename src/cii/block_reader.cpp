#include "cii/block_reader.h"

#include <algorithm>

#include "cii/codes.h"
#include "cii/format.h"
#include "cii/translation_log.h"

namespace edi::cii {

long long CiiBlockReader::DataBytesPerBlock() const {
  return storageMode_ == 'S' ? static_cast<long long>(kLargeBlock - 1) : static_cast<long long>(kSmallBlock - 1);
}

bool CiiBlockReader::Fill() {
  if (pos_ < end_) return true;
  pos_ = end_ = 0;
  std::streamsize got = in_.rdbuf()->sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  if (got > 0) end_ = static_cast<std::size_t>(got);
  return end_ > 0;
}

std::optional<unsigned char> CiiBlockReader::ReadRawByte() {
  if (!Fill()) return std::nullopt;
  return static_cast<unsigned char>(buffer_[pos_++]);
}

bool CiiBlockReader::ReadBytes(std::string& out, std::size_t count) {
  out.clear();
  while (out.size() < count && Fill()) {
    std::size_t take = std::min(count - out.size(), available());
    out.append(buffer_.data() + pos_, take);
    pos_ += take;
  }
  return out.size() == count;
}

bool CiiBlockReader::atEnd() { return !Fill(); }

std::optional<unsigned char> CiiBlockReader::ReadCiiByteAcross() {
  if (bytesLeft_ <= 0) {
    if (!ReadRawByte()) return std::nullopt;  // the next block's lead digit
    bytesLeft_ = DataBytesPerBlock();
  }
  auto b = ReadRawByte();
  if (b) --bytesLeft_;
  return b;
}

bool CiiBlockReader::ReadCiiBytes(std::string& out, std::size_t count) {
  if (static_cast<long long>(count) <= bytesLeft_ && count <= available()) {  // within the block and the buffer
    out.assign(buffer_.data() + pos_, count);
    pos_ += count;
    bytesLeft_ -= static_cast<long long>(count);
    return true;
  }
  out.clear();
  out.reserve(count);
  while (out.size() < count) {
    if (bytesLeft_ <= 0) {
      if (!ReadRawByte()) return false;
      bytesLeft_ = DataBytesPerBlock();
    }
    // The rest of the value or of the block, whichever ends first.
    std::size_t want = std::min<std::size_t>(count - out.size(), static_cast<std::size_t>(bytesLeft_));
    while (want > 0) {
      if (!Fill()) return false;
      std::size_t take = std::min(want, available());
      out.append(buffer_.data() + pos_, take);
      pos_ += take;
      want -= take;
      bytesLeft_ -= static_cast<long long>(take);
    }
  }
  return true;
}

std::optional<std::size_t> CiiBlockReader::ReadCiiLengthAcross(long long& remaining) {
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
  bool ok = true;
  while (bytesLeft_ > 0) {
    if (!Fill()) {
      ok = false;
      break;
    }
    std::size_t take = std::min(available(), static_cast<std::size_t>(bytesLeft_));
    pos_ += take;
    bytesLeft_ -= static_cast<long long>(take);
  }
  bytesLeft_ = 0;
  return ok;
}

}  // namespace edi::cii
