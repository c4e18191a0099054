// The benchmark's generated in-house files: fixed-length CP932 lines with CR LF, keys in the
// order asked for, and accepted by the translator under the bench masters.
#include "local_file_generator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "app/text.h"
#include "bench_masters.h"
#include "cii/translator.h"
#include "test_support.h"

namespace edi::bench {
namespace {

std::string Partner(const std::string& line) { return line.substr(27, 12); }

TEST(LocalFileGenerator, LinesAreFixedLengthCp932WithTheKeysInTurn) {
  for (int details : {1, 3, 40}) {
    GeneratorOptions options;
    options.lines = 60;
    options.keys = 4;
    options.linesPerKey = 3;
    options.details = details;
    LocalFileGenerator generator(options);
    for (long long i = 0; i < options.lines; ++i) {
      const std::string line = generator.Line(i);
      ASSERT_EQ(line.size(), static_cast<std::size_t>(LineBytes(details))) << "line " << i;
      EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
      EXPECT_TRUE(IsValidAnsiBytes(line));
      EXPECT_EQ(line.find('?'), std::string::npos) << "a value CP932 cannot hold: " << FromAnsiBytes(line);
      EXPECT_EQ(line.substr(5, 4), "0101");
      EXPECT_EQ(Partner(line), PartnerCode(static_cast<int>((i / 3) % 4)));
    }
  }
}

TEST(LocalFileGenerator, SameSeedSameFileAndSizeTarget) {
  GeneratorOptions options;
  options.targetBytes = 100000;
  std::ostringstream a, b;
  EXPECT_EQ(LocalFileGenerator(options).Write(a), 100000 / LineBytes(3));
  LocalFileGenerator(options).Write(b);
  EXPECT_EQ(a.str(), b.str());
  options.seed = 2;
  std::ostringstream c;
  LocalFileGenerator(options).Write(c);
  EXPECT_NE(a.str(), c.str());
  std::set<std::string> partners;
  for (int k = 0; k < 12; ++k) partners.insert(PartnerCode(k));
  EXPECT_EQ(partners.size(), 12u);
}

// Counts the header blocks ("0C") of a CII file of 251-byte blocks.
int Groups(const std::string& cii) {
  int n = 0;
  for (std::size_t at = 0; at + 2 <= cii.size(); at += 251) n += cii.compare(at, 2, "0C") == 0;
  return n;
}

// A database in the folder with the demo format and the partners of `keys` keys.
auto DemoDatabase(const test::TempDir& dir, int keys) {
  auto db = test::TestDatabase::Sqlite(dir.path());
  LoadDemoFormats(db->db(), std::filesystem::path(EDI_SOURCE_DIR) / "db/demo");
  AddBenchPartners(db->db(), keys);
  return db;
}

TEST(LocalFileGenerator, TranslatesUnderTheBenchMasters) {
  test::TempDir dir;
  auto db = DemoDatabase(dir, 5);
  SetDetailRepeats(db->db(), 30);

  GeneratorOptions options;
  options.lines = 40;
  options.keys = 5;
  options.linesPerKey = 2;
  options.details = 30;
  {
    std::ofstream out(dir / "in.LOC", std::ios::binary);
    LocalFileGenerator(options).Write(out);
  }
  cii::Translator translator(db->db(), dir / "ERR.LOG");
  const long long before = db->db().statementCount();
  ASSERT_EQ(translator.RunOutboundTranslation("", 1, "1", dir / "in.LOC", dir / "out.CII"), "0000");
  // One group per run of two lines; the masters are read once per partner, not per group.
  EXPECT_EQ(Groups(test::ReadBytes(dir / "out.CII")), 20);
  EXPECT_LE(db->db().statementCount() - before, 5 + 3);

  // Read back, every line comes out with the detail group in its place.
  ASSERT_EQ(translator.RunOutboundTranslation("", 2, "2", dir / "out.CII", dir / "back.LOC"), "0000");
  const std::string back = test::ReadBytes(dir / "back0101.LOC");
  EXPECT_EQ(static_cast<long long>(std::count(back.begin(), back.end(), '\n')), options.lines);
}

// The wide layout: fixed-length lines that the wide format's masters take whole, and the
// repeated group and the short items come back from the CII file in their places.
TEST(LocalFileGenerator, WideLayoutRoundTrips) {
  test::TempDir dir;
  auto db = DemoDatabase(dir, 2);
  AddWideFormat(db->db(), 2);

  GeneratorOptions options;
  options.layout = Layout::Wide;
  options.lines = 30;
  options.keys = 2;
  options.linesPerKey = 15;
  std::string file;
  {
    LocalFileGenerator generator(options);
    for (long long i = 0; i < options.lines; ++i) {
      const std::string line = generator.Line(i);
      ASSERT_EQ(line.size(), static_cast<std::size_t>(WideLineBytes())) << "line " << i;
      EXPECT_TRUE(IsValidAnsiBytes(line));
      EXPECT_EQ(line.substr(5, 4), kWideCategory);
      file += line;
    }
    std::ofstream(dir / "in.LOC", std::ios::binary) << file;
  }
  cii::Translator translator(db->db(), dir / "ERR.LOG");
  ASSERT_EQ(translator.RunOutboundTranslation("", 1, "1", dir / "in.LOC", dir / "out.CII"), "0000");
  EXPECT_EQ(Groups(test::ReadBytes(dir / "out.CII")), 2);
  ASSERT_EQ(translator.RunOutboundTranslation("", 2, "2", dir / "out.CII", dir / "back.LOC"), "0000");
  const std::string back = test::ReadBytes(dir / "back0202.LOC");
  ASSERT_EQ(back.size(), file.size());
  // Non-blank codes and the code and count of the filled repetitions (at least half of them)
  // come back byte for byte; blanks come back as their empty values, so whole lines differ.
  const std::size_t group = 39 + 35 * (kWideShortItems / 5);
  for (std::size_t at = 0; at < file.size(); at += WideLineBytes()) {
    EXPECT_EQ(back.substr(at + 5, 4), kWideCategory);
    for (std::size_t r = 0; r < kWideRepeats / 2; ++r)
      EXPECT_EQ(back.substr(at + group + r * kWideMemberBytes, 8), file.substr(at + group + r * kWideMemberBytes, 8));
    if (file[at + 39] != ' ') EXPECT_EQ(back.substr(at + 39, 6), file.substr(at + 39, 6));
  }
}

// The short layout likewise: its lines are taken whole, and the filled repetitions of the
// group (all ASCII, at least half of them) come back in their places.
TEST(LocalFileGenerator, ShortLayoutRoundTrips) {
  test::TempDir dir;
  auto db = DemoDatabase(dir, 1);
  AddShortFormat(db->db(), 1);
  GeneratorOptions options;
  options.layout = Layout::Short;
  options.targetBytes = 40 * ShortLineBytes();
  std::string file;
  {
    LocalFileGenerator generator(options);
    std::ostringstream out;
    ASSERT_EQ(generator.Write(out), 40);
    file = out.str();
    std::ofstream(dir / "in.LOC", std::ios::binary) << file;
  }
  ASSERT_EQ(file.size(), 40u * ShortLineBytes());
  cii::Translator translator(db->db(), dir / "ERR.LOG");
  ASSERT_EQ(translator.RunOutboundTranslation("", 1, "1", dir / "in.LOC", dir / "out.CII"), "0000");
  ASSERT_EQ(translator.RunOutboundTranslation("", 2, "2", dir / "out.CII", dir / "back.LOC"), "0000");
  const std::string back = test::ReadBytes(dir / "back0303.LOC");
  ASSERT_EQ(back.size(), file.size());
  const std::size_t group = 39 + kShortCycleBytes * (kShortItems / 10);
  for (std::size_t at = 0; at < file.size(); at += ShortLineBytes()) {
    EXPECT_EQ(back.substr(at + 5, 4), kShortCategory);
    EXPECT_EQ(back.substr(at + group, kShortMemberBytes * kShortRepeats / 2),
              file.substr(at + group, kShortMemberBytes * kShortRepeats / 2));
  }
}

}  // namespace
}  // namespace edi::bench
