#include "cii/reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "app/database.h"
#include "app/text.h"
#include "cii/block_reader.h"
#include "cii/codes.h"
#include "cii/field_conversion.h"
#include "cii/local_files.h"
#include "cii/output_stream.h"
#include "cii/sjis.h"
#include "cii/writer.h"

namespace edi::cii {

namespace {

constexpr long long kMaxTemplateWork = 20'000'000;
constexpr unsigned char kFiller = 0xF8;  // skipped in extended mode

class CiiToLocal {
 public:
  CiiToLocal(TranslationContext& ctx, std::istream& in) : ctx_(ctx), st_(ctx.state), r_(in, ctx.log) {}

  void Run(const std::filesystem::path& localPath) {
    localPath_ = localPath;
    ReadBlocks();
    // The last local file's lines are written out and the file closed here, so that a write
    // that fails at the very end (a full disk) fails the reading too.
    if (!ctx_.log.failed() && !CloseOutput()) Stop(kCodeWriteFailed);
  }

 private:
  void ReadBlocks() {
    std::string lead;
    for (;;) {
      if (!r_.ReadBytes(lead, 2)) {
        // End of file (a stray last byte ends it too). A message group without its trailer
        // is a file cut short, as an interrupted transfer leaves it: it is not whole.
        if (groupOpen_) Stop(kCodeEndInBlock);
        return;
      }
      const BlockLead kind = ClassifyLead(lead);
      if (kind == BlockLead::OtherZero || kind == BlockLead::BadFirst || kind == BlockLead::BadSecond) {
        if (stray_.NotCii(haveGroup_)) return (void)Stop(kCodeNotCii);
      } else {
        stray_.Block();
      }
      if (kind == BlockLead::Header) {
        if (!Header()) return;
      } else if (kind == BlockLead::Trailer) {
        std::string body;
        if (!r_.ReadBytes(body, kRecordSize)) return (void)Stop(kCodeEndInBlock);
        groupOpen_ = false;
      } else if (kind == BlockLead::OtherZero) {
        continue;
      } else if (kind == BlockLead::BadFirst) {
        ctx_.log.WriteTranslationLog(kCodeBadBlockId, "-02", true);
      } else if (kind == BlockLead::BadSecond) {
        ctx_.log.WriteTranslationLog(kCodeBadBlockId, "-01", true);
      } else {
        if (!haveGroup_) return (void)Stop(kCodeNoHeader);
        if (!Message()) return;
        if (ctx_.log.failed()) return;
      }
    }
  }

  // The local lines are gathered here and written in large pieces: a line of 1 KB or more
  // goes past the stream's buffer, and a system call for every line costs as much as the
  // conversion.
  bool WritePending() {
    out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
    pending_.clear();
    return static_cast<bool>(out_);
  }
  // Writes what is pending and closes the local file being written, if any. false: a write failed.
  bool CloseOutput() {
    if (!out_.is_open()) return true;
    const bool written = WritePending();
    out_.close();
    return written && static_cast<bool>(out_);
  }

  bool Stop(int code, const std::string& message = "") {
    ctx_.log.WriteTranslationLog(code, message, false);
    return false;
  }

