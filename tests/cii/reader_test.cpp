// The CII-to-local reader: the inverse of the writer on generated tables and values, the
// demo format through the database masters, and the reader's own codes.
#include <fstream>
#include <random>
#include <sstream>

#include "app/text.h"
#include "cii/dump.h"
#include "cii/format.h"
#include "cii/masters.h"
#include "cii_fixture.h"

namespace edi::cii::test {
namespace {

// Random well-formed item tables (E and L at the same indexes) and lines that fill them.
struct Generated {
  std::vector<ItemFormat> edi, local;
  long long width = 0;
};

Generated GenerateTables(std::mt19937& rng) {
  Generated g;
  int seq = 0;
  long long pos = 1;
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* attrs[] = {"X", "9", "N", "Y", "K", "B"};
  std::function<void(int, int)> add = [&](int level, int count) {
    for (int k = 0; k < count; ++k) {
      ++seq;
      if (level < 2 && pick(4) == 0) {
        int reps = 1 + pick(3);
        std::string mdn = pick(2) ? "0" : std::string(1, static_cast<char>('1' + pick(9)));
        g.edi.push_back(Item(seq, seq, level, 900 + seq, "", "M", 0, 0, mdn, reps));
        g.local.push_back(Item(seq, seq, level, 0, std::to_string(pos), "M", 0, 0, mdn, reps));
        long long start = pos;
        add(level + 1, 1 + pick(3));
        long long groupLength = pos - start;
        pos = start + groupLength * reps;
        continue;
      }
      std::string a = attrs[pick(6)];
      // Tags are unique within a format: an omitted item could not be told from another.
      long long tag = pick(5) == 0 ? 240 + seq * 997 : seq;
      if (tag >= 0xF000 && tag <= 0xFFFF) tag += 0x1000;  // no tag has this form
      int len = 1 + pick(12), dec = 0;
      if (a == "Y") len = pick(2) ? 8 : 6;
      if ((a == "9" || a == "N") && pick(2)) dec = 1 + pick(std::min(len, 3));
      if (a == "K") len = 2 * (1 + pick(6));
      int ediLen = a == "Y" ? 8 : len;
      g.edi.push_back(Item(seq, seq, level, tag, "", a, ediLen, dec));
      g.local.push_back(Item(seq, seq, level, 0, std::to_string(pos), a, len, dec));
      pos += len + ((a == "9" || a == "N") && dec ? 1 : 0);
    }
  };
  add(0, 2 + pick(6));
  g.width = pos - 1;
  return g;
}

std::string TwoDigit(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

// A random value for a local item, in its local form.
std::string RandomValue(std::mt19937& rng, const ItemFormat& l) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  if (pick(4) == 0) {  // empty in its own way
    if (l.attribute == "9" || l.attribute == "N") {
      std::string z(static_cast<std::size_t>(l.length), '0');
      if (l.decimals) z.insert(z.size() - static_cast<std::size_t>(l.decimals), ".");
      return z;
    }
    if (l.attribute == "Y") return std::string(static_cast<std::size_t>(l.length), '0');
    if (l.attribute == "K") {
      std::string s;
      for (int i = 0; i < l.length / 2; ++i) s += "\x81\x40";
      return s;
    }
    return std::string(static_cast<std::size_t>(l.length), ' ');
  }
  std::string v;
  if (l.attribute == "9" || l.attribute == "N") {
    for (int i = 0; i < l.length; ++i) v += static_cast<char>('0' + pick(10));
    if (l.decimals) v.insert(v.size() - static_cast<std::size_t>(l.decimals), ".");
  } else if (l.attribute == "Y") {
    v = l.length == 8 ? "20" : "";
    v += TwoDigit(pick(30)) + TwoDigit(1 + pick(12)) + TwoDigit(1 + pick(28));
  } else if (l.attribute == "K") {
    const char* kanji[] = {"\x8a\xbf", "\x8e\x9a", "\x83\x41", "\x82\x60", "\x88\x9f"};
    for (int i = 0; i < l.length / 2; ++i) v += kanji[pick(5)];
  } else {
    for (int i = 0; i < l.length; ++i) v += static_cast<char>('A' + pick(26));
    if (l.attribute == "X") v[0] = 'Z';  // leading spaces are trimmed by the rule
  }
  return v;
}


// Fills a line of the generated layout: every item in every repetition.
std::string GenerateLine(std::mt19937& rng, const Generated& g) {
  std::string line(static_cast<std::size_t>(g.width), ' ');
  std::function<std::size_t(std::size_t, int, long long)> fill = [&](std::size_t i, int level, long long base) {
    while (i < g.local.size() && g.local[i].level >= level) {
      const ItemFormat& l = g.local[i];
      if (l.isGroup()) {
        std::size_t after = i + 1;
        // The group's length is what LoadItemFormats computes; take it from a loaded table.
        ItemTable t;
        LoadItemFormats(t, g.local);
        long long len = t[i + 1].length;
        for (int r = 0; r < l.repeats(); ++r) after = fill(i + 1, level + 1, base + r * len);
        i = after;
        continue;
      }
      std::string v = RandomValue(rng, l);
      line.replace(static_cast<std::size_t>(l.positionNumber() + base - 1), v.size(), v);
      ++i;
    }
    return i;
  };
  fill(0, 0, 0);
  return line;
}

class RoundTrip : public Engine {};

TEST_F(RoundTrip, LocalToCiiToLocalKeepsEveryLineOnGeneratedTables) {
  for (std::string storage : {"M", "S"}) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
      SCOPED_TRACE("storage " + storage + " seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      Generated g = GenerateTables(rng);
      Format(g.edi, g.local, GroupInfo("ABCD0101", storage, seed % 3 == 0 ? "S" : seed % 3 == 1 ? "M" : "U"));
      std::vector<std::string> lines;
      for (int n = 0; n < 3; ++n) lines.push_back(GenerateLine(rng, g));
      std::string name = storage + std::to_string(seed);
      log.ClearResult();
      Write(lines, name + ".cii");
      ASSERT_EQ(log.resultCode(), "") << Log();
      Read(dir / (name + ".cii"), dir / (name + ".out"));
      ASSERT_EQ(log.resultCode(), "") << Log();
      std::string back = edi::test::ReadBytes(dir / (name + "0101.out"));
      std::string expected;
      for (const auto& l : lines) expected += "     " + Key("0101", "SENDER01", "RECEIVER01").substr(5) + l + "\r\n";
      EXPECT_EQ(back, expected);
    }
  }
}

#ifndef EDI_WITHOUT_DATABASE  // the cross-build has no database
TEST_F(RoundTrip, TheDemoFormatThroughTheDatabase) {
  auto db = edi::test::TestDatabase::Sqlite(dir.path());
  ASSERT_TRUE(edi::test::LoadDemoFormats(db->db()));
  DatabaseMasters dbMasters(db->db());
  CachedMasters cached(dbMasters);
  TranslationContext ctx{cached, log, state, FixedTime};
  const auto local = std::filesystem::path(EDI_SOURCE_DIR) / "db/demo/local/0101.LOC";
  ConvertLocalToCii(ctx, local, dir / "demo.cii");
  ASSERT_EQ(log.resultCode(), "") << Log();
  std::ifstream in(dir / "demo.cii", std::ios::binary);
  std::ostringstream listing;
  EXPECT_TRUE(DumpCiiFile(in, listing));
  EXPECT_NE(listing.str().find("JPC10 \"ORDR\""), std::string::npos);
  EXPECT_NE(listing.str().find("tag 12 length 14 \"鋼板ＳＳ４００\""), std::string::npos) << listing.str();
  EXPECT_NE(listing.str().find("tag 13 length 4 \"1250\""), std::string::npos);
  EXPECT_NE(listing.str().find("trailer: 2 messages"), std::string::npos);

  ConvertCiiToLocal(ctx, dir / "demo.cii", dir / "back.loc");
  ASSERT_EQ(log.resultCode(), "") << Log();
  std::string original = edi::test::ReadBytes(local), back = edi::test::ReadBytes(dir / "back0101.loc");
  // Data parts come back; half-width kana and a half-width space in kanji items become full-width.
  std::istringstream a(original), b(back);
  std::string la, lb;
  int lines = 0;
  while (std::getline(a, la) && std::getline(b, lb)) {
    ++lines;
    EXPECT_EQ(la.substr(39, 24), lb.substr(39, 24));
    EXPECT_EQ(la.substr(39 + 44, 15), lb.substr(39 + 44, 15));  // line number and item code
    EXPECT_EQ(la.substr(39 + 75, 17), lb.substr(39 + 75, 17));  // quantity and price
  }
  EXPECT_EQ(lines, 3);
}
#endif

// Files that break the reader's expectations: each code once.
class Reader : public Engine {
 protected:
  void SetUp() override {
    Format({Item(1, 1, 0, 1, "", "X", 3), Item(2, 2, 0, 2, "", "B", 2)},
           {Item(1, 1, 0, 0, "1", "X", 3), Item(2, 2, 0, 0, "4", "K", 2)});
    Write({"abc  "}, "good.cii");
    good = edi::test::ReadBytes(dir / "good.cii");
  }
  // Reads the bytes; returns the log lines after the run.
  std::string ReadBack(const std::string& bytes) {
    edi::test::WriteBytes(dir / "t.cii", bytes);
    std::filesystem::remove(dir / "ERR.LOG");
    std::filesystem::remove(dir / "t0101.loc");
    log.ClearResult();
    Read(dir / "t.cii", dir / "t.loc");
    return Log();
  }
  std::string Message(const std::string& tfd) {
    std::string stream = "9D00001" + B({0, static_cast<int>(tfd.size() + 10)}) + tfd + B({0xFE});
    return stream + std::string(251 - stream.size(), ' ');
  }
  // A one-block message whose length is right (stream bytes from "D" through 0xFE).
  static std::string ExactMessage(const std::string& tfd) {
    std::string stream = "9D00001" + B({0, static_cast<int>(tfd.size() + 9)}) + tfd + B({0xFE});
    return stream + std::string(251 - stream.size(), ' ');
  }
  std::string good;
};

TEST_F(Reader, CodesForDamagedFiles) {
  const std::string header = good.substr(0, 251), trailer = good.substr(502, 251);
  EXPECT_EQ(ReadBack(good), "0021\r\n");  // "BK" has no rule: quiet, the line is still written
  EXPECT_EQ(log.resultCode(), "");
  EXPECT_TRUE(std::filesystem::exists(dir / "t0101.loc"));

  EXPECT_EQ(ReadBack(header.substr(0, 100)), "0007\r\n");
  EXPECT_EQ(ReadBack(header + good.substr(251, 5)), "0007\r\n");
  EXPECT_EQ(log.resultCode(), "0007");
  EXPECT_EQ(ReadBack(header + "A?" + "3X" + trailer), "0008-02\r\n0008-01\r\n");
  EXPECT_EQ(log.resultCode(), "");
  EXPECT_EQ(ReadBack(header + Message(B({1, 0xF5, 'x'})) + trailer).substr(0, 6), "0009\r\n");
  EXPECT_EQ(ReadBack(header + Message(B({0xFD, 1, 1}) + "a") + trailer).substr(0, 6), "0011\r\n");
  EXPECT_EQ(ReadBack(header + Message(B({1, 3}) + "abc" + B({0xFB})) + trailer).substr(0, 6), "0013\r\n");
  EXPECT_EQ(log.resultCode(), "");
  EXPECT_EQ(ReadBack(header + Message(B({1, 0})) + trailer), "0015\r\n");
  EXPECT_EQ(log.resultCode(), "0015");
  EXPECT_EQ(ReadBack(good.substr(251, 251)), "0034\r\n");
}

// Group starts: one-byte mode takes the first group item whatever its number; extended mode
// matches the byte after 0xFA as a character first, then as a value; a group that matches no
// group item stops the conversion, since its data would have no place in the line.
TEST_F(Reader, GroupStartsByCharacterThenValueAndUnknownGroupsStop) {
  // Level 0: group "51" (1 repetition of 2 bytes at 1), then group "3" (2 of 2 bytes at 3).
  Format({Item(1, 1, 0, 0, "", "M", 0, 0, "51", 1), Item(2, 2, 1, 1, "", "X", 2),
          Item(3, 3, 0, 0, "", "M", 0, 0, "3", 2), Item(4, 4, 1, 1, "", "X", 2)},
         {Item(1, 1, 0, 0, "1", "M", 0, 0, "51", 1), Item(2, 2, 1, 0, "1", "X", 2),
          Item(3, 3, 0, 0, "3", "M", 0, 0, "3", 2), Item(4, 4, 1, 0, "3", "X", 2)});
  Write({"aabbcc"}, "groups.cii");
  const std::string written = edi::test::ReadBytes(dir / "groups.cii");
  const std::string header = written.substr(0, 251), trailer = written.substr(written.size() - 251);
  auto line = [&] { return edi::test::ReadBytes(dir / "t0101.loc").substr(39); };

  // The character "3" (0x33 = 51) is group "3", not group "51"; the value 3 is group "3" too.
  EXPECT_EQ(ReadBack(header + ExactMessage(B({0xF0, 0xFA, '3', 0, 1, 2}) + "xy" + B({0xFB, 0, 1, 2}) + "zz" + B({0xFC})) +
                     trailer),
            "");
  EXPECT_EQ(line(), "  xyzz\r\n");
  EXPECT_EQ(ReadBack(header + ExactMessage(B({0xF0, 0xFA, 3, 0, 1, 2}) + "xy" + B({0xFC})) + trailer), "");
  EXPECT_EQ(line(), "  xy  \r\n");
  // 0xFA alone in one-byte mode: the first group item of the level, here "51".
  EXPECT_EQ(ReadBack(header + ExactMessage(B({0xFA, 1, 2}) + "xy" + B({0xFC})) + trailer), "");
  EXPECT_EQ(line(), "xy    \r\n");

  // Group 7 is in no form: the conversion stops with 0014 and writes no line.
  EXPECT_EQ(ReadBack(header + ExactMessage(B({0xF0, 0xFA, '7', 0, 1, 2}) + "xy" + B({0xFC})) + trailer), "0014\r\n");
  EXPECT_EQ(log.resultCode(), "0014");
  EXPECT_FALSE(std::filesystem::exists(dir / "t0101.loc") && !edi::test::ReadBytes(dir / "t0101.loc").empty());
  // Nested group starts without a group item stop at the first one, however many follow.
  EXPECT_EQ(ReadBack(header + ExactMessage(B({0xFA, 1, 2}) + "xy" + std::string(200, '\xFA')) + trailer), "0014\r\n");
}

// Control bytes that mean nothing where a tag is expected are skipped with a quiet line:
// 0013 in one-byte mode, 0010 in extended mode; the line is still written.
TEST_F(Reader, SkippedControlBytesAreLoggedQuietly) {
  const std::string header = good.substr(0, 251), trailer = good.substr(502, 251);
  EXPECT_EQ(ReadBack(header + ExactMessage(B({0xF3, 0xF8, 0xF9, 0xFF, 1, 3}) + "abc") + trailer),
            "0013\r\n0013\r\n0013\r\n0013\r\n");
  EXPECT_EQ(log.resultCode(), "");
  EXPECT_EQ(edi::test::ReadBytes(dir / "t0101.loc").substr(39, 3), "abc");
  // Extended mode: 0xF0 and 0xF8 are fillers, 0xF9 takes the next byte with it, 0xFF is logged.
  EXPECT_EQ(ReadBack(header + ExactMessage(B({0xF0, 0xF0, 0xF8, 0xF9, 0x41, 0xFF, 0, 1, 3}) + "abc") + trailer),
            "0010\r\n");
  EXPECT_EQ(edi::test::ReadBytes(dir / "t0101.loc").substr(39, 3), "abc");
}

TEST_F(Reader, DamagedBytesNeverCrashTheReaderOrTheListing) {
  Format({Item(1, 1, 0, 9, "", "M", 0, 0, "0", 3), Item(2, 2, 1, 1, "", "X", 3), Item(3, 3, 0, 300, "", "K", 4)},
         {Item(1, 1, 0, 0, "1", "M", 0, 0, "0", 3), Item(2, 2, 1, 0, "1", "X", 3), Item(3, 3, 0, 0, "10", "K", 4)});
  std::string base = Write({"abcdefghi" + ToAnsiBytes("漢字")}, "fuzz.cii");
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    std::string bytes = base;
    for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k)
      bytes[251 + rng() % 251] = static_cast<char>(rng() % 256);
    if (seed % 5 == 0) bytes.resize(251 + rng() % 500);
    ReadBack(bytes);
    std::istringstream in(bytes);
    std::ostringstream listing;
    DumpCiiFile(in, listing);
  }
  SUCCEED();
}

