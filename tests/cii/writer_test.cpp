// The local-to-CII writer end to end over in-memory masters: header, messages, groups and
// repetitions, tag and block forms, and every code that stops a file.
#include "cii_fixture.h"
#include "cii/format.h"

namespace edi::cii::test {
namespace {

class Writer : public Engine {
 protected:
  // Two level-0 items: an alphanumeric of 10 bytes and a number of 7 digits with 2 decimals.
  void Simple(MessageGroupInfo info = GroupInfo()) {
    Format({Item(1, 0, 0, 1, "", "X", 10), Item(2, 0, 0, 2, "", "N", 9, 2)},
           {Item(1, 1, 0, 0, "1", "X", 10), Item(2, 2, 0, 0, "11", "N", 7, 2)}, info);
  }
};

TEST_F(Writer, HeaderBlockHoldsEveryFieldAtItsOffset) {
  Simple();
  std::string cii = Write({"ABC       00012.50"});
  ASSERT_EQ(log.resultCode(), "");
  std::string h = cii.substr(0, 251);
  std::string expected = "0C";
  auto add = [&](std::string v, std::size_t n) {
    v.resize(n, ' ');
    expected += v;
  };
  add("P", 1);
  add("VAN1", 12); add("SCTR", 12); add("SENDER01", 12); add("RVAN", 12); add("RCTR", 12); add("RECEIVER01", 12);
  add("ABCD", 4); add("01", 2); add("01", 2); add("", 12); add("0101", 4); add("", 6); add("11", 2);
  add("REF0000001", 10); add("260203040506", 12); add("", 12); add("CII300", 6); add("E", 1); add("M", 1);
  add("1", 1); add("M", 1); add("", 11); add("0", 1);
  add("A01", 3); add("A02", 3); add("A03", 3); add("A04", 3); add("A05", 3); add("A06", 3); add("", 70);
  EXPECT_EQ(h, expected);
  EXPECT_EQ(cii.size(), 251u * 3);
  EXPECT_EQ(cii.substr(502, 7), "0E00001");
}

TEST_F(Writer, OneBlockMessageIsShortFormPaddedWithSpaces) {
  Simple();
  std::string cii = Write({"ABC       00012.50"});
  // Tag 1, length 3, ABC; tag 2, length 4, 1250; then the end.
  std::string tfd = B({1, 3}) + "ABC" + B({2, 4}) + "1250";
  std::string stream = "9D00001" + B({0, static_cast<int>(tfd.size() + 9)}) + tfd + B({0xFE});
  EXPECT_EQ(FirstMessageBlock(cii), stream + std::string(251 - stream.size(), ' '));
}

TEST_F(Writer, EmptyLocalValuesAreLeftOut) {
  Simple();
  std::string cii = Write({"          0000.00 "});
  EXPECT_EQ(FirstMessageBlock(cii).substr(0, 10), "9D00001" + B({0, 9, 0xFE}));
}

TEST_F(Writer, GroupsOfLinesByKeyAndBlankLines) {
  Simple();
  std::string a = Key("0101", "OWN", "PART"), b = Key("0101", "OWN", "PART2");
  masters.AddMessageGroup(Pad12("PART2"), Pad12("OWN"), "0101", GroupInfo());
  edi::test::WriteBytes(dir / "in.loc", a + "A         00001.00\r\n   \r\n" + a + "B         00002.00\r\n" + b +
                                            "C         00003.00\r\n");
  std::string cii = Convert(dir / "in.loc", dir / "o.cii");
  ASSERT_EQ(log.resultCode(), "");
  ASSERT_EQ(cii.size(), 251u * 7);
  EXPECT_EQ(cii.substr(251, 7), "9D00001");
  EXPECT_EQ(cii.substr(502, 7), "9D00002");
  EXPECT_EQ(cii.substr(753, 7), "0E00002");
  EXPECT_EQ(cii.substr(1004, 2), "0C");
  EXPECT_EQ(cii.substr(1255, 7), "9D00001");
  EXPECT_EQ(cii.substr(1506, 7), "0E00001");
  // Masters are read once per key, whatever the number of lines.
  int before = masters.lookups;
  std::string many;
  for (int i = 0; i < 40; ++i) many += (i % 2 ? a : b) + "A         00001.00\r\n";
  edi::test::WriteBytes(dir / "many.loc", many);
  MemoryMasters& inner = masters;
  CachedMasters cached(inner);
  TranslationContext ctx{cached, log, state, FixedTime};
  ConvertLocalToCii(ctx, dir / "many.loc", dir / "many.cii");
  EXPECT_EQ(masters.lookups - before, 5);  // FL1916 for each of 2 keys; FL1902, 'E', 'L' shared
  EXPECT_EQ(edi::test::ReadBytes(dir / "many.cii").size(), 251u * 40 * 3);
}

TEST_F(Writer, AppendsToAnExistingFile) {
  Simple();
  std::string first = Write({"A         00001.00"});
  std::string second = Write({"A         00001.00"});
  EXPECT_EQ(second.size(), 2 * first.size());
  EXPECT_EQ(second.substr(first.size()), first);
}

TEST_F(Writer, LongStreamsSplitIntoNumberedBlocks) {
  // One 600-byte alphanumeric item: stream 1 + 5 + 2 + (1 + 3 + 600) + 1 = 613 bytes.
  Format({Item(1, 0, 0, 7, "", "X", 600)}, {Item(1, 1, 0, 0, "1", "X", 600)});
  std::string value(600, 'x');
  std::string cii = Write({value});
  ASSERT_EQ(cii.size(), 251u * 5);
  EXPECT_EQ(cii.substr(251, 2), "1D");
  EXPECT_EQ(cii.substr(502, 1), "2");
  EXPECT_EQ(cii.substr(753, 1), "9");
  std::string stream = "D00001" + B({613 >> 8, 613 & 0xFF, 7, 0xF2, 600 >> 8, 600 & 0xFF}) + value + B({0xFE});
  std::string carried = cii.substr(252, 250) + cii.substr(503, 250) + cii.substr(754, stream.size() - 500);
  EXPECT_EQ(carried, stream);
  EXPECT_EQ(cii.substr(754 + stream.size() - 500, 251 - 1 - (stream.size() - 500)),
            std::string(251 - 1 - (stream.size() - 500), ' '));
}

TEST_F(Writer, StorageModeSWritesLargeUnpaddedBlocks) {
  Format({Item(1, 0, 0, 7, "", "X", 5)}, {Item(1, 1, 0, 0, "1", "X", 5)}, GroupInfo("ABCD0101", "S"));
  std::string cii = Write({"HELLO"});
  std::string stream = "9D00001" + B({0, 16, 7, 5}) + "HELLO" + B({0xFE});
  EXPECT_EQ(cii.substr(2 + 103, 2), "10");
  EXPECT_EQ(cii.substr(251, stream.size()), stream);
  EXPECT_EQ(cii.substr(251 + stream.size(), 2), "0E");
}

TEST_F(Writer, MessagesLongerThanTheShortFormUseTheLongForm) {
  Format({Item(1, 0, 0, 7, "", "X", 40000)}, {Item(1, 1, 0, 0, "1", "X", 40000)}, GroupInfo("ABCD0101", "S"));
  std::string cii = Write({std::string(40000, 'y')});
  ASSERT_EQ(log.resultCode(), "");
  // TFD = tag, 0xF2 and two length bytes, 40000 data bytes: 40004; stream length + 17.
  EXPECT_EQ(cii.substr(251, 17), "1D00001" + B({0x80, 0x80, 0xF7}) + "0040021");
  EXPECT_EQ(cii.substr(251 + 32001, 1), "9");
}

TEST_F(Writer, ExtendedTagsFromTheFirstTagAbove239) {
  Format({Item(1, 0, 0, 239, "", "X", 1), Item(2, 0, 0, 300, "", "X", 1), Item(3, 0, 0, 5, "", "X", 1),
          Item(4, 0, 0, 0x12345, "", "X", 1)},
         {Item(1, 1, 0, 0, "1", "X", 1), Item(2, 2, 0, 0, "2", "X", 1), Item(3, 3, 0, 0, "3", "X", 1),
          Item(4, 4, 0, 0, "4", "X", 1)});
  std::string cii = Write({"abcd", "a   "});
  std::string tfd1 = B({0xEF, 1}) + "a" + B({0xF0, 0x01, 0x2C, 1}) + "b" + B({0, 5, 1}) + "c" +
                     B({0xF1, 0x23, 0x45, 1}) + "d";
  EXPECT_EQ(FirstMessageBlock(cii).substr(9, tfd1.size() + 1), tfd1 + B({0xFE}));
  // The next message starts again in one-byte mode; the switch comes with the first item
  // numbered 240 or more, even when its value is empty.
  EXPECT_EQ(cii.substr(502 + 9, 5), B({0xEF, 1}) + "a" + B({0xF0, 0xFE}));
}

TEST_F(Writer, LengthsFromTwoHundredFortyUseThreeBytes) {
  Format({Item(1, 0, 0, 1, "", "X", 239), Item(2, 0, 0, 2, "", "X", 300)},
         {Item(1, 1, 0, 0, "1", "X", 239), Item(2, 2, 0, 0, "240", "X", 300)}, GroupInfo("ABCD0101", "S"));
  std::string cii = Write({std::string(239, 'a') + std::string(300, 'b')});
  EXPECT_EQ(cii.substr(251 + 9, 2), B({1, 0xEF}));
  EXPECT_EQ(cii.substr(251 + 9 + 2 + 239, 4), B({2, 0xF2, 0x01, 0x2C}));
}

// A level-0 item, a group of two members repeated 3 times, a level-0 item after it.
class Repetitions : public Writer {
 protected:
  void SetUp() override {
    Format({Item(1, 0, 0, 1, "", "X", 2), Item(2, 0, 0, 9, "", "M", 0, 0, "0", 3), Item(3, 0, 1, 2, "", "X", 2),
            Item(4, 0, 1, 3, "", "N", 3), Item(5, 0, 0, 4, "", "X", 2)},
           {Item(1, 1, 0, 0, "1", "X", 2), Item(2, 2, 0, 0, "3", "M", 0, 0, "0", 3), Item(3, 3, 1, 0, "3", "X", 2),
            Item(4, 4, 1, 0, "5", "N", 3), Item(5, 5, 0, 0, "18", "X", 2)});
  }
  // The TFD bytes of one line.
  std::string Tfd(const std::string& data) {
    std::string cii = Write({data}, "r" + std::to_string(n_++) + ".cii");
    std::string block = FirstMessageBlock(cii);
    int length = static_cast<unsigned char>(block[7]) * 256 + static_cast<unsigned char>(block[8]);
    return block.substr(9, static_cast<std::size_t>(length) - 8);  // through 0xFE
  }
  int n_ = 0;
};

TEST_F(Repetitions, SeparatorsFollowTheRepetitionsThatHoldData) {
  const std::string end = B({0xFE});
  // All three repetitions with data.
  EXPECT_EQ(Tfd("k1a1001a2002a3003k2"), B({1, 2}) + "k1" + B({0xFA, 2, 2}) + "a1" + B({3, 1}) + "1" + B({0xFB, 2, 2}) +
                                             "a2" + B({3, 1}) + "2" + B({0xFB, 2, 2}) + "a3" + B({3, 1}) + "3" +
                                             B({0xFC, 4, 2}) + "k2" + end);
  // Second repetition empty, third with data: data, 0xFB, 0xFB, data, 0xFC.
  EXPECT_EQ(Tfd("  a1   " "     " "a3   " "  "), B({0xFA, 2, 2}) + "a1" + B({0xFB, 0xFB, 2, 2}) + "a3" + B({0xFC}) + end);
  // Only the first repetition with data: data, 0xFC.
  EXPECT_EQ(Tfd("  a1                "), B({0xFA, 2, 2}) + "a1" + B({0xFC}) + end);
  // No data at all: the group is still opened and closed.
  EXPECT_EQ(Tfd("                    "), B({0xFA, 0xFC}) + end);
}

TEST_F(Writer, NumberedGroupsSwitchToExtendedTagsAndAreMarkedByNumber) {
  Format({Item(1, 0, 0, 9, "", "M", 0, 0, "3", 1), Item(2, 0, 1, 2, "", "X", 1), Item(3, 0, 0, 8, "", "M", 0, 0, "A", 1),
          Item(4, 0, 1, 3, "", "X", 1), Item(5, 0, 0, 7, "", "M", 0, 0, "300", 1), Item(6, 0, 1, 4, "", "X", 1)},
         {Item(1, 1, 0, 0, "1", "M", 0, 0, "3", 1), Item(2, 2, 1, 0, "1", "X", 1), Item(3, 3, 0, 0, "2", "M", 0, 0, "A", 1),
          Item(4, 4, 1, 0, "2", "X", 1), Item(5, 5, 0, 0, "3", "M", 0, 0, "300", 1), Item(6, 6, 1, 0, "3", "X", 1)});
  std::string cii = Write({"xyz"});
  std::string expected = B({0xF0, 0xFA, '3', 0, 2, 1}) + "x" + B({0xFC, 0xFA, 'A', 0, 3, 1}) + "y" +
                         B({0xFC, 0xF0, 0xFD, 0x01, 0x2C, 0, 4, 1}) + "z" + B({0xFC, 0xFE});
  EXPECT_EQ(FirstMessageBlock(cii).substr(9, expected.size()), expected);
}

TEST_F(Writer, NestedGroupsKeepEveryRepetitionReadable) {
  // Outer group ×2 holding only an inner group ×2: each outer repetition is separated even
  // though the outer level itself holds no data element.
  Format({Item(1, 0, 0, 9, "", "M", 0, 0, "0", 2), Item(2, 0, 1, 8, "", "M", 0, 0, "0", 2),
          Item(3, 0, 2, 1, "", "X", 1)},
         {Item(1, 1, 0, 0, "1", "M", 0, 0, "0", 2), Item(2, 2, 1, 0, "1", "M", 0, 0, "0", 2), Item(3, 3, 2, 0, "1", "X", 1)});
  std::string cii = Write({"abcd"});
  EXPECT_EQ(FirstMessageBlock(cii).substr(9, 21),
            B({0xFA, 0xFA, 1, 1, 'a', 0xFB, 1, 1, 'b', 0xFC, 0xFB, 0xFA, 1, 1, 'c', 0xFB, 1, 1, 'd', 0xFC, 0xFC}));
}

// Codes that stop the file: what was written before stays, nothing after.
TEST_F(Writer, MissingMastersStopWithTheirCodes) {
  edi::test::WriteBytes(dir / "in.loc", Key("0101", "OWN", "PART") + "x\r\n");
  Convert(dir / "in.loc", dir / "o.cii");
  EXPECT_EQ(log.resultCode(), "0001");

  MessageGroupInfo g = GroupInfo();
  masters.AddMessageGroup(Pad12("PART"), Pad12("OWN"), "0101", g);
  log.ClearResult();
  Convert(dir / "in.loc", dir / "o.cii");
  EXPECT_EQ(log.resultCode(), "0002");

  masters.AddFormat("0101", g.bpid, FormatInfo{});
  log.ClearResult();
  Convert(dir / "in.loc", dir / "o.cii");
  EXPECT_EQ(log.resultCode(), "0003");

  masters.SetItems('E', "0101", g.bpid, {Item(1, 0, 0, 1, "", "X", 1)});
  log.ClearResult();
  Convert(dir / "in.loc", dir / "o.cii");
  EXPECT_EQ(log.resultCode(), "0004");
  EXPECT_EQ(edi::test::ReadBytes(dir / "o.cii"), "");
  EXPECT_EQ(Log(), "0001\r\n0002\r\n0003\r\n0004\r\n");
}

TEST_F(Writer, BadMultiDetailOrTagEndsTheFileWithoutATrailer) {
  Format({Item(1, 0, 0, 300, "", "X", 1), Item(2, 0, 0, 9, "", "M", 0, 0, "5X", 1), Item(3, 0, 1, 1, "", "X", 1)},
         {Item(1, 1, 0, 0, "1", "X", 1), Item(2, 2, 0, 0, "2", "M", 0, 0, "5X", 1), Item(3, 3, 1, 0, "2", "X", 1)});
  std::string cii = Write({"ab"});
  EXPECT_EQ(log.resultCode(), "0005");
  EXPECT_EQ(cii.size(), 251u);  // the header stays; no message, no trailer

  Format({Item(1, 0, 0, 0xF123, "", "X", 1)}, {Item(1, 1, 0, 0, "1", "X", 1)});
  log.ClearResult();
  EXPECT_EQ(Write({"a"}, "t.cii").size(), 251u);
  EXPECT_EQ(log.resultCode(), "0006");
}

TEST_F(Writer, BadLinesStopWithAClearCode) {
  Simple();
  struct Case {
    std::string text;
    std::string code;
    std::size_t kept;  // bytes of output that stay
  };
  const std::string key = Key("0101", "OWN", "PART");
  std::vector<Case> cases = {
      {key + "A         00001.00\r\nshort line\r\n", "0025", 2 * 251},
      {key.substr(0, 20) + "\x88\x9F" + key.substr(22) + "A         00001.00\r\n", "0025", 0},
      {key + "A         00001.00\r\n" + key + "A\x88 \r\n", "0027", 2 * 251},
      {key + "A   \r\n", "", 3 * 251},  // a short line is converted; 0026 is only logged
      {key + std::string(kMaxLineBytes, 'x'), "0028", 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::string name = "bad" + std::to_string(n++);
    edi::test::WriteBytes(dir / (name + ".loc"), c.text);
    log.ClearResult();
    std::string out = Convert(dir / (name + ".loc"), dir / (name + ".cii"));
    EXPECT_EQ(log.resultCode(), c.code);
    EXPECT_EQ(out.size(), c.kept);
  }
  log.ClearResult();
  Convert(dir / "missing.loc", dir / "x.cii");
  EXPECT_EQ(log.resultCode(), "0023");
  EXPECT_FALSE(std::filesystem::exists(dir / "x.cii"));
  log.ClearResult();
  edi::test::WriteBytes(dir / "ok.loc", key + "A         00001.00\r\n");
  Convert(dir / "ok.loc", dir / "no-such-folder" / "x.cii");
  EXPECT_EQ(log.resultCode(), "0024");
}

TEST_F(Writer, BrokenItemTablesAndStorageModesAreRefused) {
  Format({Item(1, 0, 1, 1, "", "X", 1)}, {Item(1, 1, 0, 0, "1", "X", 1)});
  EXPECT_EQ(Write({"a"}).size(), 0u);
  EXPECT_EQ(log.resultCode(), "0022");

  Format({Item(1, 0, 0, 1, "", "X", 1)}, {Item(1, 1, 0, 0, "1", "X", 1)}, GroupInfo("ABCD0101", "Q"));
  log.ClearResult();
  EXPECT_EQ(Write({"a"}, "q.cii").size(), 0u);
  EXPECT_EQ(log.resultCode(), "0031");
}

TEST_F(Writer, KanjiUnderEachSixteenBitCode) {
  for (std::string code : {"M", "S", "U"}) {
    SCOPED_TRACE(code);
    Format({Item(1, 0, 0, 1, "", "K", 6)}, {Item(1, 1, 0, 0, "1", "K", 10)}, GroupInfo("ABCD0101", "M", code));
    std::string cii = Write({"ABC       "}, "k" + code + ".cii");
    std::string value = FirstMessageBlock(cii).substr(11, 6);
    if (code == "M") EXPECT_EQ(value, "\x82\x60\x82\x61\x82\x62");
    if (code == "S") EXPECT_EQ(value, "\x23\x41\x23\x42\x23\x43");
    if (code == "U") EXPECT_EQ(value, B({0xFF, 0x21, 0xFF, 0x22, 0xFF, 0x23}));
  }
}

// A long file is built in chunks by this thread and a helper thread together: the output and
// the log are those of one thread alone, also when the file stops deep inside a chunk.
TEST_F(Writer, ALongFileGivesTheSameBytesAndLogWithOrWithoutTheHelperThread) {
  Simple();
  masters.AddMessageGroup(Pad12("PART2"), Pad12("OWN"), "0101", GroupInfo());
  const std::string a = Key("0101", "OWN", "PART"), b = Key("0101", "OWN", "PART2");
  std::string lines;
  for (int i = 0; i < 9000; ++i) {
    const std::string& key = i < 6000 ? a : b;
    if (i % 997 == 0) lines += key + "S\r\n";  // short: logged with its message number
    else lines += key + "ITEM" + std::to_string(i % 100000) + std::string(6 - std::to_string(i).size(), ' ') +
                  "0001" + std::to_string(i % 10) + ".50\r\n";
  }
  struct Case {
    std::string name, text, code;
  };
  std::string broken = lines;
  // A lead byte before a space in the last line of the first group, and in the last line.
  broken.insert(broken.rfind(a, broken.find(b)) + a.size() + 2, "\x88 ");
  std::string late = lines;
  late.insert(late.rfind(b) + b.size() + 2, "\x81\x20");
  const std::vector<Case> cases = {
      {"clean", lines, ""},
      {"broken", broken, "0027"},
      {"broken-late", late, "0027"},
      {"too-long", lines + a + std::string(kMaxLineBytes, 'x'), "0028"},
      {"no-key", lines + "\x82\xA0\r\n", "0025"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    edi::test::WriteBytes(dir / (c.name + ".loc"), c.text);
    std::string results[2], logs[2], codes[2];
    for (int helper = 0; helper < 2; ++helper) {
      std::filesystem::remove(dir / "ERR.LOG");
      log.ClearResult();
      CachedMasters cached(masters);
      TranslationContext ctx{cached, log, state, FixedTime, helper == 1};
      const auto out = dir / (c.name + std::to_string(helper) + ".cii");
      ConvertLocalToCii(ctx, dir / (c.name + ".loc"), out);
      results[helper] = edi::test::ReadBytes(out);
      logs[helper] = Log();
      codes[helper] = log.resultCode();
    }
    EXPECT_EQ(codes[1], c.code);
    EXPECT_EQ(codes[0], codes[1]);
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_TRUE(results[0] == results[1]) << results[0].size() << " bytes alone, " << results[1].size() << " with the helper";
    if (c.code.empty()) EXPECT_EQ(results[1].size() % 251, 0u);
  }
}

}  // namespace
}  // namespace edi::cii::test
