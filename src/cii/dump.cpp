#include "cii/dump.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string>

#include "app/catalogue.h"
#include "app/text.h"
#include "cii/block_reader.h"
#include "cii/format.h"
#include "cii/sjis.h"
#include "cii/translation_log.h"

namespace edi::cii {

namespace {

// Text when the bytes are printable Shift_JIS, else hexadecimal.
std::string Show(const std::string& bytes) {
  bool printable = IsWellFormedShiftJis(bytes);
  for (unsigned char c : bytes)
    if (c < 0x20 || c == 0x7F) printable = false;
  if (printable) return "\"" + FromAnsiBytes(bytes) + "\"";
  std::string hex = "0x";
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X", c);
    hex += b;
  }
  return hex;
}

class Dumper {
 public:
  Dumper(std::istream& in, std::ostream& out) : out_(out), log_("/dev/null"), r_(in, log_) {}

  bool Run() {
    std::string lead;
    long long block = 0;
    for (;;) {
      if (!r_.ReadBytes(lead, 2)) {
        if (!lead.empty()) return Damaged(Tr("末尾に余分な1バイトがあります"));
        // A message group without its trailer: the file was cut short.
        if (groupOpen_) return Damaged(Tr("メッセージグループのトレーラの前でファイルが終わっています (0007)"));
        return ok_;
      }
      ++block;
      if (lead == "0C") {
        std::string body;
        if (!r_.ReadBytes(body, kRecordSize)) return Damaged(Tr("ヘッダの途中でファイルが終わっています"));
        std::copy(body.begin(), body.end(), header_.bytes.begin());
        headerSeen_ = true;
        groupOpen_ = true;
        r_.SetStorageMode(header_.storageMode());
        out_ << "header (block " << block << ")\n";
        for (const HeaderField& f : kHeaderFields)
          out_ << "  " << f.element << " " << Show(header_.Field(f)) << "\n";
      } else if (lead == "0E") {
        std::string body;
        if (!r_.ReadBytes(body, kRecordSize)) return Damaged(Tr("トレーラの途中でファイルが終わっています"));
        groupOpen_ = false;
        auto count = TrailerCount(body);
        out_ << "trailer: " << (count ? std::to_string(*count) : Show(body.substr(0, 5))) << " messages\n";
      } else if (lead[0] >= '1' && lead[0] <= '9' && lead[1] == 'D') {
        if (!Message()) return false;
      } else {
        if (stray_.NotCii(headerSeen_)) return Damaged(TrArgs("CII ファイルではありません (ブロック {1})", {std::to_string(block)}));
        out_ << TrArgs("ブロック {1}: 不明な先頭 {2}", {std::to_string(block), Show(lead)}) << "\n";
        ok_ = false;
        continue;
      }
      stray_.Block();
    }
  }

 private:
  bool Damaged(const std::string& what) {
    out_ << Tr("破損: ") << what << "\n";
    return false;
  }

