#include "app/text.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <regex>
#include <system_error>

#include "platform/clock.h"
#include "platform/codec.h"

namespace edi {
namespace {

// One conversion, with a replacement for what the target cannot take or the source does not
// hold. `utf8Input` tells how many input bytes to drop at a bad sequence.
using platform::Charset;
using platform::Converter;

std::string Convert(Converter& cd, std::string_view input, std::string_view replacement, bool utf8Input) {
  cd.Reset();  // the initial shift state
  std::string out;
  out.reserve(input.size() * 2 + 4);
  const char* in = input.data();
  size_t inLeft = input.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const Converter::Status status = cd.Convert(in, inLeft, outPtr, outLeft);
    out.append(buffer, outPtr - buffer);
    if (status == Converter::Status::Done || status == Converter::Status::Full) continue;
    // Invalid (not convertible) or Incomplete (an incomplete sequence at the end): replace
    // one character of the input and go on.
    size_t skip = 1;
    if (utf8Input) {
      unsigned char c = static_cast<unsigned char>(*in);
      skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (skip > inLeft) skip = inLeft;
    }
    in += skip;
    inLeft -= skip;
    out.append(replacement);
  }
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  cd.Finish(outPtr, outLeft);
  out.append(buffer, outPtr - buffer);
  return out;
}

std::string Convert(Charset to, Charset from, std::string_view input, std::string_view replacement, bool utf8Input) {
  Converter cd(to, from);
  return Convert(cd, input, replacement, utf8Input);
}

bool AllAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

std::string TrimAtNul(std::string_view text) {
  auto pos = text.find('\0');
  if (pos == std::string_view::npos) return {};
  return std::string(text.substr(0, pos));
}

std::string ToAnsiBytes(std::string_view utf8) {
  if (AllAscii(utf8)) return std::string(utf8);
  return Convert(Charset::Cp932, Charset::Utf8, utf8, "?", true);
}

std::string FromAnsiBytes(std::string_view bytes) {
  if (AllAscii(bytes)) return std::string(bytes);
  return Convert(Charset::Utf8, Charset::Cp932, bytes, "\xEF\xBF\xBD", false);
}

bool IsValidAnsiBytes(std::string_view bytes) {
  if (AllAscii(bytes)) return true;
  return FromAnsiBytes(bytes).find("\xEF\xBF\xBD") == std::string::npos;
}

bool IsAnsiRepresentable(std::string_view utf8) {
  if (AllAscii(utf8)) return true;
  return FromAnsiBytes(ToAnsiBytes(utf8)) == utf8;
}

AnsiCodec::AnsiCodec()
    : toAnsi_(std::make_unique<Converter>(Charset::Cp932, Charset::Utf8)),
      fromAnsi_(std::make_unique<Converter>(Charset::Utf8, Charset::Cp932)) {}

AnsiCodec::~AnsiCodec() = default;

std::string AnsiCodec::ToAnsi(std::string_view utf8) {
  if (AllAscii(utf8)) return std::string(utf8);
  return Convert(*toAnsi_, utf8, "?", true);
}

std::string AnsiCodec::FromAnsi(std::string_view bytes) {
  if (AllAscii(bytes)) return std::string(bytes);
  return Convert(*fromAnsi_, bytes, "\xEF\xBF\xBD", false);
}

bool AnsiCodec::Representable(std::string_view utf8) {
  if (AllAscii(utf8)) return true;
  return FromAnsi(ToAnsi(utf8)) == utf8;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

int Utf8Length(std::string_view utf8) {
  int n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

int AnsiByteLength(std::string_view utf8) {
  if (IsAnsiRepresentable(utf8)) return static_cast<int>(ToAnsiBytes(utf8).size());
  return 2 * Utf8Length(utf8);
}

std::string TrimSpaces(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

std::string TrimRightSpaces(std::string_view text) {
  size_t e = text.find_last_not_of(' ');
  if (e == std::string_view::npos) return {};
  return std::string(text.substr(0, e + 1));
}

std::string TrimOrDefault(const std::optional<std::string>& value, std::string_view fallback) {
  if (!value) return std::string(fallback);
  return TrimSpaces(*value);
}

std::string ValueOrDefault(const std::optional<std::string>& value, std::string_view fallback) {
  if (!value) return std::string(fallback);
  return *value;
}

bool MatchesPattern(const std::string& pattern, const std::string& text) {
  try {
    std::regex re(pattern, std::regex::ECMAScript | std::regex::icase);
    return std::regex_search(text, re);
  } catch (const std::regex_error&) {
    return false;
  }
}

std::string PadCenterCode(std::string_view centerCode) {
  std::string s(centerCode);
  int chars = Utf8Length(s);
  if (chars < 12) s.append(12 - chars, ' ');
  for (char& c : s)
    if (c == ' ') c = '_';
  return s;
}

std::string CenterField12(std::string_view centerCode) {
  std::string s(centerCode);
  s.append(12, '_');
  // Cut to 12 characters, not bytes: a multi-byte character is never split.
  int chars = 0;
  size_t i = 0;
  for (; i < s.size() && chars < 12; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++chars;
    if (chars == 12) {
      ++i;
      while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
      break;
    }
  }
  return s.substr(0, i);
}

bool IsSafeCenterCode(std::string_view centerCode) {
  if (Utf8Length(centerCode) > 12) return false;
  if (centerCode.find('/') != std::string_view::npos || centerCode.find('\\') != std::string_view::npos)
    return false;
  if (centerCode.find("..") != std::string_view::npos) return false;
  if (centerCode.find('\0') != std::string_view::npos) return false;
  return true;
}

std::string SerialField(long long serial) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08lld", serial);
  return buf;
}

int MoveFile(const std::filesystem::path& source, const std::filesystem::path& target) {
  std::error_code ec;
  auto status = std::filesystem::status(source, ec);
  if (ec || !std::filesystem::exists(status)) return 1;
  if (!std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, ec) || ec)
    return 9;
  if (!std::filesystem::remove(source, ec) || ec) return 9;
  return 0;
}

namespace {
std::tm LocalNow() {
  return platform::LocalTime(std::time(nullptr));
}
}  // namespace

std::string TodayYmd() {
  std::tm tm = LocalNow();
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y/%m/%d", &tm);
  return buf;
}

std::string NowHms() {
  std::tm tm = LocalNow();
  char buf[16];
  std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
  return buf;
}

}  // namespace edi
