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
  bool any = false, broken = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      if (in_.bad()) return Result::Failed;
      if (!any) return Result::End;
      break;
    }
    if (skipLf_) {  // the LF of a CR LF whose CR ended the last line
      skipLf_ = false;
      if (buffer_[pos_] == '\n') {
        ++pos_;
        continue;
      }
    }
    const char* start = buffer_.data() + pos_;
    const std::size_t available = end_ - pos_;
    // The first LF, then the first CR before it (both searches run at memchr's speed).
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
    const std::size_t limit = lf ? static_cast<std::size_t>(lf - start) : available;
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', limit));
    const std::size_t take = cr ? static_cast<std::size_t>(cr - start) : limit;
    const bool ended = take < available;
    if (ended || take > 0) any = true;
    if (line.size() + take > max_) return Result::TooLong;
    line.append(start, take);
    pos_ += take;
    if (ended) {
      broken = true;
      skipLf_ = buffer_[pos_] == '\r';
      ++pos_;
      break;
    }
  }
  // A Ctrl-Z as the very last byte of the file marks its end; it is not a line of its own.
  if (broken) return Result::Line;
  if (line.size() == 1 && line[0] == kEndOfFileMark && pos_ == end_ && !Fill()) {
    if (in_.bad()) return Result::Failed;
    return Result::End;
  }
  if (!line.empty() && line.back() == kEndOfFileMark && pos_ == end_ && !Fill()) line.pop_back();
  return Result::Line;
}

}  // namespace edi::cii
