// Reading a text file one line at a time with a bound on the line length, so that a file
// without line ends cannot make the reader hold it whole.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

namespace edi::cii {

class LineReader {
 public:
  enum class Result { Line, End, TooLong, Failed };
  LineReader(std::istream& in, std::size_t maxBytes) : in_(in), max_(maxBytes) {}
  // The next line without its line end (LF or CR LF). A last line without a line end counts.
  Result Next(std::string& line);

 private:
  std::istream& in_;
  std::size_t max_;
};

}  // namespace edi::cii
