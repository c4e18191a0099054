#include "xml/xml_output.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "platform/codec.h"

namespace edi::xml {

namespace {

// The code point of the UTF-8 sequence at text[pos] and its length; length 0 when the bytes
// are not a valid sequence.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t pos) {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  std::size_t len = 0;
  char32_t cp = 0;
  if (b0 < 0x80) return {b0, 1};
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    return {0, 0};
  }
  if (pos + len > text.size()) return {0, 0};
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if ((b & 0xC0) != 0x80) return {0, 0};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, len};
}

// The number of leading bytes below 0x80, eight at a time where it can.
std::size_t AsciiPrefix(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

// True when the text can go into element content as it is: ASCII without a character that
// EscapeText would change (& < > CR, and C0 controls other than tab and line feed).
bool PlainAsciiText(std::string_view text) {
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 || c == '&' || c == '<' || c == '>') return false;
    if (c < 0x20 && c != '\t' && c != '\n') return false;
  }
  return true;
}

std::optional<platform::Charset> TargetCharset(XmlEncoding encoding) {
  switch (encoding) {
    case XmlEncoding::ShiftJis: return platform::Charset::Cp932;
    case XmlEncoding::Utf16: return platform::Charset::Utf16Le;
    case XmlEncoding::Iso2022Jp: return platform::Charset::Iso2022Jp;
    case XmlEncoding::None: break;
  }
  return std::nullopt;
}

}  // namespace

XmlEncoding EncodingForCode(std::string_view xmlCharCode) {
  if (xmlCharCode == "M") return XmlEncoding::ShiftJis;
  if (xmlCharCode == "U") return XmlEncoding::Utf16;
  if (xmlCharCode == "S") return XmlEncoding::Iso2022Jp;
  return XmlEncoding::None;
}

std::string_view EncodingLabel(XmlEncoding encoding) {
  switch (encoding) {
    case XmlEncoding::ShiftJis: return "Shift_JIS";
    case XmlEncoding::Utf16: return "UTF-16";
    case XmlEncoding::Iso2022Jp: return "ISO-2022-JP";
    case XmlEncoding::None: break;
  }
  return "";
}

std::string EscapeText(std::string_view utf8, bool* replaced) {
  bool lost = false;
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;
        case '\t':
        case '\n': out += static_cast<char>(c); break;
        default:
          lost = lost || c < 0x20;
          out += c < 0x20 ? '?' : static_cast<char>(c);
      }
      ++i;
      continue;
    }
    auto [cp, len] = DecodeUtf8(utf8, i);
    if (len == 0) {  // not UTF-8 at all: keep the document readable
      out += '?';
      lost = true;
      ++i;
      continue;
    }
    if (cp == 0xFFFE || cp == 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += '?';
      lost = true;
    } else {
      lost = lost || cp == 0xFFFD;
      out.append(utf8.substr(i, len));
    }
    i += len;
  }
  if (replaced != nullptr) *replaced = lost;
  return out;
}

OutputEncoder::OutputEncoder(XmlEncoding encoding) : encoding_(encoding) {
  if (auto target = TargetCharset(encoding)) cd_ = std::make_unique<platform::Converter>(*target, platform::Charset::Utf8);
}

OutputEncoder::~OutputEncoder() = default;

// Converts ASCII text (a character reference or "?"), which every target can hold.
void OutputEncoder::Convert(std::string_view ascii, std::string& out) {
  char buffer[64];
  const char* in = ascii.data();
  std::size_t inLeft = ascii.size();
  char* o = buffer;
  std::size_t oLeft = sizeof buffer;
  cd_->Convert(in, inLeft, o, oLeft);
  out.append(buffer, static_cast<std::size_t>(o - buffer));
}

void OutputEncoder::Encode(std::string_view utf8, std::string& out, bool references) {
  if (encoding_ == XmlEncoding::None) {
    out.append(utf8);
    return;
  }
  if (encoding_ != XmlEncoding::ShiftJis) {
    ConvertRun(utf8, out, references);
    return;
  }
  // Shift_JIS holds ASCII as it is: markup, layout and most values are copied, and only the
  // runs with other characters go through the converter (a call costs far more than a byte copy).
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t end = pos + AsciiPrefix(utf8.substr(pos));
    out.append(utf8.data() + pos, end - pos);
    if (end == utf8.size()) break;
    pos = end;
    std::size_t stop = end;
    while (stop < utf8.size() && static_cast<unsigned char>(utf8[stop]) >= 0x80) ++stop;
    ConvertRun(utf8.substr(pos, stop - pos), out, references);
    pos = stop;
  }
}

