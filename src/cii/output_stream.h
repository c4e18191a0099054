// The file stream a translation writes its result through: its buffer is large, so that the
// many small writes of a file (the 251-byte blocks of messages) reach the system in a few large
// ones (the stream's own buffer of a few KB costs one system call every few messages, which on
// a large file is a good part of the whole translation's time). A single write of 1 KB or more
// goes past any stream buffer straight to the file, so a writer of long pieces (CII→local's
// lines) gathers them itself, kOutputChunkBytes at a time.
#pragma once

#include <cstddef>
#include <fstream>
#include <vector>

namespace edi::cii {

constexpr std::size_t kOutputChunkBytes = 256 * 1024;

namespace detail {
// Holds the buffer; a base class before the stream, so that it is made before the stream and
// given back only after the stream has written out what it holds and closed the file.
struct OutputBufferHolder {
  std::vector<char> bytes = std::vector<char>(kOutputChunkBytes);
};
}  // namespace detail

class OutputFileStream : private detail::OutputBufferHolder, public std::ofstream {
 public:
  OutputFileStream() { rdbuf()->pubsetbuf(bytes.data(), static_cast<std::streamsize>(bytes.size())); }
};

}  // namespace edi::cii