  bool Message() {
    std::string prefix;
    if (!r_.ReadBytes(prefix, 7)) return Damaged(Tr("メッセージの前置部の途中でファイルが終わっています"));
    long long length;
    std::size_t prefixLength = kShortPrefix;
    std::string form = "short";
    if (static_cast<unsigned char>(prefix[5]) == 0x80 && static_cast<unsigned char>(prefix[6]) == 0x80) {
      std::string more;
      if (!r_.ReadBytes(more, 8)) return Damaged(Tr("メッセージの前置部の途中でファイルが終わっています"));
      length = std::atoll(more.substr(1).c_str());
      prefixLength = kLongPrefix;
      form = "long";
    } else {
      length = static_cast<unsigned char>(prefix[5]) * 256 + static_cast<unsigned char>(prefix[6]);
    }
    out_ << "message " << prefix.substr(0, 5) << " (" << form << " form, " << length << " bytes)\n";
    std::size_t blockSize = BlockSizeFor(header_.storageMode());
    if (blockSize == 0) blockSize = kSmallBlock;
    r_.SetBytesLeft(static_cast<long long>(blockSize) - static_cast<long long>(prefixLength));
    long long remaining = length + 1 - static_cast<long long>(prefixLength);
    bool extended = false;
    bool deepNoted = false;
    long long level = 0;
    // Indentation shows at most kShownDepth levels, so that a file of group starts gives a
    // listing proportional to its size.
    auto margin = [&](long long depth) { return std::string(2 * static_cast<std::size_t>(std::min(depth, kShownDepth)), ' '); };
    auto indent = [&]() { return "  " + margin(level); };
    for (;;) {
      auto b = r_.ReadCiiByte();
      if (!b) return Damaged(Tr("メッセージの途中でファイルが終わっています"));
      --remaining;
      long long tag = -1;
      if (*b < 0xF0) {
        tag = *b;
        if (extended) {
          auto lo = r_.ReadCiiByte();
          if (!lo) return Damaged(Tr("タグの途中でファイルが終わっています"));
          --remaining;
          tag = tag * 256 + *lo;
        }
      } else if (extended && *b >= 0xF1 && *b <= 0xF7) {
        auto hi = r_.ReadCiiByte();
        auto lo = hi ? r_.ReadCiiByte() : std::nullopt;
        if (!lo) return Damaged(Tr("タグの途中でファイルが終わっています"));
        remaining -= 2;
        tag = static_cast<long long>(*b - 0xF0) * 65536 + *hi * 256 + *lo;
      }
      if (tag >= 0) {
        auto len = r_.ReadCiiLength(remaining);
        if (!len) return Damaged(Tr("長さの途中でファイルが終わっています"));
        std::string value;
        if (!r_.ReadCiiBytes(value, *len)) return Damaged(Tr("値の途中でファイルが終わっています"));
        remaining -= static_cast<long long>(*len);
        out_ << indent() << "tag " << tag << " length " << *len << " " << Show(value) << "\n";
        continue;
      }
      switch (*b) {
        case kExtendedTags:
          if (!extended) out_ << indent() << Tr("(拡張タグ)") << "\n";
          extended = true;
          break;
        case kGroupStart:
        case kGroupStart16: {
          std::string id;
          if (extended) {
            auto n1 = r_.ReadCiiByte();
            if (!n1) return Damaged(Tr("グループ開始の途中でファイルが終わっています"));
            --remaining;
            if (*b == kGroupStart16) {
              auto n2 = r_.ReadCiiByte();
              if (!n2) return Damaged(Tr("グループ開始の途中でファイルが終わっています"));
              --remaining;
              id = " " + std::to_string(*n1 * 256 + *n2);
            } else {
              id = std::string(" ") + static_cast<char>(*n1 >= 0x20 && *n1 < 0x7F ? *n1 : '?');
            }
          }
          ++level;
          if (level > kListedDepth) {
            // Deeper than any format nests: one line says so, the rest is not listed.
            if (!deepNoted) out_ << indent() << TrArgs("({1} 階層より深いグループは表示しません)", {std::to_string(kListedDepth)}) << "\n";
            deepNoted = true;
            break;
          }
          out_ << margin(level - 1) << "  group" << id << "\n";
          out_ << margin(level) << "repetition 1\n";
          rep_.resize(static_cast<std::size_t>(level) + 1);
          rep_[static_cast<std::size_t>(level)] = 1;
          break;
        }
        case kNextRepeat:
          if (level > 0 && level <= kListedDepth)
            out_ << margin(level) << "repetition " << ++rep_[static_cast<std::size_t>(level)] << "\n";
          break;
        case kGroupEnd:
          if (level > 0) --level;
          if (level < kListedDepth) out_ << indent() << "end of group\n";
          break;
        case kMessageEnd:
          if (remaining != 0) out_ << "  " << TrArgs("(長さがメッセージの終わりと {1} バイト違います)", {std::to_string(remaining)}) << "\n";
          if (BlockSizeFor(header_.storageMode()) != kLargeBlock && !r_.SkipRestOfBlock())
            return Damaged(Tr("ブロックの埋め草の途中でファイルが終わっています"));
          return true;
        default:
          break;
      }
    }
  }

  std::ostream& out_;
  TranslationLog log_;
  CiiBlockReader r_;
  CiiHeaderRecord header_;
  // Groups are listed down to this depth (no real format nests so deep), and indented for
  // at most kShownDepth levels, so that the listing stays proportional to the file.
  static constexpr long long kListedDepth = 64;
  static constexpr long long kShownDepth = 16;
  std::vector<long long> rep_;
  StrayLeads stray_;
  bool headerSeen_ = false;
  bool groupOpen_ = false;  // a header was read and its trailer not yet
  bool ok_ = true;
};

}  // namespace

bool DumpCiiFile(std::istream& in, std::ostream& out) { return Dumper(in, out).Run(); }

}  // namespace edi::cii
