// CII → XML → CII over generated formats and values with fixed seeds: the CII writer makes
// the first CII file, the two XML conversions bring it back. The header body, the messages
// with their numbering and the trailer count must come back, in every document encoding.
#include <random>

#include "app/text.h"
#include "cii/writer.h"
#include "xml_fixture.h"

namespace edi::xml::test {
namespace {

struct Group {
  std::string header;
  std::vector<std::pair<int, std::string>> messages;  // number, TFD bytes
  int trailerCount = -1;
};

// Splits a CII file into its groups (251-byte header blocks; message blocks of the mode).
std::vector<Group> ParseCii(const std::string& cii, char mode) {
  const std::size_t block = mode == 'S' ? 32001 : 251;
  std::vector<Group> groups;
  std::string stream;
  std::size_t wanted = 0;
  std::size_t pos = 0;
  while (pos < cii.size()) {
    if (cii[pos] == '0') {
      if (cii[pos + 1] == 'C') groups.push_back({cii.substr(pos + 2, 249), {}, -1});
      if (cii[pos + 1] == 'E') groups.back().trailerCount = std::stoi(cii.substr(pos + 2, 5));
      pos += 251;
      continue;
    }
    // A message: the first block's prefix gives the stream length (from "D" through 0xFE).
    if (stream.empty()) {
      const std::string p = cii.substr(pos + 1, 16);
      long long length = 0;
      if (static_cast<unsigned char>(p[6]) == 0x80 && static_cast<unsigned char>(p[7]) == 0x80) {
        length = std::stoll(p.substr(9, 7));
      } else {
        length = static_cast<unsigned char>(p[6]) * 256 + static_cast<unsigned char>(p[7]);
      }
      stream.reserve(static_cast<std::size_t>(length));
      wanted = static_cast<std::size_t>(length);
    }
    const char lead = cii[pos];
    const std::size_t take = std::min(block - 1, wanted - stream.size());
    stream += cii.substr(pos + 1, take);
    pos += lead == '9' && block == 32001 ? 1 + take : block;
    if (lead != '9') continue;
    const std::size_t prefix =
        static_cast<unsigned char>(stream[6]) == 0x80 && static_cast<unsigned char>(stream[7]) == 0x80 ? 16 : 8;
    const std::size_t length = wanted;
    groups.back().messages.push_back({std::stoi(stream.substr(1, 5)), stream.substr(prefix, length - prefix - 1)});
    stream.clear();
  }
  return groups;
}

// The TFD bytes as tokens, independent of where the tag mode switches: "T<tag>:<value>",
// "G" group start, "R" next repetition, "E" group end.
std::vector<std::string> Tokens(const std::string& tfd) {
  std::vector<std::string> out;
  bool ext = false;
  std::size_t i = 0;
  auto byte = [&] { return static_cast<unsigned char>(tfd.at(i++)); };
  while (i < tfd.size()) {
    unsigned c = byte();
    long long tag = -1;
    if (c <= 0xEF) {
      tag = ext ? c * 256 + byte() : c;
    } else if (ext && c >= 0xF1 && c <= 0xF7) {
      tag = (c - 0xF0) * 65536LL;
      tag += byte() * 256;
      tag += byte();
    } else if (c == 0xF0) {
      ext = true;
    } else if (c == 0xFA) {
      if (ext) byte();
      out.push_back("G");
    } else if (c == 0xFD) {
      byte();
      byte();
      out.push_back("G");
    } else if (c == 0xFB) {
      out.push_back("R");
    } else if (c == 0xFC) {
      out.push_back("E");
    }
    if (tag >= 0) {
      std::size_t len = byte();
      if (len == 0xF2) {
        len = byte() * 256u;
        len += byte();
      }
      out.push_back("T" + std::to_string(tag) + ":" + tfd.substr(i, len));
      i += len;
    }
  }
  return out;
}

// A generated format: E and L items at the same indexes, and a generator of local lines.
class Generated {
 public:
  Generated(unsigned seed, bool wideTags) : rng_(seed), wide_(wideTags) {
    int next = 1;
    auto data = [&](int level) { Data(level, next); };
    for (int n = Pick(1, 3); n > 0; --n) data(0);
    const std::vector<std::string> numbers = {"0", "3", "A", "12"};
    OpenGroup(0, numbers[Pick(0, 3)], Pick(1, 3));
    for (int n = Pick(1, 3); n > 0; --n) data(1);
    if (Pick(0, 1) == 1) {
      OpenGroup(1, Pick(0, 1) ? "5" : "0", Pick(1, 2));
      for (int n = Pick(1, 2); n > 0; --n) data(2);
      CloseGroup();
    }
    CloseGroup();
    for (int n = Pick(1, 2); n > 0; --n) data(0);
  }