  bool Header() {
    std::string body;
    if (!r_.ReadBytes(body, kRecordSize)) return Stop(kCodeEndInBlock);
    std::copy(body.begin(), body.end(), st_.header.bytes.begin());
    st_.bpid = FromAnsiBytes(st_.header.Bpid());
    st_.infoCategory = FromAnsiBytes(st_.header.InfoCategory());
    st_.storageMode = std::string(1, st_.header.storageMode());
    try {
      auto format = ctx_.masters.FindFormat(st_.infoCategory, st_.bpid);
      if (!format) return Stop(kCodeNoFormat);
      st_.format = *format;
      st_.xmlCharCode = format->xmlCharCode;
      auto edi = ctx_.masters.FindItems('E', st_.infoCategory, st_.bpid);
      if (edi.empty()) return Stop(kCodeNoEdiItems);
      if (auto bad = LoadItemFormats(st_.ediItems, std::move(edi))) return Stop(kCodeBadItemTable, "E " + *bad);
      auto local = ctx_.masters.FindItems('L', st_.infoCategory, st_.bpid);
      if (local.empty()) return Stop(kCodeNoLocalItems);
      if (auto bad = LoadItemFormats(st_.localItems, std::move(local))) return Stop(kCodeBadItemTable, "L " + *bad);
    } catch (const DatabaseError& e) {
      return Stop(kCodeDatabase, e.what());
    }
    if (!BuildTemplate()) return false;
    r_.SetStorageMode(st_.header.storageMode());
    skipPadding_ = st_.header.padsMessageBlocks();
    if (!CloseOutput()) return Stop(kCodeWriteFailed);
    out_.clear();
    std::filesystem::path target = LocalPathForCategory(localPath_, st_.header.InfoCategory());
    out_.open(target, std::ios::binary | std::ios::app);
    if (!out_) return Stop(kCodeOutputFailed);
    // The key of every line: category at 6–9, sender at 16–27, receiver at 28–39.
    key_.assign(39, ' ');
    key_.replace(5, 4, StoreTextInByteField(4, st_.header.InfoCategory()).bytes);
    key_.replace(15, 12, st_.header.Field(hdr::kSender, 12));
    key_.replace(27, 12, st_.header.Field(hdr::kReceiver, 12));
    haveGroup_ = true;
    groupOpen_ = true;
    return true;
  }

  // The empty value of every 'L' item in every repetition of its groups.
  bool BuildTemplate() {
    long long length = LocalRecordLength(st_.localItems);
    if (length > static_cast<long long>(kMaxLineBytes)) return Stop(kCodeTooLong);
    // Per 'E' item the 'L' item that receives its values, and each 'L' item's position.
    const ItemTable& E = st_.ediItems;
    const ItemTable& L = st_.localItems;
    localOf_.assign(E.size() + 1, 0);
    for (std::size_t i = 1; i <= E.size(); ++i) localOf_[i] = FindLocalItemBySequence(L, E[i].counterpart);
    dataItemNo_.assign(E.size() + 1, -1);
    for (std::size_t i = 1; i <= E.size(); ++i)
      if (!E[i].isGroup()) dataItemNo_[i] = E[i].itemNo;
    fill_.assign(E.size() + 1, LocalFill::General);
    for (std::size_t i = 1; i <= E.size(); ++i)
      if (localOf_[i] != 0) fill_[i] = LocalFillOf(E[i], L[localOf_[i]]);
    localPosition_.assign(L.size() + 1, 0);
    for (std::size_t i = 1; i <= L.size(); ++i) localPosition_[i] = L[i].positionNumber();
    template_.assign(static_cast<std::size_t>(std::max(0LL, length)), ' ');
    long long work = 0;
    if (!FillLevel(1, 0, 0, work)) return Stop(kCodeTooLong);
    return true;
  }

  // Fills the items of one level from index `from` on, offset by `base`; returns the index
  // after the last item of that level (in *next) through the return of FillLevel.
  bool FillLevel(std::size_t from, int level, long long base, long long& work, std::size_t* next = nullptr) {
    const ItemTable& L = st_.localItems;
    std::size_t i = from;
    while (i <= L.size() && L[i].level >= level) {
      const ItemFormat& item = L[i];
      if (item.level > level) {  // members of a group handled below
        ++i;
        continue;
      }
      if (item.isGroup()) {
        std::size_t after = i + 1;
        for (int rep = 0; rep < item.repeats(); ++rep) {
          if (++work > kMaxTemplateWork) return false;
          if (!FillLevel(i + 1, level + 1, base + static_cast<long long>(rep) * item.length, work, &after)) return false;
        }
        i = after;
        continue;
      }
      if (++work > kMaxTemplateWork) return false;
      Overlay(item.positionNumber() + base, EmptyValue(item));
      ++i;
    }
    if (next) *next = i;
    return true;
  }

  // How a value goes into the line, worked out once per item: text and binary fields are
  // cut or padded in place, whole numbers of plain digits are right-aligned in place; every
  // other value is converted by ConvertEdiValueToLocal first.
  enum class LocalFill : unsigned char { General, Fitted, Digits };
  static LocalFill LocalFillOf(const ItemFormat& e, const ItemFormat& l) {
    const auto textLike = [](const std::string& a) { return a == "X" || a == "B"; };
    const auto numeric = [](const std::string& a) { return a == "9" || a == "N"; };
    if (textLike(e.attribute) && textLike(l.attribute)) return LocalFill::Fitted;
    if (numeric(e.attribute) && numeric(l.attribute) && e.decimals == 0 && l.decimals == 0) return LocalFill::Digits;
    return LocalFill::General;
  }

