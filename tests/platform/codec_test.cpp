// The CP932 converter gives the same bytes in every build: the characters whose mapping differs
// between CP932 tables (backslash and yen, tilde and overline, the wave dash, the minus signs,
// the NEC and IBM extension rows) one by one, then the whole table against a fingerprint
// taken from glibc's "CP932".
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/text.h"
#include "platform/codec.h"

namespace edi::platform {
namespace {

// The converted bytes, or "!" followed by the status when the converter stopped early.
std::string ConvertOne(Converter& cd, const std::string& input) {
  cd.Reset();
  const char* in = input.data();
  std::size_t inLeft = input.size();
  char buffer[16];
  char* out = buffer;
  std::size_t outLeft = sizeof buffer;
  const Converter::Status status = cd.Convert(in, inLeft, out, outLeft);
  cd.Finish(out, outLeft);
  if (status != Converter::Status::Done) return "!" + std::to_string(static_cast<int>(status));
  return std::string(buffer, static_cast<std::size_t>(out - buffer));
}

std::string Utf8(char32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | cp >> 6);
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xE0 | cp >> 12);
    s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

TEST(Cp932, TheCharactersWhereTablesDifferMapAsGlibcDoes) {
  Converter encode(Charset::Cp932, Charset::Utf8), decode(Charset::Utf8, Charset::Cp932);
  struct Case {
    char32_t cp;
    const char* bytes;  // what the character is written as; "" when CP932 cannot hold it
  };
  const Case written[] = {
      {0x5C, "\x5C"},        {0xA5, "\x5C"},         {0x7E, "\x7E"},         {0x203E, "\x7E"},
      {0xFF5E, "\x81\x60"},  {0x301C, "\x81\x60"},   {0xFF0D, "\x81\x7C"},   {0x2212, "\x81\x7C"},
      {0x2015, "\x81\x5C"},  {0x2014, "\x81\x5C"},   {0x2225, "\x81\x61"},   {0x2016, "\x81\x61"},
      {0xFFE0, "\x81\x91"},  {0xA2, "\x81\x91"},     {0xFFE1, "\x81\x92"},   {0xA3, "\x81\x92"},
      {0xFFE2, "\x81\xCA"},  {0xAC, "\x81\xCA"},     {0x2252, "\x81\xE0"},   {0x2235, "\x81\xE6"},
      {0x2460, "\x87\x40"},  {0x2160, "\x87\x54"},   {0x2170, "\xFA\x40"},   {0x7E8A, "\xFA\x5C"},
      {0xFFE4, "\xFA\x55"},  {0xE000, "\xF0\x40"},   {0x30FB, "\x81\x45"},   {0x80, ""},
      {0xA6, ""},            {0xB7, ""},             {0xF8F0, ""},
  };
  for (const auto& c : written) {
    const std::string expected = *c.bytes ? c.bytes : "!2";
    EXPECT_EQ(ConvertOne(encode, Utf8(c.cp)), expected) << std::hex << "U+" << static_cast<unsigned>(c.cp);
  }
  struct Read {
    const char* bytes;
    char32_t cp;  // 0: not a character
  };
  const Read read[] = {
      {"\x5C", 0x5C},        {"\x7E", 0x7E},        {"\x81\x60", 0xFF5E},  {"\x81\x7C", 0xFF0D},
      {"\x81\x5C", 0x2015},  {"\x81\x61", 0x2225},  {"\x87\x40", 0x2460},  {"\x87\x90", 0x2252},
      {"\xED\x40", 0x7E8A},  {"\xEE\xF9", 0xFFE2},  {"\xFA\x40", 0x2170},  {"\xFA\x54", 0xFFE2},
      {"\xF0\x40", 0xE000},  {"\xF9\xFC", 0xE757},  {"\x80", 0},           {"\xA0", 0},
      {"\xFD", 0},           {"\xFE", 0},           {"\xFF", 0},           {"\x81\x20", 0},
      {"\x85\x40", 0},
  };
  for (const auto& r : read) {
    const std::string expected = r.cp ? Utf8(r.cp) : "!2";
    EXPECT_EQ(ConvertOne(decode, r.bytes), expected) << std::hex << static_cast<unsigned>(static_cast<unsigned char>(r.bytes[0]));
  }
  // A lead byte at the end is incomplete, not invalid; text helpers keep it as U+FFFD.
  EXPECT_EQ(ConvertOne(decode, "\x82"), "!3");
  EXPECT_EQ(FromAnsiBytes("A\x82"), "A\xEF\xBF\xBD");
  EXPECT_EQ(ToAnsiBytes("\xE3\x80\x9C\xE2\x88\x92\xC2\xA5"), "\x81\x60\x81\x7C\x5C");
}

// FNV-1a over every CP932 byte pair read and every BMP character written.
std::uint64_t TableFingerprint() {
  Converter encode(Charset::Cp932, Charset::Utf8), decode(Charset::Utf8, Charset::Cp932);
  std::uint64_t hash = 1469598103934665603ull;
  auto add = [&hash](const std::string& s) {
    for (unsigned char c : s + "|") {
      hash ^= c;
      hash *= 1099511628211ull;
    }
  };
  for (int b = 0; b < 256; ++b) add(ConvertOne(decode, std::string(1, static_cast<char>(b))));
  for (int lead = 0x81; lead <= 0xFC; ++lead)
    for (int trail = 0; trail < 256; ++trail)
      add(ConvertOne(decode, std::string{static_cast<char>(lead), static_cast<char>(trail)}));
  for (char32_t cp = 0; cp < 0x10000; ++cp)
    if (cp < 0xD800 || cp > 0xDFFF) add(ConvertOne(encode, Utf8(cp)));
  return hash;
}

TEST(Cp932, TheWholeTableIsGlibcsByteForByte) {
  EXPECT_EQ(TableFingerprint(), 0x99b89c4aafe32161ull);
}

}  // namespace
}  // namespace edi::platform
