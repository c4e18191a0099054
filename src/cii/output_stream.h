// The file stream a translation writes its result through: its buffer is large, so that the
// messages, lines and blocks of a file reach the system in a few large writes (the stream's
// own buffer of a few KB costs one system call every few messages, which on a large file is
// a good part of the whole translation's time).
#pragma once

#include <cstddef>
#include <fstream>
#include <vector>

namespace edi::cii {

namespace detail {
// Holds the buffer; a base class before the stream, so that it is made before the stream and
// given back only after the stream has written out what it holds and closed the file.
struct OutputBufferHolder {
  static constexpr std::size_t kBytes = 256 * 1024;
  std::vector<char> bytes = std::vector<char>(kBytes);
};
}  // namespace detail

class OutputFileStream : private detail::OutputBufferHolder, public std::ofstream {
 public:
  OutputFileStream() { rdbuf()->pubsetbuf(bytes.data(), static_cast<std::streamsize>(bytes.size())); }
};

}  // namespace edi::cii
