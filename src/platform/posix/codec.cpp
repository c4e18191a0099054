// The converters over glibc's iconv. "CP932", never "SHIFT_JIS": glibc's SHIFT_JIS table
// turns 0x5C and 0x7E into the yen sign and the overline and lacks the NEC and IBM rows.
#include "platform/codec.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace edi::platform {

namespace {
const char* IconvName(Charset c) {
  switch (c) {
    case Charset::Utf8: return "UTF-8";
    case Charset::Cp932: return "CP932";
    case Charset::Utf16Le: return "UTF-16LE";
    case Charset::Iso2022Jp: return "ISO-2022-JP";
  }
  return "UTF-8";
}
}  // namespace

struct Converter::State {
  iconv_t cd;
};

Converter::Converter(Charset to, Charset from) {
  iconv_t cd = iconv_open(IconvName(to), IconvName(from));
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw std::runtime_error(std::string("iconv cannot convert to ") + IconvName(to) + " from " + IconvName(from));
  state_ = std::make_unique<State>(State{cd});
}

Converter::~Converter() { iconv_close(state_->cd); }

Converter::Status Converter::Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
  char* src = const_cast<char*>(in);
  const std::size_t rc = iconv(state_->cd, &src, &inLeft, &out, &outLeft);
  in = src;
  if (rc != static_cast<std::size_t>(-1)) return Status::Done;
  if (errno == E2BIG) return Status::Full;
  if (errno == EINVAL) return Status::Incomplete;
  return Status::Invalid;
}

void Converter::Finish(char*& out, std::size_t& outLeft) { iconv(state_->cd, nullptr, nullptr, &out, &outLeft); }

void Converter::Reset() { iconv(state_->cd, nullptr, nullptr, nullptr, nullptr); }

}  // namespace edi::platform