  // Puts the value straight into its field of the line when its item's fill allows; false
  // when it has to be converted first.
  bool FillInPlace(LocalFill fill, std::string& line, long long position, int length, std::string_view bytes) {
    const std::size_t width = static_cast<std::size_t>(std::max(0, length));
    if (fill == LocalFill::Digits) {
      for (char c : bytes)
        if (c < '0' || c > '9') return false;
    }
    if (position < 1 || static_cast<unsigned long long>(position - 1) + width > line.size()) {
      ctx_.log.WriteTranslationLog(kCodeBeyondRecord, "", true);
      return true;
    }
    char* field = line.data() + (position - 1);
    if (fill == LocalFill::Fitted) {
      // Cut (never inside a double-byte character) or padded with spaces to the width.
      const std::size_t n = LeftBytesWholeLength(bytes, width);
      std::memcpy(field, bytes.data(), n);
      std::memset(field + n, ' ', width - n);
    } else if (bytes.size() >= width) {
      // High digits beyond the width are cut.
      std::memcpy(field, bytes.data() + (bytes.size() - width), width);
    } else {
      std::memset(field, '0', width - bytes.size());
      std::memcpy(field + (width - bytes.size()), bytes.data(), bytes.size());
    }
    return true;
  }

  static std::string EmptyValue(const ItemFormat& item) {
    std::size_t n = static_cast<std::size_t>(std::max(0, item.length));
    const std::string& a = item.attribute;
    if (a == "9" || a == "N") {
      if (item.decimals == 0) return std::string(n, '0');
      std::size_t fraction = std::min(n, static_cast<std::size_t>(item.decimals));
      return std::string(n - fraction, '0') + "." + std::string(fraction, '0');
    }
    if (a == "Y") return std::string(n, '0');
    if (a == "K") {
      std::string s;
      for (std::size_t k = 0; k + 2 <= n; k += 2) s += "\x81\x40";
      if (n % 2) s += ' ';
      return s;
    }
    return std::string(n, ' ');
  }

  // Writes the bytes at the 1-based position; false when they do not fit in the record.
  bool Overlay(long long position, const std::string& bytes, std::string* line = nullptr) {
    std::string& target = line ? *line : template_;
    if (position < 1 || static_cast<unsigned long long>(position - 1) + bytes.size() > target.size()) return false;
    std::copy(bytes.begin(), bytes.end(), target.begin() + (position - 1));
    return true;
  }

  bool Message() {
    std::string prefix;
    if (!r_.ReadBytes(prefix, 7)) return Stop(kCodeEndInBlock);
    if (st_.header.storageFlags() == "20") {
      std::string rest;
      if (!r_.ReadBytes(rest, kRecordSize - 7)) return Stop(kCodeEndInBlock);
      return true;
    }
    long long length;
    std::size_t prefixLength;
    if (static_cast<unsigned char>(prefix[5]) == 0x80 && static_cast<unsigned char>(prefix[6]) == 0x80) {
      std::string more;
      if (!r_.ReadBytes(more, 8)) return Stop(kCodeEndInBlock);
      length = LeadingNumber(more.substr(1));
      prefixLength = kLongPrefix;
    } else {
      length = static_cast<unsigned char>(prefix[5]) * 256 + static_cast<unsigned char>(prefix[6]);
      prefixLength = kShortPrefix;
    }
    std::size_t block = BlockSizeFor(st_.header.storageMode());
    if (block == 0) return Stop(kCodeBadStorageMode);
    r_.SetBytesLeft(static_cast<long long>(block) - static_cast<long long>(prefixLength));
    return ReadCiiMessage(length + 1, static_cast<long long>(prefixLength));
  }

  struct Level {
    std::size_t position = 0;  // where the next FindEdiItem starts
    std::size_t group = 0;     // the group item of this level (0: unknown group, skipped)
    int repetition = 1;
  };