  std::vector<cii::ItemFormat> edi, local;

  // The data part of one line.
  std::string Line() {
    std::string line(static_cast<std::size_t>(recordLength_), ' ');
    for (const Slot& s : slots_) {
      const std::string v = Value(s.attribute, s.width);
      line.replace(static_cast<std::size_t>(s.offset), v.size(), v);
    }
    return line;
  }

 private:
  struct Slot {
    long long offset;
    std::string attribute;
    int width;
  };
  struct Open {
    std::size_t index;
    long long start;
    int repeats;
    std::vector<std::size_t> slotsFrom;  // first slot of this group
    std::size_t firstSlot;
  };

  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  void Add(int level, long long itemNo, const std::string& attr, int ediLen, int localLen, const std::string& mdn,
           int repeats) {
    const int seq = static_cast<int>(edi.size()) + 1;
    edi.push_back(Item(seq, seq, level, itemNo, "", attr, ediLen, 0, mdn, repeats));
    local.push_back(Item(seq, seq, level, 0, std::to_string(cursor_ + 1), attr, localLen, 0, mdn, repeats));
  }

  void Data(int level, int& next) {
    static const char* kAttrs[] = {"X", "N", "9", "Y", "K", "B"};
    const std::string attr = kAttrs[Pick(0, 5)];
    long long itemNo = wide_ && Pick(0, 2) == 0 ? 300 + next : next;
    ++next;
    int ediLen = 0, localLen = 0;
    if (attr == "X") ediLen = localLen = Pick(1, 8);
    if (attr == "N" || attr == "9") ediLen = 7, localLen = 5;
    if (attr == "Y") ediLen = localLen = 8;
    if (attr == "K") ediLen = localLen = 6;
    if (attr == "B") ediLen = localLen = 3;
    Add(level, itemNo, attr, ediLen, localLen, "0", 0);
    slots_.push_back({cursor_, attr, localLen});
    cursor_ += localLen;
    recordLength_ = std::max(recordLength_, cursor_);
  }

  void OpenGroup(int level, const std::string& mdn, int repeats) {
    Add(level, 0, "M", 0, 0, mdn, repeats);
    open_.push_back({edi.size(), cursor_, repeats, {}, slots_.size()});
  }

  // Copies the slots of the first repetition for the others.
  void CloseGroup() {
    Open g = open_.back();
    open_.pop_back();
    const long long width = cursor_ - g.start;
    const std::size_t end = slots_.size();
    for (int r = 1; r < g.repeats; ++r) {
      for (std::size_t s = g.firstSlot; s < end; ++s) {
        Slot copy = slots_[s];
        copy.offset += r * width;
        slots_.push_back(copy);
      }
    }
    cursor_ = g.start + width * g.repeats;
    recordLength_ = std::max(recordLength_, cursor_);
  }

