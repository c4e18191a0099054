// Reading a text file one line at a time with a bound on the line length, so that a file
// without line ends cannot make the reader hold it whole.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace edi::cii {

class LineReader {
 public:
  enum class Result { Line, End, TooLong, Failed };
  // The reader takes the stream's bytes in large chunks: once it is used, the stream belongs
  // to it (its position runs ahead of the lines handed out).
  LineReader(std::istream& in, std::size_t maxBytes) : in_(in), max_(maxBytes), buffer_(kChunk) {}
  // The next line without its line end: CR LF, a lone LF or a lone CR (older exporters end
  // lines with CR alone). A last line without a line end counts. A Ctrl-Z as the very last
  // byte of the file is an end-of-file mark, not part of a line.
  Result Next(std::string& line);

  static constexpr char kEndOfFileMark = '\x1a';

 private:
  static constexpr std::size_t kChunk = 1 << 16;
  bool Fill();
  std::istream& in_;
  std::size_t max_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  bool skipLf_ = false;  // the last line ended with CR: an LF right after it belongs to that end
};

}  // namespace edi::cii
