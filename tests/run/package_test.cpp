// The package hand-off on its own: status lines, parameter-file lines, starting and
// stopping the package.
#include <gtest/gtest.h>

#include <filesystem>

#include "run/package_handoff.h"
#include "run/package_process.h"
#include "test_support.h"

namespace edi::run {
namespace {

TEST(ParseStatusLine, CutsTheFieldsByCharacterPosition) {
  PackageStatusLine rec;
  std::string code = "0000";
  ParseStatusLine("0" "0101" "MAKER01     " "000012" "000010" "00", rec, code);
  EXPECT_EQ(code, "0000");
  EXPECT_EQ(rec.mark, "0");
  EXPECT_EQ(rec.infoCode, "0101");
  EXPECT_EQ(rec.unused, "MAKER01     ");
  EXPECT_EQ(rec.inputCount, 12);
  EXPECT_EQ(rec.outputCount, 10);

  // Positions count characters, not bytes: a full-width code still ends at character 5.
  ParseStatusLine("0" "伝票ＡＢ" "123456789012" "  7   " "     3" "00", rec, code);
  EXPECT_EQ(rec.infoCode, "伝票ＡＢ");
  EXPECT_EQ(rec.inputCount, 7);
  EXPECT_EQ(rec.outputCount, 3);
  EXPECT_EQ(code, "0000");
}

TEST(ParseStatusLine, NonZeroBlankOrGarbledResultsFail) {
  const std::string body = "0" "0101" "MAKER01     " "000012" "000010";
  for (const std::string& line : {body + "01", body /* no result */, body + "xx"}) {
    PackageStatusLine rec;
    std::string code = "0000";
    ParseStatusLine(line, rec, code);
    EXPECT_EQ(code, "9999") << line;
  }
  PackageStatusLine rec;
  std::string code = "0000";
  ParseStatusLine("1", rec, code);  // the end line carries no result
  EXPECT_EQ(rec.mark, "1");
  EXPECT_EQ(code, "0000");
  EXPECT_EQ(rec.inputCount, 0);
}

TEST(PackageParameterLines, FourLineFormsInOrder) {
  auto lines = PackageParameterLines({"0101", "0102"}, "AB C", 42, "OP01", "/st/00000042_Z_OUT_STATUS.TXT", "M01");
  ASSERT_EQ(lines.size(), 5u);
  // The space of the center code is written as "_", as in every other name of the run.
  EXPECT_EQ(lines[0], "/[EDI]0101TXT='%EDI_OUT%00000042_SND_AB_C________0101.LOC'");
  EXPECT_EQ(lines[1], "/[EDI]0102TXT='%EDI_OUT%00000042_SND_AB_C________0102.LOC'");
  EXPECT_EQ(lines[2], "/[EDI]OPERATOR='OP01'");
  EXPECT_EQ(lines[3], "/[EDI]STATUS_FILE='/st/00000042_Z_OUT_STATUS.TXT'");
  EXPECT_EQ(lines[4], "/[EDI]MAKER='M01'");
  // No information code at all: only the three trailing lines.
  EXPECT_EQ(PackageParameterLines({}, "C", 1, "", "s", "M").size(), 3u);
}

TEST(RunPackage, StartFailuresAndTimeOut) {
  test::TempDir dir;
  const auto param = dir / "EDI00000001.INI";
  test::WriteBytes(param, "x");
  EXPECT_TRUE(RunPackage("true", param, 0).ok());
  // The package's own exit code is not a result: success comes from the status file.
  EXPECT_TRUE(RunPackage("false", param, 0).ok());

  auto missing = RunPackage((dir / "no-such-package").string(), param, 0);
  EXPECT_EQ(missing.endCode, "4100");
  EXPECT_EQ(missing.detailCode, "0001");
  EXPECT_EQ(RunPackage("   ", param, 0).detailCode, "0001");

  // A package that hangs is stopped with whatever it started; "#" keeps the parameter away.
  const auto marker = dir / "late";
  auto hung = RunPackage("sleep 30; touch '" + marker.string() + "' #", param, 1);
  EXPECT_EQ(hung.endCode, "4100");
  EXPECT_EQ(hung.detailCode, "0003");
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(RunPackage, PassesTheParameterFileAfterAnAtSign) {
  test::TempDir dir;
  const auto param = dir / "EDI00000009.INI";
  test::WriteBytes(param, "x");
  const auto seen = dir / "seen";
  ASSERT_TRUE(RunPackage("echo > '" + seen.string() + "'", param, 0).ok());
  EXPECT_EQ(test::ReadBytes(seen), "@" + param.string() + "\n");
}

TEST(SplitPlainCommand, OnlyAssignmentsAPathAndPlainWordsSkipTheShell) {
  auto plain = SplitPlainCommand("A=1 B_2=x=y  /opt/pkg/mgpkg -v @/p/EDI00000001.INI");
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->assignments, (std::vector<std::string>{"A=1", "B_2=x=y"}));
  EXPECT_EQ(plain->program, "/opt/pkg/mgpkg");
  EXPECT_EQ(plain->arguments, (std::vector<std::string>{"-v", "@/p/EDI00000001.INI"}));
  EXPECT_TRUE(SplitPlainCommand("./mgpkg @x").has_value());
  // Everything the shell would interpret, and programs it would look up, stay with the shell.
  for (const char* shellOnly : {"mgpkg @x", "exec /bin/pkg @x", "/bin/pkg '@x'", "/bin/pkg $HOME", "/bin/a; /bin/b",
                                "/bin/pkg > out", "A=1", "1A=2 /bin/pkg", "/bin/pkg ~/x", "/bin/p*g", "/bin/pkg # c",
                                "   "}) {
    EXPECT_FALSE(SplitPlainCommand(shellOnly).has_value()) << shellOnly;
  }
}

// The same package behaves the same whether the shell starts it or it is started directly.
TEST(RunPackage, StartedDirectlyOrThroughTheShellAlike) {
  test::TempDir dir;
  const auto param = dir / "EDI00000002.INI";
  test::WriteBytes(param, "x");
  const auto seen = dir / "seen";
  const auto script = dir / "pkg.sh";
  test::WriteBytes(script, "#!/bin/sh\necho \"$MARK $OTHER $*\" > \"$OUT\"\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  ASSERT_TRUE(SplitPlainCommand("OUT=" + seen.string() + " " + script.string()).has_value());
  for (const std::string& command : {"MARK=a MARK=b OTHER=c OUT=" + seen.string() + " " + script.string(),
                                     "MARK=b OTHER='c' OUT='" + seen.string() + "' '" + script.string() + "'"}) {
    SCOPED_TRACE(command);
    ASSERT_TRUE(RunPackage(command, param, 5).ok());
    EXPECT_EQ(test::ReadBytes(seen), "b c @" + param.string() + "\n");
    std::filesystem::remove(seen);
  }
  // A script without "#!" is run by the shell, as the shell would.
  test::WriteBytes(script, "echo plain > \"$OUT\"\n");
  ASSERT_TRUE(RunPackage("OUT=" + seen.string() + " " + script.string(), param, 0).ok());
  EXPECT_EQ(test::ReadBytes(seen), "plain\n");
  // Missing or not executable: the package could not be started.
  EXPECT_EQ(RunPackage("A=1 " + (dir / "missing").string(), param, 0).detailCode, "0001");
  std::filesystem::permissions(script, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(RunPackage("A=1 " + script.string(), param, 0).detailCode, "0001");
  // A package started directly is stopped at its time-out with what it started.
  const auto marker = dir / "late";
  test::WriteBytes(script, "#!/bin/sh\nsleep 30\ntouch " + marker.string() + "\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  EXPECT_EQ(RunPackage(script.string(), param, 1).detailCode, "0003");
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace edi::run
