#include "xml/xml_to_cii.h"

#include <libxml/tree.h>

#include <fstream>
#include <unordered_map>
#include <vector>

#include "app/file_mark.h"
#include "app/text.h"
#include "cii/format.h"
#include "cii/message_writer.h"
#include "cii/output_stream.h"
#include "cii/sjis.h"
#include "xml/element_values.h"
#include "xml/group_format.h"
#include "xml/xml_codes.h"
#include "xml/xml_input.h"

namespace edi::xml {

namespace {

// An element's name (names hold no spaces, so there is nothing to trim).
std::string_view NameOf(const xmlNode* node) {
  return node->name != nullptr ? std::string_view(reinterpret_cast<const char*>(node->name)) : std::string_view();
}

bool IsElement(const xmlNode* node) { return node->type == XML_ELEMENT_NODE; }

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text of an element; whitespace alone (layout) counts as no text.
std::string TextOf(const xmlNode* node) {
  const xmlNode* only = node->children;
  if (only != nullptr && only->next == nullptr && only->type == XML_TEXT_NODE && only->content != nullptr) {
    // The usual element holds one text node: its content is the text, without a copy by
    // the library first.
    const std::string_view text(reinterpret_cast<const char*>(only->content));
    for (char c : text)
      if (!IsXmlSpace(c)) return std::string(text);
    return "";
  }
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = content != nullptr ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  for (char c : text) {
    if (!IsXmlSpace(c)) return text;
  }
  return "";
}

std::string TrimXmlSpace(const std::string& text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && IsXmlSpace(text[b])) ++b;
  while (e > b && IsXmlSpace(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

const xmlNode* LastElementChild(const xmlNode* parent) {
  const xmlNode* last = nullptr;
  for (const xmlNode* c = parent->children; c != nullptr; c = c->next) {
    if (IsElement(c)) last = c;
  }
  return last;
}

// Byte ranges of the header that no JPC element fills: spaces, and "E" at 145.
void SetFixedHeaderParts(cii::CiiHeaderRecord& header) {
  const std::pair<std::size_t, std::size_t> blanks[] = {{81, 12}, {97, 3},  {100, 3}, {127, 12},
                                                        {149, 1}, {150, 5}, {155, 5}, {179, 70}};
  for (auto [offset, length] : blanks) {
    for (std::size_t i = 0; i < length; ++i) header.bytes[offset + i] = ' ';
  }
  header.bytes[cii::hdr::kSyntaxMark] = 'E';
}

// Handles the document's JPMGH and JPTRM elements one by one, as the parser completes them.
class XmlToCii : public XmlUnitHandler {
 public:
  XmlToCii(cii::TranslationContext& ctx, std::ofstream& out) : ctx_(ctx), state_(ctx.state), out_(out) {}

  // A declaration sets the shared XML文字コード.
  void DocumentStart(bool declaresEncoding) override {
    if (declaresEncoding) state_.xmlCharCode.assign(1, 'M');
  }
  // False when the conversion stopped.
  bool Unit(const xmlNode* element) override {
    return NameOf(element) == "JPMGH" ? Header(element) : Message(element);
  }
  // Text is read in data elements and header fields only; the JPTRM, JPMGH and group
  // elements (JPM…) are read for their child elements.
  bool ReadsTextOf(std::string_view name) const override { return name != "JPTRM" && !StartsWith(name, "JPM"); }
  bool Finish() { return !groupOpen_ || WriteTrailer(); }

 private:
  bool Stop(int code, std::string_view message = "") {
    ctx_.log.WriteTranslationLog(code, message, false);
    return false;
  }
  bool Header(const xmlNode* jpmgh);
  bool OpenGroup();
  bool WriteTrailer();
  bool Message(const xmlNode* jptrm);
  // Encodes the children of a JPTRM, group or repetition element into the TFD bytes.
  bool EncodeChildren(const xmlNode* parent);
  bool EncodeDataElement(const xmlNode* element, std::string_view name);
  // The first item that is not a group with the 項目№, or nullptr.
  const cii::ItemFormat* ItemNumbered(long long itemNo);
  bool Written() {
    if (!out_) return Stop(cii::kCodeWriteFailed);
    return true;
  }

  cii::TranslationContext& ctx_;
  cii::TranslationState& state_;
  std::ofstream& out_;
  bool groupOpen_ = false;
  bool headerSeen_ = false;  // a JPMGH of this document opened a group
  int messages_ = 0;         // messages of the open group
  std::string tfd_;
  bool extended_ = false;
  // Per open group level of the message (index 0: the message's top): where the next group
  // search starts, and the first member of the level's group.
  struct GroupLevel {
    std::size_t position = 0;
    std::size_t first = 0;
  };
  std::vector<GroupLevel> levels_;
  AnsiCodec codec_;
  // 項目№ → the first data item with it, for the item table loaded by the last group start.
  std::unordered_map<long long, const cii::ItemFormat*> itemsByNumber_;
};

bool XmlToCii::Header(const xmlNode* jpmgh) {
  cii::CiiHeaderRecord& header = state_.header;
  SetFixedHeaderParts(header);
  bool changed = false;
  for (const xmlNode* child = jpmgh->children; child != nullptr; child = child->next) {
    if (!IsElement(child)) continue;
    const cii::HeaderField* field = cii::FindHeaderField(std::string(NameOf(child)));
    if (field == nullptr) continue;
    const std::string bytes = cii::StoreTextInByteField(field->length, ToAnsiBytes(TrimXmlSpace(TextOf(child)))).bytes;
    if (bytes != header.Field(*field)) {
      changed = true;
      header.SetField(field->offset, field->length, bytes);
    }
  }
  // The first header of a document always opens a group, so that every output starts
  // with a header block even when the header record already holds the same values.
  if (!changed && headerSeen_) return true;
  headerSeen_ = true;
  if (groupOpen_ && !WriteTrailer()) return false;
  return OpenGroup();
}

bool XmlToCii::OpenGroup() {
  itemsByNumber_.clear();
  if (!LoadGroupFormat(ctx_, false)) return false;
  const auto& items = state_.ediItems.items();
  for (const cii::ItemFormat& item : items)
    if (!item.isGroup()) itemsByNumber_.emplace(item.itemNo, &item);  // the first of a number stays
  const cii::CiiHeaderRecord& header = state_.header;
  out_ << cii::HeaderBlock(header);
  if (!Written()) return false;
  groupOpen_ = true;
  messages_ = 0;
  return true;
}

bool XmlToCii::WriteTrailer() {
  groupOpen_ = false;
  out_ << cii::TrailerBlock(messages_);
  return Written();
}

bool XmlToCii::Message(const xmlNode* jptrm) {
  if (!groupOpen_) {
    // No header before it: a message outside any group would corrupt the file.
    ctx_.log.WriteTranslationLog(kCodeMessageOutsideGroup, "", false);
    return true;
  }
  if (messages_ >= cii::kMaxMessageNumber) return Stop(cii::kCodeTooManyMessages);
  const int number = ++messages_;  // SEQ is not used: messages are numbered in order
  tfd_.clear();
  extended_ = false;
  levels_.assign(1, GroupLevel{});
  if (!EncodeChildren(jptrm)) return false;
  const std::string stream = cii::BuildMessageStream(number, tfd_);
  if (stream.empty()) return Stop(cii::kCodeTooLong);
  if (!cii::WriteMessageBlocks(out_, stream, state_.header.storageMode())) return Stop(cii::kCodeBadStorageMode);
  return Written();
}

bool XmlToCii::EncodeChildren(const xmlNode* parent) {
  const xmlNode* last = LastElementChild(parent);
  for (const xmlNode* child = parent->children; child != nullptr; child = child->next) {
    if (!IsElement(child)) continue;
    const std::string_view name = NameOf(child);
    if (StartsWith(name, "JPM")) {
      if (name.size() > 3 && name.back() == 'R') {  // a repetition
        // Each repetition searches its member groups from the group's first member again.
        levels_.back().position = levels_.back().first;
        if (!EncodeChildren(child)) return false;
        if (child != last) tfd_ += static_cast<char>(cii::kNextRepeat);
        continue;
      }
      // A group: its group item comes from the item table, found the way CII to XML found it
      // (JPM0 in one-byte mode: the first group item of the level), so that the group start
      // is written as it was read.
      const std::string id(name.substr(3));
      const int level = static_cast<int>(levels_.size()) - 1;
      std::size_t position = levels_.back().position;
      const bool unnumbered = id == "0" && !extended_;
      if (!(unnumbered ? cii::FindEdiGroup(state_.ediItems, position, level, nullptr)
                       : cii::FindEdiGroupByName(state_.ediItems, position, level, id)))
        return Stop(cii::kCodeGroupNotFound, name);
      if (unnumbered) {
        tfd_ += static_cast<char>(cii::kGroupStart);
      } else if (cii::AppendGroupStart(tfd_, state_.ediItems[position].multiDetail, extended_) !=
                 cii::GroupStartResult::Ok) {
        return Stop(cii::kCodeBadMultiDetail);
      }
      levels_.push_back(GroupLevel{position + 1, position + 1});
      if (!EncodeChildren(child)) return false;
      tfd_ += static_cast<char>(cii::kGroupEnd);
      levels_.pop_back();
      levels_.back().position = position + 1;  // a later sibling group is searched after this one
    } else if (StartsWith(name, "JP")) {
      if (!EncodeDataElement(child, name)) return false;
    }
  }
  return true;
}

const cii::ItemFormat* XmlToCii::ItemNumbered(long long itemNo) {
  auto found = itemsByNumber_.find(itemNo);
  return found == itemsByNumber_.end() ? nullptr : found->second;
}

bool XmlToCii::EncodeDataElement(const xmlNode* element, std::string_view name) {
  const std::string_view digits = name.substr(2);
  bool numeric = !digits.empty() && digits.size() <= 9;
  long long itemNo = 0;
  for (char c : digits) {
    numeric = numeric && c >= '0' && c <= '9';
    if (!numeric) break;  // a name of more than 9 digits would overflow the number
    itemNo = itemNo * 10 + (c - '0');
  }
  const cii::ItemFormat* item = numeric ? ItemNumbered(itemNo) : nullptr;
  if (item == nullptr) {
    ctx_.log.WriteTranslationLog(kCodeXmlNoItem, name, true);
    return true;
  }
  // Tags from 240 on need extended mode: one-byte 0xF0 and up are control bytes.
  if (item->itemNo > cii::kMaxOneByteTag && !extended_) {
    tfd_ += static_cast<char>(cii::kExtendedTags);
    extended_ = true;
  }
  std::optional<std::string> value = EncodeElementValue(state_.header, TextOf(element), *item, &codec_);
  if (!value) {
    ctx_.log.WriteTranslationLog(kCodeXmlBadHex, name, true);
    return true;
  }
  if (value->empty()) return true;
  if (!cii::AppendTag(tfd_, item->itemNo, extended_)) return Stop(cii::kCodeBadTag);
  if (!cii::AppendLength(tfd_, value->size())) return Stop(cii::kCodeTooLong);
  tfd_ += *value;
  return true;
}

}  // namespace

void ConvertXmlToCii(cii::TranslationContext& ctx, const std::filesystem::path& xmlPath,
                     const std::filesystem::path& ciiPath) {
  if (!std::filesystem::exists(xmlPath)) {
    ctx.log.WriteTranslationLog(cii::kCodeInputMissing, "", false);
    return;
  }
  // A failed conversion puts the output back as it was (its earlier length, or no file), so
  // that it never leaves part of a group behind.
  const FileMark mark(ciiPath);
  cii::OutputFileStream out;
  if (!ciiPath.empty()) out.open(ciiPath, std::ios::binary | std::ios::app);
  if (ciiPath.empty() || !out) {
    ctx.log.WriteTranslationLog(cii::kCodeOutputFailed, "", false);
    return;
  }
  // The document is read element by element and its groups are written as they come.
  XmlToCii converter(ctx, out);
  std::string error;
  const StreamOutcome outcome = StreamXmlUnits(xmlPath, {"JPMGH", "JPTRM"}, converter, error);
  bool complete = outcome == StreamOutcome::Complete && converter.Finish();
  // The last messages reach the file as it closes: a write that fails there (a full disk)
  // fails the conversion too.
  out.close();
  if (complete && !out) {
    ctx.log.WriteTranslationLog(cii::kCodeWriteFailed, "", false);
    complete = false;
  }
  if (complete) return;
  mark.Restore();
  // Nothing is written for a document that does not parse (the codes of a stopped
  // conversion are logged where it stopped).
  if (outcome == StreamOutcome::Failed) ctx.log.WriteTranslationLog(kCodeXmlUnparsable, "", false);
  if (outcome == StreamOutcome::TooLarge) ctx.log.WriteTranslationLog(kCodeXmlUnitTooLarge, "", false);
}

}  // namespace edi::xml
