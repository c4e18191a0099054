#include "cii/line_reader.h"

#include <cstring>

namespace edi::cii {

bool LineReader::Fill() {
  pos_ = 0;
  std::streamsize got = in_.rdbuf()->sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
  return end_ > 0;
}

LineReader::Result LineReader::Next(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      if (in_.bad()) return Result::Failed;
      if (!any) return Result::End;
      break;
    }
    any = true;
    const char* start = buffer_.data() + pos_;
    const std::size_t available = end_ - pos_;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
    const std::size_t take = lf ? static_cast<std::size_t>(lf - start) : available;
    if (line.size() + take > max_ + 1) return Result::TooLong;  // +1 leaves room for a CR before LF
    line.append(start, take);
    pos_ += take + (lf ? 1 : 0);
    if (lf) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > max_) return Result::TooLong;
  return Result::Line;
}

}  // namespace edi::cii
