// Text helpers shared by every subsystem.
//
// Text that is not file content is UTF-8 in std::string. File content and fixed-length
// fields are Shift_JIS bytes (Windows code page 932), also carried in std::string.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace edi {
namespace platform {
class Converter;
}

// The part before the first NUL character; an empty text when the text holds no NUL
// (the profile reader's buffers always hold one).
std::string TrimAtNul(std::string_view text);

// UTF-8 to CP932 bytes. A character that CP932 cannot hold becomes '?'.
std::string ToAnsiBytes(std::string_view utf8);
// CP932 bytes to UTF-8. A byte sequence that is not CP932 becomes U+FFFD; a lone lead
// byte at the end is kept as U+FFFD too, never dropped silently.
std::string FromAnsiBytes(std::string_view bytes);
// True when the bytes are valid CP932 throughout.
bool IsValidAnsiBytes(std::string_view bytes);
// True when the text survives the round trip to CP932 and back unchanged.
bool IsAnsiRepresentable(std::string_view utf8);
// Length in CP932 bytes; for a text that CP932 cannot represent, twice its number of characters.
int AnsiByteLength(std::string_view utf8);
// The two conversions above for a loop that makes many of them: the converters are opened
// once, not for every text. Same results as ToAnsiBytes and FromAnsiBytes.
class AnsiCodec {
 public:
  AnsiCodec();
  ~AnsiCodec();
  AnsiCodec(const AnsiCodec&) = delete;
  AnsiCodec& operator=(const AnsiCodec&) = delete;
  std::string ToAnsi(std::string_view utf8);
  std::string FromAnsi(std::string_view bytes);
  // True when the text survives the round trip to CP932 and back unchanged.
  bool Representable(std::string_view utf8);

 private:
  std::unique_ptr<platform::Converter> toAnsi_;    // UTF-8 to CP932
  std::unique_ptr<platform::Converter> fromAnsi_;  // CP932 to UTF-8
};
// Number of Unicode characters in a UTF-8 text.
int Utf8Length(std::string_view utf8);

// True for a text of one or more ASCII digits and nothing else.
bool AllDigits(std::string_view text);

// Leading and trailing spaces (ASCII space only) removed.
std::string TrimSpaces(std::string_view text);
std::string TrimRightSpaces(std::string_view text);

// Null-safe column reads.
std::string TrimOrDefault(const std::optional<std::string>& value, std::string_view fallback);
std::string ValueOrDefault(const std::optional<std::string>& value, std::string_view fallback);

// True when the text contains a match of the ECMAScript pattern, case-insensitively.
// A malformed pattern matches nothing.
bool MatchesPattern(const std::string& pattern, const std::string& text);

// The center code padded with spaces to 12 characters, then every space replaced by "_".
std::string PadCenterCode(std::string_view centerCode);
// The center code followed by "_" characters, cut to 12 characters (file-name field).
std::string CenterField12(std::string_view centerCode);
// True when a center code may be used to build file names: at most 12 characters,
// no path separator, no "..".
bool IsSafeCenterCode(std::string_view centerCode);

// The serial as 8 digits with leading zeros (more digits when the number needs them).
std::string SerialField(long long serial);

// Copies the source to the target, then deletes the source.
// 0 moved, 1 source not found (nothing created), 9 any other error.
int MoveFile(const std::filesystem::path& source, const std::filesystem::path& target);

// Current local date and time in the history and log forms.
std::string TodayYmd();          // "yyyy/mm/dd"
std::string NowHms();            // "hh:nn:ss"

}  // namespace edi
