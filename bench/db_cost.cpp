// bench_db_cost: how many statements a translation sends to the database, and its time.
//   bench_db_cost DATABASE.db WORK-FOLDER [LINES] [KEYS]
// The SQLite database must hold the demo format and one FL1916 row per generated partner
// (bench/run prepares it). Translates LINES generated lines (default 100000) whose keys
// alternate among KEYS partners (default 10), so that every line opens a new message group,
// and, for comparison, one group of the most lines a group can hold (99,999) under one key.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "app/database.h"
#include "cii/translator.h"
#include "local_file_generator.h"

namespace fs = std::filesystem;

namespace {

int Measure(edi::Database& db, const fs::path& work, long long lines, int keys) {
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
  edi::cii::Translator translator(db, work / "ERR.LOG");
  const long long before = db.statementCount();
  const auto start = std::chrono::steady_clock::now();
  const std::string code = translator.RunOutboundTranslation("", 1, "1", local, cii);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long long statements = db.statementCount() - before;
  std::printf("db-cost: %lld lines, %d key(s) in turn: result %s, %lld statements, %.3f s, %.1f lines/s\n",
              lines, keys, code.c_str(), statements, seconds, lines / seconds);
  fs::remove(local);
  fs::remove(cii);
  return code == "0000" ? 0 : 1;
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
    edi::DatabaseTarget target;
    target.engine = edi::DbEngine::Sqlite;
    target.connectString = std::string("db=\"") + argv[1] + "\" timeout=10";
    auto db = edi::Database::Open(target);
    int rc = Measure(*db, argv[2], lines, keys);
    rc |= Measure(*db, argv[2], lines, 1);
    return rc;
  } catch (const std::exception& e) {
    std::cerr << "bench_db_cost: " << e.what() << "\n";
    return 1;
  }
}
