// What the XML parser reads from a file: the document as it stands, or, for a document that
// declares Shift_JIS, decoded to UTF-8 here first (with its declaration naming UTF-8).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/cp932_decoder.h"

namespace edi::xml {

// Where the XML declaration at the start of a document names its encoding: the offsets of
// the name between its quotes. False when the document does not start with a declaration
// that names one (the parser then reads the declaration, or its absence, itself).
bool FindDeclaredEncoding(std::string_view head, std::size_t& from, std::size_t& to);

// "Shift_JIS" or "CP932", in any case.
bool IsShiftJisName(std::string_view name);

// What the parser reads from a file. A document that declares Shift_JIS is handed over as
// UTF-8, decoded here with the same mapping the parser's converter has (CP932), with its
// declaration naming UTF-8 instead: decoding markup byte by byte through a converter is
// the largest single cost of reading such a document. Any other document is handed over
// as it stands.
class FileFeed {
 public:
  explicit FileFeed(std::FILE* file) : file_(file) {}

  // The next bytes for the parser (0: the end): -1 on a read error or on bytes that are not
  // Shift_JIS.
  int Read(char* buffer, int len) {
    if (!started_ && !Start()) return -1;
    while (pos_ == end_) {
      if (!decoding_) {
        // Handed over as it stands, straight from the file.
        const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(len), file_);
        if (n == 0 && std::ferror(file_)) return Fail(false);
        bytesRead_ += n;
        return static_cast<int>(n);
      }
      if (failAfterOut_) return Fail(true);
      if (atEnd_) return 0;
      if (!Refill()) return -1;
    }
    const std::size_t n = std::min(end_ - pos_, static_cast<std::size_t>(len));
    std::memcpy(buffer, out_.data() + pos_, n);
    pos_ += n;
    if (!decoding_) bytesRead_ += n;
    return static_cast<int>(n);
  }

  std::size_t bytesRead() const { return bytesRead_; }  // of the file, taken by the parser
  bool readError() const { return readError_; }
  bool badBytes() const { return badBytes_; }

 private:
  static constexpr std::size_t kChunk = 1 << 15;

  // Reads the first chunk and decides how the document is handed over.
  bool Start() {
    started_ = true;
    raw_.resize(kChunk + 1);
    const std::size_t n = std::fread(raw_.data(), 1, kChunk, file_);
    if (n == 0 && std::ferror(file_)) {
      Fail(false);
      return false;
    }
    std::size_t from = 0, to = 0;
    const std::string_view head(raw_.data(), n);
    decoding_ = FindDeclaredEncoding(head, from, to) && IsShiftJisName(head.substr(from, to - from));
    if (!decoding_) {
      out_.assign(raw_.begin(), raw_.begin() + static_cast<std::ptrdiff_t>(n));
      pos_ = 0;
      end_ = n;
      return true;
    }
    // The declaration is ASCII: it is copied with UTF-8 as its encoding, the rest decoded.
    out_.resize(3 * (kChunk + 1) + 8);
    std::memcpy(out_.data(), raw_.data(), from);
    std::memcpy(out_.data() + from, "UTF-8", 5);
    pos_ = 0;
    end_ = from + 5;
    std::memmove(raw_.data(), raw_.data() + to, n - to);
    kept_ = n - to;
    bytesRead_ = n;
    Decode();
    return true;
  }

  // Decodes the next chunk of the file after what is kept from the last one.
  bool Refill() {
    pos_ = end_ = 0;
    const std::size_t n = std::fread(raw_.data() + kept_, 1, kChunk, file_);
    if (n == 0 && std::ferror(file_)) {
      Fail(false);
      return false;
    }
    bytesRead_ += n;
    kept_ += n;
    atEnd_ = n == 0;
    Decode();
    return true;
  }

  // Decodes raw_[0, kept_) into out_ after what it holds; a lead byte at the end waits for
  // the next chunk. Bytes that do not decode fail the read once what came before them is
  // handed over. A lead byte left at the very end is dropped, as the parser's converter
  // drops it (what lies after the root element is then still well-formed).
  void Decode() {
    std::size_t written = 0, consumed = 0;
    const Cp932Decoder::Result r = Cp932Decoder::Decode(raw_.data(), kept_, out_.data() + end_, written, consumed);
    end_ += written;
    std::memmove(raw_.data(), raw_.data() + consumed, kept_ - consumed);
    kept_ -= consumed;
    if (r == Cp932Decoder::Result::Invalid) failAfterOut_ = true;
  }

  // Marks the failure; -1, what the parser is told.
  int Fail(bool badBytes) {
    (badBytes ? badBytes_ : readError_) = true;
    return -1;
  }

  std::FILE* file_;
  bool started_ = false, decoding_ = false, atEnd_ = false;
  std::vector<char> raw_;  // file bytes not decoded yet (a lead byte waiting for its trail)
  std::size_t kept_ = 0;
  std::vector<char> out_;  // what the parser takes next: out_[pos_, end_)
  std::size_t pos_ = 0, end_ = 0;
  std::size_t bytesRead_ = 0;
  bool readError_ = false, badBytes_ = false, failAfterOut_ = false;
};

}  // namespace edi::xml