  bool ReadCiiMessage(long long total, long long prefixLength) {
    const ItemTable& E = st_.ediItems;
    const ItemTable& L = st_.localItems;
    long long remaining = total - prefixLength;
    std::string& line = line_;
    line = template_;
    std::vector<Level>& levels = levels_;
    levels.assign(1, Level{});
    std::size_t level = 0;
    bool extended = false;
    auto next = [&]() -> std::optional<unsigned char> {
      auto b = r_.ReadCiiByte();
      if (b) --remaining;
      return b;
    };
    for (;;) {
      auto b = next();
      if (!b) return Stop(kCodeEndInBlock);
      long long tag = -1;
      if (*b < kExtendedTags) {
        tag = *b;
        if (extended) {
          auto lo = next();
          if (!lo) return Stop(kCodeEndInBlock);
          tag = tag * 256 + *lo;
        }
      } else if (extended && *b >= 0xF1 && *b <= 0xF7) {
        auto hi = next();
        auto lo = hi ? next() : std::nullopt;
        if (!lo) return Stop(kCodeEndInBlock);
        tag = static_cast<long long>(*b - 0xF0) * 65536 + *hi * 256 + *lo;
      }
      if (tag >= 0) {
        auto len = r_.ReadCiiLength(remaining);
        if (!len) return Stop(kCodeEndInBlock);
        if (*len == 0) return Stop(kCodeZeroLength);
        std::string_view bytes;
        if (!r_.ReadCiiView(bytes, bytes_, *len)) return Stop(kCodeEndInBlock);
        remaining -= static_cast<long long>(*len);
        Element(line, levels, level, tag, bytes);
        continue;
      }
      switch (*b) {
        case kExtendedTags:
          extended = true;
          break;
        case kSkipNext:
          if (!extended) ctx_.log.WriteTranslationLog(kCodeBadTagByte, "", true);
          else if (!next()) return Stop(kCodeEndInBlock);
          break;
        case kGroupStart:
        case kGroupStart16: {
          MultiDetailCode code;
          const MultiDetailCode* wanted = nullptr;
          if (*b == kGroupStart16 && !extended) {
            ctx_.log.WriteTranslationLog(kCodeGroup16InNormal, "", true);
            break;
          }
          if (extended) {
            auto n1 = next();
            if (!n1) return Stop(kCodeEndInBlock);
            code.value = *n1;
            if (*b == kGroupStart16) {
              auto n2 = next();
              if (!n2) return Stop(kCodeEndInBlock);
              code.twoByte = true;
              code.value = *n1 * 256 + *n2;
            }
            wanted = &code;
          }
          // A group that the format does not know cannot be placed in the line: its data
          // would be lost, so the conversion stops.
          std::size_t pos = levels[level].position;
          if (!FindEdiGroup(E, pos, static_cast<int>(level), wanted)) return Stop(kCodeGroupNotFound);
          levels[level].position = pos;
          ++level;
          if (levels.size() <= level) levels.resize(level + 1);
          levels[level] = Level{pos + 1, pos, 1};
          break;
        }
        case kNextRepeat:
          if (level == 0) {
            ctx_.log.WriteTranslationLog(kCodeBadTagByte, "", true);
            break;
          }
          ++levels[level].repetition;
          levels[level].position = levels[level].group + 1;
          break;
        case kGroupEnd:
          if (level == 0) {
            ctx_.log.WriteTranslationLog(kCodeBadTagByte, "", true);
            break;
          }
          // The next search at the outer level starts after the closed group, so that a
          // following group with the same identifier is the next one in the table.
          if (levels[level].group != 0) levels[level - 1].position = levels[level].group + 1;
          --level;
          break;
        case kMessageEnd: {
          if (remaining != 0) ctx_.log.WriteTranslationLog(kCodeLengthMismatch, "長さ違い", true);
          pending_ += key_;
          pending_ += line;
          pending_ += "\r\n";
          if (pending_.size() >= kOutputChunkBytes && !WritePending()) return Stop(kCodeWriteFailed);
          if (skipPadding_ && !r_.SkipRestOfBlock()) return Stop(kCodeEndInBlock);
          return true;
        }
        case kFiller:
          if (!extended) ctx_.log.WriteTranslationLog(kCodeBadTagByte, "", true);
          break;
        default:
          // A control byte that means nothing here is skipped: in one-byte mode the bytes
          // that only extended mode knows (0013), in extended mode the ones that no mode knows.
          ctx_.log.WriteTranslationLog(extended ? kCodeUnexpectedByte : kCodeBadTagByte, "", true);
          break;
      }
      (void)L;
    }
  }

