#include "app/ini_file.h"

#include <fstream>
#include <sstream>

#include "app/text.h"

namespace edi {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool EqualsAsciiNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Cuts CP932 bytes to at most `limit` bytes without leaving half a double-byte character.
std::string CutBytes(const std::string& bytes, size_t limit) {
  if (bytes.size() <= limit) return bytes;
  size_t i = 0;
  while (i < limit) {
    size_t step = IsLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    if (i + step > limit) break;
    i += step;
  }
  return bytes.substr(0, i);
}

// Reads the file and calls `line` for every line of the first section whose name matches.
// Returns false when the file cannot be read.
// A file larger than any configuration (or endless, like a device) cannot be read: it is
// never held in memory beyond the bound.
template <typename F>
bool ForEachLineOfSection(const std::filesystem::path& path, const std::string& sectionUtf8, F line) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string content;
  char chunk[1 << 14];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    content.append(chunk, static_cast<std::size_t>(file.gcount()));
    if (content.size() > IniFile::kMaxBytes) return false;
  }
  std::istringstream in(std::move(content));
  const std::string section = ToAnsiBytes(sectionUtf8);
  std::string raw;
  bool inSection = false, done = false;
  while (!done && std::getline(in, raw)) {
    std::string text = Trim(raw);
    if (text.empty()) continue;
    if (text.front() == '[') {
      if (inSection) break;  // the first matching section ends here
      size_t close = text.find(']');
      std::string name = Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inSection = EqualsAsciiNoCase(name, section);
      continue;
    }
    if (!inSection || text.front() == ';') continue;
    done = !line(text);
  }
  return true;
}

}  // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

bool IniFile::exists() const {
  std::error_code ec;
  return std::filesystem::is_regular_file(path_, ec);
}

bool IniFile::refused() const {
  std::error_code ec;
  const auto status = std::filesystem::status(path_, ec);
  if (ec || !std::filesystem::exists(status)) return false;
  if (!std::filesystem::is_regular_file(status)) return true;
  const auto size = std::filesystem::file_size(path_, ec);
  return !ec && size > kMaxBytes;
}

std::string IniFile::Read(const std::string& section, const std::string& key, int bufferSize) const {
  if (bufferSize <= 1) return {};
  const std::string keyBytes = ToAnsiBytes(key);
  std::string value;
  bool found = false;
  ForEachLineOfSection(path_, section, [&](const std::string& text) {
    size_t eq = text.find('=');
    std::string name = Trim(text.substr(0, eq));
    if (!EqualsAsciiNoCase(name, keyBytes)) return true;
    value = eq == std::string::npos ? std::string() : Trim(text.substr(eq + 1));
    // A value in matching quotes arrives without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    found = true;
    return false;  // the first key wins
  });
  if (!found) return {};
  return FromAnsiBytes(CutBytes(value, static_cast<size_t>(bufferSize - 1)));
}

std::string IniFile::ReadSection(const std::string& section, int bufferSize) const {
  std::string bytes;
  ForEachLineOfSection(path_, section, [&](const std::string& text) {
    bytes += text;
    bytes += '\0';
    return true;
  });
  bytes += '\0';
  if (bufferSize < 2) return std::string(std::max(bufferSize, 0), '\0');
  if (bytes.size() > static_cast<size_t>(bufferSize)) {
    // Too long for the buffer: cut, and still end with two NULs.
    bytes = CutBytes(bytes, static_cast<size_t>(bufferSize - 2));
    bytes += std::string("\0\0", 2);
  }
  return FromAnsiBytes(bytes);
}

std::vector<std::string> IniFile::SplitSection(const std::string& sectionText) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < sectionText.size()) {
    size_t nul = sectionText.find('\0', start);
    if (nul == std::string::npos) nul = sectionText.size();
    if (nul == start) break;
    lines.push_back(sectionText.substr(start, nul - start));
    start = nul + 1;
  }
  return lines;
}

}  // namespace edi
