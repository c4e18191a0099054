// The package's process: started from a command line, its exit code seen, and at a time-out
// ended together with the processes it started. platform_child plays the package.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/paths.h"
#include "platform/process.h"
#include "test_support.h"

namespace edi::platform {
namespace {

using namespace std::chrono_literals;

std::string Child() {
  std::filesystem::path folder = ExecutableFolder();
#ifdef _WIN32
  return (folder / "platform_child.exe").string();
#else
  return (folder / "platform_child").string();
#endif
}

std::uintmax_t SizeOf(const std::filesystem::path& p) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(p, ec);
  return ec ? 0 : size;
}

TEST(PackageProcess, ItsExitCodeIsSeen) {
  for (int expected : {0, 3, 42}) {
    const ProcessId child = StartCommand(Child() + " exit " + std::to_string(expected));
    ASSERT_GT(child, 0);
    int status = 0, code = -1;
    ASSERT_EQ(WaitForChild(child, status, std::chrono::steady_clock::now() + 20s), WaitOutcome::Ended);
    ASSERT_TRUE(ExitCodeOf(status, code));
    EXPECT_EQ(code, expected);
  }
  EXPECT_EQ(StartCommand((std::filesystem::path(Child()).parent_path() / "no-such-package").string()), -1);
}

TEST(PackageProcess, ATimeOutEndsThePackageAndWhatItStarted) {
  test::TempDir dir;
  const auto beats = dir / "beats";
  const ProcessId child = StartCommand(Child() + " tree " + beats.string());
  ASSERT_GT(child, 0);
  // The grandchild beats before the package's time is up.
  const auto started = std::chrono::steady_clock::now();
  while (SizeOf(beats) < 2 && std::chrono::steady_clock::now() - started < 20s) std::this_thread::sleep_for(20ms);
  ASSERT_GE(SizeOf(beats), 2u);
  int status = 0;
  EXPECT_EQ(WaitForChild(child, status, std::chrono::steady_clock::now() + 200ms), WaitOutcome::TimedOut);
  EndTree(child);
  EndProcess(child);
  EXPECT_EQ(WaitForChild(child, status), WaitOutcome::Ended);
  int code = 0;
  EXPECT_FALSE(ExitCodeOf(status, code) && code == 0);
  std::this_thread::sleep_for(300ms);
  const auto after = SizeOf(beats);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(SizeOf(beats), after) << "the package's child still runs";
}

TEST(PackageProcess, ProcessesAreNamedAcrossIdReuse) {
  const long long self = CurrentProcessId();
  EXPECT_GT(self, 0);
  EXPECT_FALSE(ProcessStartStamp(self).empty());
  EXPECT_EQ(ProcessStartStamp(self), ProcessStartStamp(self));
  const ProcessId child = StartCommand(Child() + " exit 0");
  int status = 0;
  ASSERT_EQ(WaitForChild(child, status), WaitOutcome::Ended);
  EndTree(child);
  EXPECT_EQ(ProcessStartStamp(child), "");
}

}  // namespace
}  // namespace edi::platform
