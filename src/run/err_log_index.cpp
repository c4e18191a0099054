#include "run/err_log_index.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "app/text.h"
#include "cii/translation_log.h"

namespace edi::run {
namespace {

constexpr std::size_t kChunk = 1u << 20;
// A line's first bytes decide whether it starts a section: the marker and the serial come
// within them.
constexpr std::size_t kHeadBytes = 96;

// One log line for a person: CP932 as UTF-8, control bytes (NUL among them) as "?".
std::string Shown(std::string bytes, std::uint64_t fullLength, std::size_t kept) {
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  for (char& c : bytes)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) c = '?';
  std::string text = FromAnsiBytes(bytes);
  if (fullLength > kept) text += " …(" + std::to_string(fullLength) + " バイト)";
  return text;
}

}  // namespace

void ErrLogIndex::Add(std::uint64_t offset, std::string_view line) {
  // Only "<code>--" can begin a start or fault line: most lines are passed over at once.
  if (line.size() < 8 || line[4] != '-' || line[5] != '-') return;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const auto serial = cii::LogLineSerial(line);
  if (!serial) return;
  offsets_.push_back(offset);
  serials_.push_back(*serial >= 0 && *serial <= INT32_MAX ? static_cast<std::int32_t>(*serial) : -1);
}

void ErrLogIndex::Update() {
  struct stat st {};
  if (::stat(file_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    offsets_.clear();
    serials_.clear();
    indexed_ = 0;
    inode_ = 0;
    return;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (static_cast<std::uint64_t>(st.st_ino) != inode_ || size < indexed_) {
    offsets_.clear();
    serials_.clear();
    indexed_ = 0;
    inode_ = static_cast<std::uint64_t>(st.st_ino);
  }
  if (size == indexed_) return;
  std::ifstream in(file_, std::ios::binary);
  if (!in) return;
  in.seekg(static_cast<std::streamoff>(indexed_));
  std::vector<char> buffer(kChunk);
  std::uint64_t pos = indexed_, lineStart = indexed_;
  std::string head;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    const char* data = buffer.data();
    std::size_t at = 0;
    while (at < got) {
      const void* nl = std::memchr(data + at, '\n', got - at);
      const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - data) : got;
      if (!nl) {
        // A line that goes on in the next read: its first bytes are kept.
        if (head.size() < kHeadBytes) head.append(data + at, std::min(end - at, kHeadBytes - head.size()));
        break;
      }
      if (head.empty()) {
        // The usual case, a line within the buffer: looked at where it lies.
        Add(lineStart, std::string_view(data + at, std::min(end - at, kHeadBytes)));
      } else {
        if (head.size() < kHeadBytes) head.append(data + at, std::min(end - at, kHeadBytes - head.size()));
        Add(lineStart, head);
        head.clear();
      }
      lineStart = pos + end + 1;
      at = end + 1;
    }
    pos += got;
  }
  // An unfinished last line is read again next time, when its end may have come.
  indexed_ = lineStart;
}

ErrLogIndex::Lines ErrLogIndex::LinesOf(long long serial, const Limits& limits) const {
  Lines result;
  std::ifstream in(file_, std::ios::binary);
  if (!in) return result;
  std::uint64_t budget = limits.maxBytesRead;
  std::vector<char> buffer(64u << 10);
  std::string line;
  std::uint64_t lineLength = 0;
  char lastByte = 0;  // of the current line, so that its CR is not counted in its length
  bool stop = false;
  // A line is kept only while there is room; one more line than the room means "cut".
  auto finishLine = [&] {
    if (result.lines.size() >= limits.maxLines) {
      result.cut = stop = true;
      return;
    }
    if (lastByte == '\r' && lineLength > 0) --lineLength;
    result.lines.push_back(Shown(line, lineLength, limits.maxLineBytes));
    line.clear();
    lineLength = 0;
    lastByte = 0;
  };
  for (std::size_t i = 0; i < offsets_.size() && !stop; ++i) {
    if (serials_[i] != serial) continue;
    // The last section runs to the end of the file, unfinished line included.
    const std::uint64_t from = offsets_[i];
    const std::uint64_t to = i + 1 < offsets_.size() ? offsets_[i + 1] : UINT64_MAX;
    in.clear();
    in.seekg(static_cast<std::streamoff>(from));
    std::uint64_t pos = from;
    while (pos < to && !stop) {
      if (budget == 0) {
        result.cut = stop = true;
        break;
      }
      const std::uint64_t want = std::min<std::uint64_t>({buffer.size(), to - pos, budget});
      in.read(buffer.data(), static_cast<std::streamsize>(want));
      const std::size_t got = static_cast<std::size_t>(in.gcount());
      if (got == 0) break;
      budget -= got;
      pos += got;
      for (std::size_t at = 0; at < got && !stop;) {
        const void* nl = std::memchr(buffer.data() + at, '\n', got - at);
        const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - buffer.data()) : got;
        const std::size_t n = end - at;
        if (line.size() < limits.maxLineBytes)
          line.append(buffer.data() + at, std::min(n, limits.maxLineBytes - line.size()));
        lineLength += n;
        if (n > 0) lastByte = buffer[end - 1];
        if (!nl) break;
        finishLine();
        at = end + 1;
      }
    }
    if (!stop && lineLength > 0) finishLine();  // a last line without its end
  }
  return result;
}

}  // namespace edi::run
