#include "xml/cii_to_xml.h"

#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "app/text.h"
#include "cii/block_reader.h"
#include "cii/format.h"
#include "xml/element_values.h"
#include "xml/group_format.h"
#include "xml/xml_codes.h"
#include "platform/files.h"
#include "xml/xml_output.h"

namespace edi::xml {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string Spaces(long long n) { return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string(); }

// "JP" + the tag with at least five digits.
std::string DataElementName(long long tag) {
  std::string digits = std::to_string(tag);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  return "JP" + digits;
}

bool IsAsciiAlnum(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

// What follows "JPM" in the name of a group of extended mode: after 0xFA the group's
// one-character マルチ明細番号 when the byte is that character's code (as this system's writer
// puts it there), the number itself when the byte matched as a value; after 0xFD the number.
std::string GroupId(const cii::MultiDetailCode& code, bool byValue) {
  const int v = code.value;
  if (!code.twoByte && !byValue && ((v >= '0' && v <= '9') || (v >= 'A' && v <= 'Z')))
    return std::string(1, static_cast<char>(v));
  return std::to_string(v);
}

// One CII file being rendered as one document.
class CiiToXml {
 public:
  CiiToXml(cii::TranslationContext& ctx, std::istream& in, std::filesystem::path out)
      : ctx_(ctx), state_(ctx.state), reader_(in, ctx.log), out_(std::move(out)), partial_(PartialOutputPath(out_)) {}

  ~CiiToXml() { Discard(); }

  void Run();

 private:
  // Per open group of a message.
  struct Level {
    std::size_t position = 0;  // where the next item search of this level starts (0: first item)
    std::size_t groupIndex = 0;
    std::string repetitionName;
  };

  bool Stop(int code) {
    ctx_.log.WriteTranslationLog(code, "", false);
    return false;
  }
  bool ReadHeader();
  bool OpenDocument();
  bool ReadTrailer();
  bool ReadMessage(char lead);
  // Returns false when the file ended inside the message or a group start matched no group
  // item (unknownGroup_ is then set and the code logged).
  bool ConvertCiiMessageBody(std::size_t prefixLength);
  void Discard();

  // Layout and elements go to the document only while one is open.
  void Layout(const std::string& text) {
    if (writer_) writer_->Layout(text);
  }
  // CR LF and `spaces` spaces: the start of an element line, made once per indentation.
  const std::string& LineStart(long long spaces) {
    const std::size_t n = spaces > 0 ? static_cast<std::size_t>(spaces) : 0;
    if (lineStarts_.size() <= n) lineStarts_.resize(n + 1);
    if (lineStarts_[n].empty()) lineStarts_[n] = kCrLf + Spaces(spaces);
    return lineStarts_[n];
  }
  // The element name of the data item at `position` of the item table (tag `tag`), made once
  // per item while the table stays.
  const std::string& ElementName(std::size_t position, long long tag) {
    if (names_.size() <= position) names_.resize(position + 1);
    auto& [known, name] = names_[position];
    if (name.empty() || known != tag) {
      known = tag;
      name = DataElementName(tag);
    }
    return name;
  }

  cii::TranslationContext& ctx_;
  cii::TranslationState& state_;
  cii::CiiBlockReader reader_;
  std::filesystem::path out_;
  std::filesystem::path partial_;
  std::ofstream file_;
  std::optional<XmlStreamWriter> writer_;
  AnsiCodec codec_;
  std::vector<std::string> lineStarts_;
  std::vector<std::pair<long long, std::string>> names_;
  bool groupOpen_ = false;
  bool saved_ = false;
  bool unknownGroup_ = false;
  cii::StrayLeads stray_;
};

void CiiToXml::Discard() {
  writer_.reset();
  if (file_.is_open()) {
    file_.close();
    std::error_code ec;
    std::filesystem::remove(partial_, ec);
  }
}

void CiiToXml::Run() {
  std::string lead;
  while (true) {
    if (!reader_.ReadBytes(lead, 2)) {
      // A group whose trailer never came: the file was cut short.
      if (groupOpen_) Stop(cii::kCodeEndInBlock);
      return;
    }
    const cii::BlockLead kind = cii::ClassifyLead(lead);
    if (kind == cii::BlockLead::OtherZero || kind == cii::BlockLead::BadFirst || kind == cii::BlockLead::BadSecond) {
      if (stray_.NotCii(groupOpen_ || saved_)) {
        Stop(cii::kCodeNotCii);
        return;
      }
    } else {
      stray_.Block();
    }
    if (kind == cii::BlockLead::Header) {
      if (groupOpen_ || saved_) {
        Stop(kCodeSecondGroup);
        return;
      }
      if (!ReadHeader()) return;
    } else if (kind == cii::BlockLead::Trailer) {
      if (!ReadTrailer()) return;
    } else if (kind == cii::BlockLead::OtherZero) {
      // another "0" block: ignored
    } else if (kind == cii::BlockLead::Message) {
      if (!ReadMessage(lead[0])) return;
    } else {
      ctx_.log.WriteTranslationLog(cii::kCodeBadBlockId, "", true);
    }
  }
}

bool CiiToXml::ReadHeader() {
  std::string body;
  if (!reader_.ReadBytes(body, cii::kRecordSize)) return Stop(cii::kCodeEndInBlock);
  std::copy(body.begin(), body.end(), state_.header.bytes.begin());
  names_.clear();
  if (!LoadGroupFormat(ctx_, true)) return false;
  groupOpen_ = true;
  return OpenDocument();
}

bool CiiToXml::OpenDocument() {
  const XmlEncoding encoding = EncodingForCode(TrimSpaces(state_.xmlCharCode));
  state_.xmlCharCode = "M";
  if (out_.empty()) return Stop(cii::kCodeOutputFailed);
  file_.open(partial_, std::ios::binary | std::ios::trunc);
  if (!file_) return Stop(cii::kCodeOutputFailed);
  writer_.emplace(file_, encoding);

  const cii::CiiHeaderRecord& header = state_.header;
  writer_->Declaration();
  writer_->StartElement("CII-" + FromAnsiBytes(header.Bpid()) + FromAnsiBytes(header.InfoCategory()) + "-V10");
  writer_->Layout(kCrLf);
  writer_->StartElement("JPMGH");
  writer_->Layout(kCrLf);
  for (const cii::HeaderField& field : cii::kHeaderFields) {
    writer_->StartElement(field.element);
    const std::string bytes = header.Field(field);
    // JPC03 keeps its one character as it stands; the others lose their padding.
    if (!writer_->Text(FromAnsiBytes(field.offset == cii::hdr::kOperationMode ? bytes : TrimRightSpaces(bytes))))
      ctx_.log.WriteTranslationLog(kCodeXmlLostCharacters, field.element, false);
    writer_->EndElement();
    writer_->Layout(kCrLf);
  }
  return true;
}

bool CiiToXml::ReadTrailer() {
  if (writer_) {
    writer_->CloseTo(1);
    writer_->Layout(kCrLf);
  }
  std::string body;
  if (!reader_.ReadBytes(body, cii::kRecordSize)) return Stop(cii::kCodeEndInBlock);
  if (!writer_) return true;  // a trailer without a group: nothing to save

  const bool written = writer_->Finish();
  writer_.reset();
  file_.close();
  // A document that could not be written whole (a full disk) leaves no partial file behind.
  if (!written || file_.fail() || platform::RenameOver(partial_, out_) != 0) {
    std::error_code ec;
    std::filesystem::remove(partial_, ec);
    return Stop(cii::kCodeWriteFailed);
  }
  groupOpen_ = false;
  saved_ = true;
  return true;
}

bool CiiToXml::ReadMessage(char lead) {
  // No header gave this message a format: the file fails here (its result would be this
  // code whatever followed, and a file of such blocks would log every one of them).
  if (!groupOpen_) return Stop(kCodeMessageOutsideGroup);
  const cii::CiiHeaderRecord& header = state_.header;
  std::string bytes;
  if (header.storageFlags() == "20") {
    if (!reader_.ReadBytes(bytes, cii::kRecordSize)) return Stop(cii::kCodeEndInBlock);
    return true;
  }
  if (!reader_.ReadBytes(bytes, 7)) return Stop(cii::kCodeEndInBlock);
  const std::string seq = std::to_string(cii::LeadingNumber(bytes.substr(0, 5)));
  const bool longForm = static_cast<unsigned char>(bytes[5]) == 0x80 && static_cast<unsigned char>(bytes[6]) == 0x80;
  if (longForm) {
    std::string more;
    if (!reader_.ReadBytes(more, 8)) return Stop(cii::kCodeEndInBlock);
  }
  if (writer_) {
    writer_->CloseTo(1);
    if (longForm) {
      // The long form keeps its mark and gets an element like the short form, so that its
      // data elements have a place and come back from the document.
      writer_->ProcessingInstruction("JPTRM", "SEQ=\"" + seq + "\"");
      writer_->Layout(kCrLf);
    } else {
      writer_->Layout(kCrLf);
    }
    writer_->StartElement("JPTRM");
    writer_->Attribute("SEQ", seq);
  }
  // An end of file inside the body shows at the next block lead; a group that the format
  // does not know stops the conversion.
  ConvertCiiMessageBody(longForm ? cii::kLongPrefix : cii::kShortPrefix);
  return !unknownGroup_;
}

bool CiiToXml::ConvertCiiMessageBody(std::size_t prefixLength) {
  const cii::CiiHeaderRecord& header = state_.header;
  const cii::ItemTable& items = state_.ediItems;
  const std::size_t blockSize = cii::BlockSizeFor(header.storageMode());
  reader_.SetStorageMode(header.storageMode());
  if (blockSize != 0) reader_.SetBytesLeft(static_cast<long long>(blockSize - prefixLength));

  bool extended = false;
  std::vector<Level> levels(1);
  long long remaining = 0;
  auto level = [&] { return static_cast<int>(levels.size()) - 1; };

  auto next = [&]() -> std::optional<unsigned char> {
    auto b = reader_.ReadCiiByte();
    if (b) --remaining;
    return b;
  };

  // code == nullptr: the single unnumbered group of one-byte mode, JPM0 with JPM0R whatever
  // its group item's マルチ明細番号. False when no group item matches.
  auto startGroup = [&](const cii::MultiDetailCode* code) {
    std::size_t position = levels.back().position;
    bool byValue = false;
    if (!cii::FindEdiGroup(items, position, level(), code, &byValue)) {
      unknownGroup_ = true;
      return Stop(cii::kCodeGroupNotFound);
    }
    levels.back().position = position;
    const std::string id = code == nullptr ? "0" : GroupId(*code, byValue);
    const std::string& multi = items[position].multiDetail;
    Layout(LineStart(level() * 4 - 2));
    if (writer_) writer_->StartElement("JPM" + id);
    Level inner;
    inner.position = position + 1;
    inner.groupIndex = position;
    inner.repetitionName = "JPM" + (code != nullptr && IsAsciiAlnum(multi) ? multi : id) + "R";
    levels.push_back(inner);
    Layout(LineStart(level() * 4 - 2));
    if (writer_) writer_->StartElement(levels.back().repetitionName);
    return true;
  };

  while (true) {
    auto b = next();
    if (!b) return false;
    const unsigned char c = *b;
    std::optional<long long> tag;
    if (c <= 0xEF) {
      if (!extended) {
        tag = c;
      } else {
        auto lo = next();
        if (!lo) return false;
        tag = static_cast<long long>(c) * 256 + *lo;
      }
    } else if (extended && c >= 0xF1 && c <= 0xF7) {
      auto mid = next();
      if (!mid) return false;
      auto lo = next();
      if (!lo) return false;
      tag = static_cast<long long>(c - 0xF0) * 65536 + static_cast<long long>(*mid) * 256 + *lo;
    }

    if (tag) {
      auto length = reader_.ReadCiiLength(remaining);
      if (!length) return false;
      std::string value;
      if (!reader_.ReadCiiBytes(value, *length)) return false;
      remaining -= static_cast<long long>(*length);
      std::size_t position = levels.back().position;
      if (!cii::FindEdiItem(items, position, *tag, level())) continue;  // not in the format: dropped
      levels.back().position = position;
      Layout(LineStart(level() * 4));
      if (writer_) {
        const std::string& name = ElementName(position, *tag);
        if (!writer_->TextElement(name, DecodeElementValue(header, value, items[position], &codec_)))
          ctx_.log.WriteTranslationLog(kCodeXmlLostCharacters, name, false);
      }
      continue;
    }

    switch (c) {
      case cii::kExtendedTags:
        extended = true;
        break;
      case cii::kSkipNext:
        if (extended && !next()) return false;
        break;
      case cii::kGroupStart:
        if (!extended) {
          if (!startGroup(nullptr)) return false;
        } else {
          auto n = next();
          if (!n) return false;
          cii::MultiDetailCode code{false, *n};
          if (!startGroup(&code)) return false;
        }
        break;
      case cii::kGroupStart16:
        if (extended) {
          auto hi = next();
          if (!hi) return false;
          auto lo = next();
          if (!lo) return false;
          cii::MultiDetailCode code{true, *hi * 256 + *lo};
          if (!startGroup(&code)) return false;
        }
        break;
      case cii::kNextRepeat:
        if (level() == 0) break;  // no group open: nothing to repeat
        levels.back().position = levels.back().groupIndex + 1;
        Layout(LineStart(level() * 4 - 2));
        if (writer_) writer_->EndElement();
        Layout(LineStart(level() * 4 - 2));
        if (writer_) writer_->StartElement(levels.back().repetitionName);
        break;
      case cii::kGroupEnd: {
        if (level() == 0) break;  // no group open: nothing to end
        Layout(LineStart(level() * 4 - 2));
        if (writer_) writer_->EndElement();
        const std::size_t closed = levels.back().groupIndex;
        levels.pop_back();
        // The next search of the outer level starts after the closed group, so that a later
        // sibling group with the same number is found as itself.
        levels.back().position = closed + 1;
        Layout(kCrLf);
        if (writer_) writer_->EndElement();
        break;
      }
      case cii::kMessageEnd:
        if (header.padsMessageBlocks()) reader_.SkipRestOfBlock();
        Layout(kCrLf);
        return true;
      default:
        break;  // control bytes without a meaning here
    }
  }
}

}  // namespace

std::filesystem::path PartialOutputPath(const std::filesystem::path& xmlPath) {
  std::filesystem::path partial = xmlPath;
  partial += ".part";
  return partial;
}

void ConvertCiiToXml(cii::TranslationContext& ctx, const std::filesystem::path& ciiPath,
                     const std::filesystem::path& xmlPath) {
  std::ifstream in(ciiPath, std::ios::binary);
  if (!in) {
    ctx.log.WriteTranslationLog(cii::kCodeInputMissing, "", false);
    return;
  }
  CiiToXml converter(ctx, in, xmlPath);
  converter.Run();
}

}  // namespace edi::xml
