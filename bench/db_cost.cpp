// bench_db_cost: how many statements a translation sends to the database, and its time.
//   bench_db_cost DATABASE.db WORK-FOLDER [LINES] [KEYS]
// The SQLite database must hold the demo format and one FL1916 row per generated partner
// (bench/run prepares it). It is copied into WORK-FOLDER and the copy's detail group gets the
// generated lines' repeat count, so that the lines fit their layout (a line shorter than its
// layout is logged, which would time the log instead of the translation). Translates LINES
// generated lines (default 100000) whose keys alternate among KEYS partners (default 10), so
// that every line opens a new message group, and, for comparison, one group of the most lines
// a group can hold (99,999) under one key; the difference per line is the cost of a group
// change (its header and trailer blocks included).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "app/database.h"
#include "bench_masters.h"
#include "cii/translator.h"
#include "local_file_generator.h"

namespace fs = std::filesystem;

namespace {

struct Figures {
  long long lines = 0;
  double seconds = 0;
  bool ok = false;
};

long long LineCount(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  long long n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

Figures Measure(edi::Database& db, const fs::path& work, long long lines, int keys) {
  if (keys == 1) lines = std::min(lines, 99999LL);  // message numbers have five digits
  edi::bench::GeneratorOptions options;
  options.lines = lines;
  options.keys = keys;
  const fs::path local = work / ("dbcost-" + std::to_string(keys) + ".LOC");
  const fs::path cii = work / ("dbcost-" + std::to_string(keys) + ".CII");
  {
    std::ofstream out(local, std::ios::binary | std::ios::trunc);
    edi::bench::LocalFileGenerator(options).Write(out);
  }
  fs::remove(cii);
  const fs::path log = work / "ERR.LOG";
  fs::remove(log);
  edi::cii::Translator translator(db, log);
  const long long before = db.statementCount();
  const auto start = std::chrono::steady_clock::now();
  const std::string code = translator.RunOutboundTranslation("", 1, "1", local, cii);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long long statements = db.statementCount() - before;
  // The start line only, unless lines were logged (a layout that does not fit, say).
  const long long logLines = LineCount(log);
  std::printf("db-cost: %lld lines, %d key(s) in turn: result %s, %lld statements, %.3f s, %.1f lines/s, %lld log line(s)\n",
              lines, keys, code.c_str(), statements, seconds, lines / seconds, logLines);
  fs::remove(local);
  fs::remove(cii);
  fs::remove(log);
  return Figures{lines, seconds, code == "0000"};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: bench_db_cost DATABASE.db WORK-FOLDER [LINES] [KEYS]\n";
    return 2;
  }
  const long long lines = argc > 3 ? std::atoll(argv[3]) : 100000;
  const int keys = argc > 4 ? std::atoi(argv[4]) : 10;
  try {
    const fs::path work = argv[2];
    const fs::path copy = work / "dbcost.db";
    fs::copy_file(argv[1], copy, fs::copy_options::overwrite_existing);
    edi::DatabaseTarget target;
    target.engine = edi::DbEngine::Sqlite;
    target.connectString = "db=\"" + copy.string() + "\" timeout=10";
    auto db = edi::Database::Open(target);
    edi::bench::SetDetailRepeats(*db, edi::bench::GeneratorOptions{}.details);
    const Figures alternating = Measure(*db, work, lines, keys);
    const Figures single = Measure(*db, work, lines, 1);
    if (alternating.lines > 0 && single.lines > 0)
      std::printf("db-cost: a group change costs %.1f us (time per line with %d keys minus with 1 key)\n",
                  1e6 * (alternating.seconds / alternating.lines - single.seconds / single.lines), keys);
    db.reset();
    fs::remove(copy);
    return alternating.ok && single.ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "bench_db_cost: " << e.what() << "\n";
    return 1;
  }
}
