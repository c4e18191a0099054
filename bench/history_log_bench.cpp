// The history window's log pane on large and hostile logs: ERR.LOG indexed by serial and one
// serial's lines read within the pane's limits, as the window does on every selection.
//   bench_history_log generate DIR SIZE-MB   writes DIR/ERR.LOG (SIZE-MB of runs: a start line
//                                            and a few code lines each) and DIR/HOSTILE.LOG
//                                            (runs around one whose lines end in 20 MB of NUL
//                                            bytes without a line end, then one more run)
//   bench_history_log select LOG SERIAL...   indexes the log, then for each serial reads its
//                                            lines; prints the seconds of the first index, of
//                                            each selection (index update + lines) and the lines
//                                            shown. Peak memory: run it under /usr/bin/time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "run/err_log_index.h"

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void WriteRuns(std::ofstream& out, long long from, long long to) {
  char line[128];
  for (long long serial = from; serial < to; ++serial) {
    std::snprintf(line, sizeof line, "0000--P114040 start--%08lld  2026/12/08 09:%02lld:%02lld\r\n", serial,
                  serial / 60 % 60, serial % 60);
    out << line;
    out << "0026-1\r\n0026-2\r\n0027\r\n";
    if (serial % 25 == 0) {  // a failed send now and then
      std::snprintf(line, sizeof line, "5100--P740150 fault--%08lld  2026/12/08 09:00:00 send /send/C1.CII: %s\r\n",
                    serial, "Permission denied");
      out << line;
    }
  }
}

int Generate(const std::filesystem::path& dir, long long megabytes) {
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir / "ERR.LOG", std::ios::binary);
    const long long bytes = megabytes * 1000 * 1000;
    long long serial = 1;
    while (static_cast<long long>(out.tellp()) < bytes) {
      WriteRuns(out, serial, serial + 10000);
      serial += 10000;
    }
    std::printf("ERR.LOG: %lld bytes, serials 1–%lld\n", static_cast<long long>(out.tellp()), serial - 1);
  }
  {
    std::ofstream out(dir / "HOSTILE.LOG", std::ios::binary);
    WriteRuns(out, 1, 1000);
    out << "0000--P114040 start--00001000  2026/12/08 10:00:00\r\n0001\r\n";
    const std::string zeros(1 << 20, '\0');
    for (int i = 0; i < 20; ++i) out << zeros;
    out << "\r\n";
    WriteRuns(out, 1001, 1002);
    std::printf("HOSTILE.LOG: %lld bytes, serial 1000 ends in 20 MB of NUL bytes\n",
                static_cast<long long>(out.tellp()));
  }
  return 0;
}

int Select(const std::filesystem::path& log, int argc, char** argv) {
  edi::run::ErrLogIndex index(log);
  auto t = Clock::now();
  index.Update();
  std::printf("index %s: %.3f s, %zu sections\n", log.filename().c_str(), Since(t), index.sections());
  edi::run::ErrLogIndex::Limits limits;  // the window's: 2000 lines of at most 1000 bytes
  for (int i = 0; i < argc; ++i) {
    const long long serial = std::atoll(argv[i]);
    t = Clock::now();
    index.Update();  // what the log gained since (nothing here): the cost every selection pays
    const auto lines = index.LinesOf(serial, limits);
    std::printf("select %lld: %.4f s, %zu lines%s\n", serial, Since(t), lines.lines.size(), lines.cut ? " (cut)" : "");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "generate" && argc == 4) return Generate(argv[2], std::atoll(argv[3]));
  if (mode == "select" && argc >= 4) return Select(argv[2], argc - 3, argv + 3);
  std::fprintf(stderr, "usage: bench_history_log generate DIR SIZE-MB | select LOG SERIAL...\n");
  return 2;
}