  std::string Value(const std::string& attr, int width) {
    const bool empty = Pick(0, 4) == 0;
    if (attr == "X") {
      if (empty) return std::string(static_cast<std::size_t>(width), ' ');
      std::string v;
      for (int i = Pick(1, width); i > 0; --i) v += "AB1<&>Z"[Pick(0, 6)];
      if (v.front() == ' ') v.front() = 'Q';
      return v;
    }
    if (attr == "N" || attr == "9") {
      if (empty) return "00000";
      char buf[8];
      std::snprintf(buf, sizeof buf, "%05d", Pick(1, 99999));
      return buf;
    }
    if (attr == "Y") return empty ? "00000000" : "20" + std::to_string(Pick(10, 39)) + "0" + std::to_string(Pick(1, 9)) +
                                                     std::to_string(Pick(10, 28));
    if (attr == "K") {
      if (empty) return "      ";
      static const char* kKanji[] = {"漢", "字", "東", "京", "ア", "Ａ"};
      std::string v;
      for (int i = 0; i < 3; ++i) v += ToAnsiBytes(kKanji[Pick(0, 5)]);
      return v;
    }
    std::string v;  // "B"
    for (int i = 0; i < width; ++i) v += static_cast<char>(Pick(0x21, 0x7E));
    return v;
  }

  std::mt19937 rng_;
  bool wide_;
  long long cursor_ = 0;
  long long recordLength_ = 0;
  std::vector<Slot> slots_;
  std::vector<Open> open_;
};

class RoundTrip : public XmlTest {};

TEST_F(RoundTrip, CiiToXmlToCiiOverGeneratedFormats) {
  const char* codes[] = {"M", "U", "S", " "};
  std::size_t elements = 0, groups = 0;  // the generated data must really exercise both
  for (unsigned seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const bool wide = seed % 3 == 0;
    const char mode = seed % 4 == 0 ? 'S' : 'M';
    Generated g(seed, wide);
    masters = {};
    cii::MessageGroupInfo info = cii::test::GroupInfo("ABCD0101", std::string(1, mode));
    masters.AddMessageGroup(cii::test::Pad12("PART"), cii::test::Pad12("OWN"), "0101", info);
    Format(g.edi, codes[seed % 4]);
    masters.SetItems('L', "0101", "ABCD0101", g.local);

    std::string lines;
    const int count = 1 + static_cast<int>(seed % 5);
    for (int i = 0; i < count; ++i) lines += cii::test::Key("0101", "OWN", "PART") + g.Line() + "\r\n";
    edi::test::WriteBytes(dir / "in.loc", lines);
    std::filesystem::remove(dir / "first.cii");
    std::filesystem::remove(dir / "second.cii");
    state = {};
    auto ctx = Context();
    cii::ConvertLocalToCii(ctx, dir / "in.loc", dir / "first.cii");
    ASSERT_EQ(log.resultCode(), "") << Log();
    const std::string first = edi::test::ReadBytes(dir / "first.cii");

    const std::string xml = ToXml(first);
    ASSERT_EQ(log.resultCode(), "") << Log();
    ASSERT_FALSE(xml.empty());
    const std::string second = ToCii(xml, "second.cii");
    ASSERT_EQ(log.resultCode(), "") << Log() << xml;

    const auto a = ParseCii(first, mode);
    const auto b = ParseCii(second, mode);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].header, a[0].header);
    EXPECT_EQ(b[0].trailerCount, count);
    ASSERT_EQ(b[0].messages.size(), a[0].messages.size());
    for (std::size_t m = 0; m < a[0].messages.size(); ++m) {
      EXPECT_EQ(b[0].messages[m].first, static_cast<int>(m) + 1);
      for (const auto& t : Tokens(a[0].messages[m].second)) (t[0] == 'T' ? elements : groups) += 1;
      if (wide) {
        // Where the tag mode switches may differ; the elements and groups may not.
        EXPECT_EQ(Tokens(b[0].messages[m].second), Tokens(a[0].messages[m].second)) << m;
      } else {
        EXPECT_EQ(b[0].messages[m].second, a[0].messages[m].second) << m;
      }
    }
  }
  EXPECT_GT(elements, 200u);
  EXPECT_GT(groups, 50u);
}

}  // namespace
}  // namespace edi::xml::test