TEST_F(Reader, LengthMismatchIsLoggedAndTheLineKept) {
  std::string header = good.substr(0, 251), trailer = good.substr(502, 251);
  std::string tfd = B({1, 3}) + "abc";
  std::string stream = "9D00001" + B({0, 40}) + tfd + B({0xFE});
  EXPECT_EQ(ReadBack(header + stream + std::string(251 - stream.size(), ' ') + trailer),
            std::string("0012") + ToAnsiBytes("長さ違い") + "\r\n");
  EXPECT_EQ(edi::test::ReadBytes(dir / "t0101.loc").substr(39), "abc\x81\x40\r\n");
}

// A reading that fails after a whole group leaves the local file as it was before: an
// earlier file keeps its length, a new one is not left behind.
TEST_F(Reader, AFailedReadingPutsTheLocalFilesBack) {
  const std::string cut = good + good.substr(0, 251) + good.substr(251, 5);
  EXPECT_EQ(ReadBack(cut), "0021\r\n0007\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "t0101.loc"));

  edi::test::WriteBytes(dir / "t.cii", cut);
  edi::test::WriteBytes(dir / "t0101.loc", "EARLIER\r\n");
  log.ClearResult();
  Read(dir / "t.cii", dir / "t.loc");
  EXPECT_EQ(log.resultCode(), "0007");
  EXPECT_EQ(edi::test::ReadBytes(dir / "t0101.loc"), "EARLIER\r\n");
}

TEST_F(Reader, OneLocalFilePerCategoryAndNoPathsFromTheFile) {
  EXPECT_EQ(LocalPathForCategory("/in/R0001.DAT", "0105"), std::filesystem::path("/in/R00010105.DAT"));
  EXPECT_EQ(LocalPathForCategory("/a.b/R0001", "0105"), std::filesystem::path("/a.b/R00010105"));
  EXPECT_EQ(LocalPathForCategory("/in/R.DAT", "../x"), std::filesystem::path("/in/R___x.DAT"));
}

}  // namespace
}  // namespace edi::cii::test
