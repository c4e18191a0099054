// Reading the bytes of a CII file across block boundaries. The reader counts the data bytes
// left in the current block; at a boundary it drops the next block's lead digit.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cii/format.h"

namespace edi::cii {

class TranslationLog;

// The reader takes the stream's bytes in large chunks: the stream belongs to it (its position
// runs ahead of what has been read through the reader).
class CiiBlockReader {
 public:
  CiiBlockReader(std::istream& in, TranslationLog& log) : in_(in), log_(log), buffer_(kChunk) {}

  // The storage mode byte of the current group's header ("M", space or "S").
  void SetStorageMode(char mode) { storageMode_ = mode; }
  // Data bytes left in the current block (set after a message prefix: block size − prefix).
  void SetBytesLeft(long long n) { bytesLeft_ = n; }
  long long bytesLeft() const { return bytesLeft_; }

  // Raw reads, ignoring blocks. false when the file ended first (out holds what was read).
  bool ReadBytes(std::string& out, std::size_t count);
  std::optional<unsigned char> ReadRawByte();

  // The next data byte; at a block boundary the next block's lead byte is dropped first.
  // nullopt at the end of the file.
  std::optional<unsigned char> ReadCiiByte() {
    if (bytesLeft_ > 0 && pos_ < end_) {  // the usual case: inside a block and the buffer
      --bytesLeft_;
      return static_cast<unsigned char>(buffer_[pos_++]);
    }
    return ReadCiiByteAcross();
  }
  // count data bytes across block boundaries. false when the file ended first.
  bool ReadCiiBytes(std::string& out, std::size_t count);
  // count data bytes as a view: into the reader's buffer when they lie within the block and
  // the buffer (valid until the next read), else copied into `spill`. false when the file
  // ended first.
  bool ReadCiiView(std::string_view& view, std::string& spill, std::size_t count) {
    if (static_cast<long long>(count) <= bytesLeft_ && count <= available()) {
      view = std::string_view(buffer_.data() + pos_, count);
      pos_ += count;
      bytesLeft_ -= static_cast<long long>(count);
      return true;
    }
    if (!ReadCiiBytes(spill, count)) return false;
    view = spill;
    return true;
  }
  // A TFD length: one byte 0–239, or 0xF2 and two bytes. Each byte read lowers remaining.
  // Another lead byte logs code 0009 quietly and gives 0; the end of the file gives nullopt.
  std::optional<std::size_t> ReadCiiLength(long long& remaining) {
    if (bytesLeft_ > 0 && pos_ < end_) {  // the usual one-byte length inside a block
      const auto b = static_cast<unsigned char>(buffer_[pos_]);
      if (b <= kMaxOneByteLength) {
        ++pos_;
        --bytesLeft_;
        --remaining;
        return b;
      }
    }
    return ReadCiiLengthAcross(remaining);
  }
  // Drops the data bytes left in the current block (its padding). false at the end of file.
  bool SkipRestOfBlock();

  bool atEnd();

 private:
  static constexpr std::size_t kChunk = 1 << 16;
  std::optional<std::size_t> ReadCiiLengthAcross(long long& remaining);
  std::optional<unsigned char> ReadCiiByteAcross();
  long long DataBytesPerBlock() const;
  // Makes at least one byte available; false at the end of the file.
  bool Fill();
  std::size_t available() const { return end_ - pos_; }
  std::istream& in_;
  TranslationLog& log_;
  char storageMode_ = 'M';
  long long bytesLeft_ = 0;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0;
};

}  // namespace edi::cii
