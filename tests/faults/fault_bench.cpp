#include "fault_bench.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "run/run_driver.h"

namespace edi::test {
namespace {

const std::filesystem::path kDemo = std::filesystem::path(EDI_SOURCE_DIR) / "db" / "demo";

}  // namespace

std::string DemoLocalFile() {
  const auto file = kDemo / "local" / "0101.LOC";
  return std::filesystem::exists(file) ? ReadBytes(file) : std::string();
}

ConvertingBench::ConvertingBench(BenchOptions options) : bench(options) {
  if (!bench.available()) return;
  const std::string local = DemoLocalFile();
  if (local.empty() || !LoadDemoFormats(bench.master())) return;
  bench.WriteData("0101", local);
  ok = true;
}

void ConvertingBench::AddConvertingCenter(const std::string& code, const std::string& terminal) {
  bench.AddCenter(code, "Z", "C", (bench.send / (code + ".CII")).string(), std::nullopt, terminal);
  bench.AddPartner(code, "P" + code);
  bench.AddInfoCode(code, "0101");
}

void AddTwoConvertingCenters(ConvertingBench& cb, bool hangFirst) {
  cb.AddConvertingCenter("C1");
  cb.AddConvertingCenter("C2");
  if (hangFirst) cb.bench.ConfigurePackage({"HANG@PC1=1"});
}

BenchOptions StoppedPackageOptions(bool postgres) {
  BenchOptions options;
  options.postgres = postgres;
  options.timeoutSeconds = 120;
  return options;
}

PackageStopper::PackageStopper(RunBench& b, std::function<void()> beforeKill) {
  // The bench's parameter folder is on the command line of each of its package processes.
  thread_ = std::thread([&b, beforeKill, mine = b.param.string()] {
    if (!WaitFor([&] { return ReadBytes(b.mgpkgLog).find("MAKER='PC1'") != std::string::npos; })) return;
    if (beforeKill) beforeKill();
    WaitFor([&] { return !ProcessesWith(mine).empty(); });
    for (pid_t pid : ProcessesWith(mine)) kill(pid, SIGKILL);
  });
}

PackageStopper::~PackageStopper() { Join(); }

void PackageStopper::Join() {
  if (thread_.joinable()) thread_.join();
}

bool PackageGone(RunBench& b) {
  return WaitFor([mine = b.param.string()] { return ProcessesWith(mine).empty(); }, 10);
}

TmpfsMount::TmpfsMount(const std::filesystem::path& folder, const std::string& size) : folder_(folder), size_(size) {
  // The mounts belong to a mount namespace of the test process's own (inherited by the
  // programs it starts), so they go with the process even when it ends without unmounting.
  static const bool privateMounts = [] {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  }();
  (void)privateMounts;
  std::filesystem::create_directories(folder);
  mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

TmpfsMount::~TmpfsMount() {
  if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
}

bool TmpfsMount::SetReadOnly(bool readOnly) {
  if (!mounted_) return false;
  unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
  return mount("tmpfs", folder_.c_str(), "tmpfs", flags, ("size=" + size_).c_str()) == 0;
}

std::vector<pid_t> ProcessesWith(const std::string& needle) {
  std::vector<pid_t> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmdline = ReadBytes(e.path() / "cmdline");
    for (auto& c : cmdline)
      if (c == '\0') c = ' ';
    if (cmdline.find(needle) != std::string::npos) found.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return found;
}

bool WaitFor(const std::function<bool()>& predicate, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return predicate();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.is_regular_file()) files[e.path().filename().string()] = ReadBytes(e.path());
  return files;
}

std::string OutcomeOf(RunBench& b, const std::string& center) {
  CenterRow r = b.ws.centers.at(RowOf(b.ws, center));
  return r.extractStatus + "|" + r.convertStatus + "|" + r.sendStatus + "|" + std::to_string(r.rowState);
}

std::vector<std::string> Codes(RunBench& b, long long serial) {
  std::vector<std::string> codes;
  for (const auto& r : b.History())
    if (r.Int("通番") == serial) codes.push_back(r.Text("処理種別") + ":" + r.Text("終了コード") + "/" + r.Text("詳細コード"));
  return codes;
}

long long SerialOfCenter(RunBench& b, const std::string& center) {
  for (const auto& r : b.History())
    if (r.Int("枝番") == 0 && r.Text("センターコード") == center) return r.Int("通番");
  return 0;
}

void ExpectEveryRowCompleted(const std::vector<Row>& rows) {
  for (const auto& r : rows) {
    SCOPED_TRACE("serial " + r.Text("通番") + " branch " + r.Text("枝番"));
    EXPECT_TRUE(r.Get("処理終了日付").has_value());
    EXPECT_TRUE(r.Get("処理終了時刻").has_value());
    EXPECT_TRUE(r.Get("終了コード").has_value());
  }
}

std::string InHouseName(long long serial, const std::string& center, const std::string& code) {
  std::string field = center + "____________";
  char s[16];
  std::snprintf(s, sizeof s, "%08lld", serial);
  return std::string(s) + "_SND_" + field.substr(0, 12) + code + ".LOC";
}

std::string ResultName(long long serial, const std::string& center) {
  const std::string local = InHouseName(serial, center);
  return local.substr(0, local.size() - 8) + ".CII";
}

bool LogHas(const RecordingListener& l, const std::string& text) {
  for (const auto& line : l.log)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

void FillDisk(const std::filesystem::path& file) {
  std::ofstream f(file, std::ios::binary);
  const std::string chunk(1024, 'f');
  while (f.write(chunk.data(), chunk.size())) f.flush();
}

void RunCenters(RunBench& b, const std::vector<std::string>& centers, run::RunListener& listener) {
  for (const auto& c : centers) b.ws.centers.SetMarked(RowOf(b.ws, c), true);
  run::RunDriver driver(b.ws, listener);
  driver.RunMarkedCenters(0);
}

}  // namespace edi::test
