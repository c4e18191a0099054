// Streaming XML output in the encodings this system saves its documents in.
//
// The CII-to-XML conversion writes its document as it reads the CII file, so that memory
// stays flat however large the file is. This writer produces the bytes that saving the
// equivalent document tree would produce: a declaration line, elements, escaped text, and
// the layout text (CR LF and indentation) written as raw bytes, never as "&#13;".
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace edi::platform {
class Converter;
}

namespace edi::xml {

enum class XmlEncoding { None, ShiftJis, Utf16, Iso2022Jp };

// The encoding that a format's XML文字コード asks for: "M" Shift_JIS, "U" UTF-16,
// "S" ISO-2022-JP; any other value means no declaration, and the document is UTF-8.
XmlEncoding EncodingForCode(std::string_view xmlCharCode);
// The name written in the declaration ("" for None).
std::string_view EncodingLabel(XmlEncoding encoding);

// UTF-8 text to the bytes of the output encoding. Characters that the encoding cannot hold
// become decimal character references, so text stays complete and the document well-formed.
// ISO-2022-JP keeps its shift state across calls; Finish returns it to ASCII.
class OutputEncoder {
 public:
  explicit OutputEncoder(XmlEncoding encoding);
  ~OutputEncoder();
  OutputEncoder(const OutputEncoder&) = delete;
  OutputEncoder& operator=(const OutputEncoder&) = delete;

  // Appends the encoded text to out. `references` false is for markup (ASCII names),
  // where a character reference is not allowed; such a character becomes "?".
  void Encode(std::string_view utf8, std::string& out, bool references = true);
  void Finish(std::string& out);

 private:
  void Convert(std::string_view ascii, std::string& out);
  void ConvertRun(std::string_view utf8, std::string& out, bool references);
  XmlEncoding encoding_;
  std::unique_ptr<platform::Converter> cd_;  // none for UTF-8
};

// Writes one document to a stream. Elements close in reverse order of their start; an
// element without content is written in the empty form "<NAME/>".
class XmlStreamWriter {
 public:
  XmlStreamWriter(std::ostream& out, XmlEncoding encoding);

  // The declaration `<?xml version="1.0" encoding="…"?>` and CR LF (UTF-16 with its byte
  // order mark first); nothing when the encoding is None.
  void Declaration();
  void StartElement(std::string_view name);
  // Only directly after StartElement.
  void Attribute(std::string_view name, std::string_view value);
  void EndElement();
  // Closes open elements until `depth` remain.
  void CloseTo(std::size_t depth);
  // Element content, escaped. False when some character could not be written as it is
  // (see EscapeText): the document then holds "?" in its place.
  bool Text(std::string_view utf8);
  // StartElement, Text and EndElement in one: an element holding only text. Returns what
  // Text returns.
  bool TextElement(std::string_view name, std::string_view utf8);
  // Layout text (CR LF, spaces), written as it is.
  void Layout(std::string_view ascii);
  void ProcessingInstruction(std::string_view target, std::string_view data);
  // Closes every open element, ends the document with CR LF and flushes. False when a write
  // to the stream failed at any point.
  bool Finish();

  std::size_t depth() const { return open_.size(); }
  bool ok() const { return ok_; }

 private:
  void CloseStartTag();
  void Put(std::string_view utf8, bool references);
  void Flush();

  std::ostream& out_;
  OutputEncoder encoder_;
  XmlEncoding encoding_;
  std::vector<std::string> open_;
  bool asciiAsIs_;  // the encoding writes ASCII as it is (Shift_JIS, or UTF-8 without a declaration)
  bool startTagOpen_ = false;
  bool ok_ = true;
  std::string buffer_;
};

// Element text escaped for XML: & < > as entities, CR as "&#13;" (a raw CR would be read
// back as a line feed), and characters that XML 1.0 does not allow at all (C0 controls
// other than tab and line feed, U+FFFE, U+FFFF, bytes that are not UTF-8) as "?".
// `replaced`, when given, is set when such a "?" was written or the text holds U+FFFD (the
// mark of bytes that had no character to begin with): the text did not come through whole.
std::string EscapeText(std::string_view utf8, bool* replaced = nullptr);

}  // namespace edi::xml
