// The translator's entry over a real database: the start line, the result code, what it
// leaves for the history record, and the per-call master cache.
#include "cii/translator.h"
#include "cii/translator_impl.h"
#include "cii_fixture.h"

namespace edi::cii::test {
namespace {

class Entry : public ::testing::Test {
 protected:
  void SetUp() override {
    db = edi::test::TestDatabase::Sqlite(dir.path());
    ASSERT_TRUE(edi::test::LoadDemoFormats(db->db()));
    translator = std::make_unique<Translator>(db->db(), dir / "ERR.LOG");
    translator->impl().clock = FixedTime;
  }
  edi::test::TempDir dir;
  std::unique_ptr<edi::test::TestDatabase> db;
  std::unique_ptr<Translator> translator;
  const std::filesystem::path demo = std::filesystem::path(EDI_SOURCE_DIR) / "db/demo/local/0101.LOC";
};

TEST_F(Entry, RunsLogAndReportForTheHistory) {
  long long before = db->db().statementCount();
  EXPECT_EQ(translator->RunOutboundTranslation("CENTER01", 123, "1", demo, dir / "o.cii"), "0000");
  EXPECT_EQ(db->db().statementCount() - before, 4);  // one look-up per master for the file's one key
  EXPECT_EQ(translator->lastBpid(), "ORDR0101");
  EXPECT_EQ(translator->lastInfoCategory(), "0101");
  EXPECT_EQ(translator->lastStorageMode(), "M");
  EXPECT_EQ(edi::test::ReadBytes(dir / "ERR.LOG"), "0000--P114040 start--00000123  2026/02/03 04:05:06\r\n");

  EXPECT_EQ(translator->RunOutboundTranslation("CENTER01", 124, "2", dir / "o.cii", dir / "back.loc"), "0000");
  EXPECT_TRUE(std::filesystem::exists(dir / "back0101.loc"));
  EXPECT_EQ(translator->RunOutboundTranslation("CENTER01", 125, "3", demo, dir / "x.cii"), "0000");
  EXPECT_FALSE(std::filesystem::exists(dir / "x.cii"));
}

TEST_F(Entry, FailuresComeBackAsTheResultCode) {
  EXPECT_EQ(translator->RunOutboundTranslation("C", 1, "1", demo, dir / "none" / "o.cii"), "0024");
  // Each run starts with a clear result code.
  EXPECT_EQ(translator->RunOutboundTranslation("C", 2, "1", demo, dir / "o.cii"), "0000");
  db->db().SetFaultHook([](const std::string&) { throw DatabaseError("connection lost"); });
  EXPECT_EQ(translator->RunOutboundTranslation("C", 3, "1", demo, dir / "p.cii"), "0030");
  db->db().SetFaultHook(nullptr);
  std::string log = edi::test::ReadBytes(dir / "ERR.LOG");
  EXPECT_NE(log.find("\r\n0024\r\n"), std::string::npos);
  EXPECT_NE(log.find("\r\n0030connection lost\r\n"), std::string::npos);
}

}  // namespace
}  // namespace edi::cii::test