  void Element(std::string& line, std::vector<Level>& levels, std::size_t level, long long tag,
               std::string_view bytes) {
    const ItemTable& E = st_.ediItems;
    const ItemTable& L = st_.localItems;
    if (level > 0 && levels[level].group == 0) return;  // inside a group that is not in the table
    std::size_t pos = levels[level].position;
    // Elements mostly come in table order: the item where the search starts is the usual hit.
    const bool hit = pos >= 1 && pos <= E.size() && dataItemNo_[pos] == tag &&
                     E[pos].level == static_cast<int>(level);
    if (!hit && !FindEdiItem(E, pos, tag, static_cast<int>(level))) return;
    // Each item appears once per repetition, in table order: the next search starts after it.
    levels[level].position = pos + 1;
    const ItemFormat& e = E[pos];
    std::size_t li = localOf_[pos];
    if (li == 0) return;
    const ItemFormat& l = L[li];
    if (fill_[pos] != LocalFill::General) {
      long long position = localPosition_[li];
      if (!RepetitionOffset(levels, level, position)) return;
      if (FillInPlace(fill_[pos], line, position, l.length, bytes)) return;
    }
    bool unsupported = false;
    std::string& value = value_;
    ConvertEdiValueToLocal(bytes, e, l, st_.header.code16(), unsupported, value);
    if (unsupported) {
      ctx_.log.WriteTranslationLog(kCodeBadPair, "", true);
      return;
    }
    long long position = localPosition_[li];
    if (!RepetitionOffset(levels, level, position)) return;
    if (!Overlay(position, value, &line)) ctx_.log.WriteTranslationLog(kCodeBeyondRecord, "", true);
  }

  // Moves a member's position to the repetitions of its open groups; false when a group in a
  // later repetition has no local item to measure it by (the value cannot be placed).
  bool RepetitionOffset(const std::vector<Level>& levels, std::size_t level, long long& position) const {
    const ItemTable& L = st_.localItems;
    for (std::size_t k = 1; k <= level; ++k) {
      if (levels[k].repetition <= 1) continue;
      if (!L.has(static_cast<long long>(levels[k].group))) return false;
      position += static_cast<long long>(levels[k].repetition - 1) * L[levels[k].group].length;
    }
    return true;
  }

  TranslationContext& ctx_;
  TranslationState& st_;
  CiiBlockReader r_;
  std::filesystem::path localPath_;
  std::ofstream out_;
  std::string pending_;  // lines not yet written to out_
  std::string template_;
  std::string key_;
  std::vector<std::size_t> localOf_;       // 'E' index → 'L' index (0: none)
  std::vector<long long> localPosition_;   // 'L' index → 項目位置 as a number
  std::vector<long long> dataItemNo_;      // 'E' index → 項目№ of a data item (-1: a group)
  std::vector<LocalFill> fill_;            // 'E' index → how its value goes into the line
  // Buffers kept from one message to the next.
  std::string line_, bytes_, value_;
  std::vector<Level> levels_;
  bool haveGroup_ = false;
  bool groupOpen_ = false;  // a header was read and its trailer not yet
  bool skipPadding_ = true;
  StrayLeads stray_;
};

}  // namespace

void ConvertCiiToLocal(TranslationContext& ctx, const std::filesystem::path& ciiPath,
                       const std::filesystem::path& localPath) {
  std::ifstream in(ciiPath, std::ios::binary);
  if (!in || std::filesystem::is_directory(ciiPath)) {
    ctx.log.WriteTranslationLog(kCodeInputMissing, "", false);
    return;
  }
  // The local files are appended to: a reading that fails puts every one of them back as it
  // was (its earlier length, or no file), so that no half of a message group is left there.
  const std::vector<FileMark> marks = MarkLocalFiles(localPath);
  {
    CiiToLocal reader(ctx, in);
    reader.Run(localPath);
  }  // the last local file is closed (and flushed) here
  if (ctx.log.failed()) PutBackLocalFiles(localPath, marks);
}

}  // namespace edi::cii
