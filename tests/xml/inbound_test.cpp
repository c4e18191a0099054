// The inbound entry on a real Translator: the start line, the choice of direction by the
// name's last three characters, and faults turned into result codes.
#include <gtest/gtest.h>

#include "app/database.h"
#include "cii/translator_impl.h"
#include "cii_fixture.h"
#include "test_support.h"
#include "xml/inbound.h"
#include "xml_fixture.h"

namespace edi::xml::test {
namespace {

class Inbound : public ::testing::Test {
 protected:
  void SetUp() override {
    database = edi::test::TestDatabase::Sqlite(dir.path());
    translator = std::make_unique<cii::Translator>(database->db(), dir / "ERR.LOG");
    auto memory = std::make_unique<cii::MemoryMasters>();
    cii::FormatInfo f;
    f.xmlCharCode = "M";
    memory->AddFormat("0101", "ABCD0101", f);
    memory->SetItems('E', "0101", "ABCD0101", {Item(1, 0, 0, 1, "", "X", 10)});
    translator->impl().SetMasters(std::move(memory));
  }
  std::string Log() { return edi::test::ReadBytes(dir / "ERR.LOG"); }

  edi::test::TempDir dir;
  std::unique_ptr<edi::test::TestDatabase> database;
  std::unique_ptr<cii::Translator> translator;
};

TEST_F(Inbound, ChoosesByTheLastThreeCharactersAndLogsTheStartLine) {
  edi::test::WriteBytes(dir / "R1.cii", CiiFile(Header(), {B({1, 3}) + "ABC"}));
  EXPECT_EQ(ConvertInboundFile(*translator, dir / "R1.cii", dir / "R1.XML", 123), "0000");
  EXPECT_EQ(Log(), "0000--P114030 start--00000123\r\n");
  const std::string xml = edi::test::ReadBytes(dir / "R1.XML");
  EXPECT_NE(xml.find("<JP00001>ABC</JP00001>"), std::string::npos);

  EXPECT_EQ(ConvertInboundFile(*translator, dir / "R1.XML", dir / "R2.CII", 124), "0000");
  EXPECT_EQ(edi::test::ReadBytes(dir / "R2.CII"), edi::test::ReadBytes(dir / "R1.cii"));
}

TEST_F(Inbound, ResultCodesOfEachCallAndFaults) {
  edi::test::WriteBytes(dir / "bad.xml", "<not xml");
  EXPECT_EQ(ConvertInboundFile(*translator, dir / "bad.xml", dir / "o.cii", 1), "0040");
  EXPECT_FALSE(std::filesystem::exists(dir / "o.cii"));
  // The next call starts without the previous call's code.
  edi::test::WriteBytes(dir / "ok.cii", CiiFile(Header(), {}));
  EXPECT_EQ(ConvertCiiToXmlFile(*translator, dir / "ok.cii", dir / "ok.xml"), "0000");
  EXPECT_EQ(ConvertCiiToXmlFile(*translator, dir / "missing.cii", dir / "x.xml"), "0023");
  EXPECT_EQ(ConvertCiiToXmlFile(*translator, dir / "ok.cii", dir / "no-such-folder" / "x.xml"), "0024");

  // A database fault while reading the masters.
  struct Failing : cii::MemoryMasters {
    std::optional<cii::FormatInfo> FindFormat(const std::string&, const std::string&) override {
      throw DatabaseError("connection lost");
    }
  };
  translator->impl().SetMasters(std::make_unique<Failing>());
  EXPECT_EQ(ConvertCiiToXmlFile(*translator, dir / "ok.cii", dir / "ok2.xml"), "0030");
  EXPECT_FALSE(std::filesystem::exists(dir / "ok2.xml"));
}

}  // namespace
}  // namespace edi::xml::test
