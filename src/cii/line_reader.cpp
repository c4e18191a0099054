#include "cii/line_reader.h"

namespace edi::cii {

LineReader::Result LineReader::Next(std::string& line) {
  line.clear();
  std::streambuf* buf = in_.rdbuf();
  bool any = false;
  for (;;) {
    int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      if (in_.bad()) return Result::Failed;
      if (!any) return Result::End;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (line.size() >= max_ + 1) return Result::TooLong;  // +1 leaves room for a CR before LF
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > max_) return Result::TooLong;
  return Result::Line;
}

}  // namespace edi::cii