void OutputEncoder::ConvertRun(std::string_view utf8, std::string& out, bool references) {
  // Convert the longest run that the converter takes; at a character it refuses, write the character
  // as a reference and go on after it.
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char buffer[4096];
    const char* in = utf8.data() + pos;
    std::size_t inLeft = utf8.size() - pos;
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    const platform::Converter::Status status = cd_->Convert(in, inLeft, o, oLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    pos = utf8.size() - inLeft;
    if (status == platform::Converter::Status::Done) break;
    if (status == platform::Converter::Status::Full) continue;
    auto [cp, len] = DecodeUtf8(utf8, pos);
    std::string replacement;
    if (len == 0) {
      replacement = "?";
      len = 1;
    } else if (references) {
      replacement = "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
    } else {
      replacement = "?";
    }
    Convert(replacement, out);
    pos += len;
  }
}

void OutputEncoder::Finish(std::string& out) {
  if (!cd_) return;
  char buffer[64];
  char* o = buffer;
  std::size_t oLeft = sizeof buffer;
  cd_->Finish(o, oLeft);
  out.append(buffer, static_cast<std::size_t>(o - buffer));
}

XmlStreamWriter::XmlStreamWriter(std::ostream& out, XmlEncoding encoding)
    : out_(out),
      encoder_(encoding),
      encoding_(encoding),
      asciiAsIs_(encoding == XmlEncoding::ShiftJis || encoding == XmlEncoding::None) {}

void XmlStreamWriter::Declaration() {
  if (encoding_ == XmlEncoding::None) return;
  if (encoding_ == XmlEncoding::Utf16) buffer_ += "\xFF\xFE";
  Put("<?xml version=\"1.0\" encoding=\"" + std::string(EncodingLabel(encoding_)) + "\"?>\r\n", false);
}

void XmlStreamWriter::StartElement(std::string_view name) {
  CloseStartTag();
  Put("<", false);
  Put(name, false);
  open_.emplace_back(name);
  startTagOpen_ = true;
}

void XmlStreamWriter::Attribute(std::string_view name, std::string_view value) {
  if (!startTagOpen_) return;
  std::string escaped;
  for (char c : EscapeText(value)) {
    if (c == '"') {
      escaped += "&quot;";
    } else if (c == '\t') {
      escaped += "&#9;";
    } else if (c == '\n') {
      escaped += "&#10;";
    } else {
      escaped += c;
    }
  }
  Put(" ", false);
  Put(name, false);
  Put("=\"", false);
  Put(escaped, true);
  Put("\"", false);
}

void XmlStreamWriter::EndElement() {
  if (open_.empty()) return;
  if (startTagOpen_) {
    Put("/>", false);
    startTagOpen_ = false;
  } else {
    Put("</", false);
    Put(open_.back(), false);
    Put(">", false);
  }
  open_.pop_back();
}

void XmlStreamWriter::CloseTo(std::size_t depth) {
  while (open_.size() > depth) EndElement();
}

bool XmlStreamWriter::Text(std::string_view utf8) {
  if (utf8.empty()) return true;
  CloseStartTag();
  if (PlainAsciiText(utf8)) {  // most values: nothing to escape, nothing to check
    Put(utf8, true);
    return true;
  }
  bool replaced = false;
  Put(EscapeText(utf8, &replaced), true);
  return !replaced;
}

bool XmlStreamWriter::TextElement(std::string_view name, std::string_view utf8) {
  // The usual data element: an ASCII name and value in an encoding that keeps ASCII as it
  // is go straight into the buffer, as the three calls would put them.
  if (asciiAsIs_ && !utf8.empty() && AsciiPrefix(name) == name.size() && PlainAsciiText(utf8)) {
    CloseStartTag();
    buffer_ += '<';
    buffer_ += name;
    buffer_ += '>';
    buffer_ += utf8;
    buffer_ += "</";
    buffer_ += name;
    buffer_ += '>';
    if (buffer_.size() >= 1 << 16) Flush();
    return true;
  }
  StartElement(name);
  const bool whole = Text(utf8);
  EndElement();
  return whole;
}

void XmlStreamWriter::Layout(std::string_view ascii) {
  CloseStartTag();
  Put(ascii, false);
}

void XmlStreamWriter::ProcessingInstruction(std::string_view target, std::string_view data) {
  CloseStartTag();
  std::string pi = "<?" + std::string(target);
  if (!data.empty()) pi += " " + std::string(data);
  pi += "?>";
  Put(pi, true);
}

bool XmlStreamWriter::Finish() {
  CloseTo(0);
  Put("\r\n", false);
  encoder_.Finish(buffer_);
  Flush();
  out_.flush();
  if (!out_) ok_ = false;
  return ok_;
}

void XmlStreamWriter::CloseStartTag() {
  if (startTagOpen_) {
    Put(">", false);
    startTagOpen_ = false;
  }
}

void XmlStreamWriter::Put(std::string_view utf8, bool references) {
  if (asciiAsIs_ && AsciiPrefix(utf8) == utf8.size()) buffer_ += utf8;
  else encoder_.Encode(utf8, buffer_, references);
  if (buffer_.size() >= 1 << 16) Flush();
}

void XmlStreamWriter::Flush() {
  if (!buffer_.empty()) {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (!out_) ok_ = false;
    buffer_.clear();
  }
}

}  // namespace edi::xml
