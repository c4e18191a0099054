// bench_prepare_db: the SQLite database of a benchmark workspace.
//   bench_prepare_db DATABASE.db DEMO-FOLDER KEYS DETAILS
// Creates the tables, loads the demo format from DEMO-FOLDER (db/demo), adds the
// partners of KEYS generated keys, sets the detail group's repeat count to DETAILS and adds
// the wide and the short format for the same partners.
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "app/database.h"
#include "bench_masters.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: bench_prepare_db DATABASE.db DEMO-FOLDER KEYS DETAILS\n";
    return 2;
  }
  try {
    edi::DatabaseTarget target;
    target.engine = edi::DbEngine::Sqlite;
    target.connectString = std::string("db=\"") + argv[1] + "\" timeout=10";
    auto db = edi::Database::Open(target);
    edi::CreateSchema(*db);
    const std::filesystem::path demo = argv[2];
    edi::bench::LoadDemoFormats(*db, demo);
    db->Begin();
    edi::bench::AddBenchPartners(*db, std::atoi(argv[3]));
    edi::bench::SetDetailRepeats(*db, std::atoi(argv[4]));
    edi::bench::AddWideFormat(*db, std::max(1, std::atoi(argv[3])));
    edi::bench::AddShortFormat(*db, std::max(1, std::atoi(argv[3])));
    db->Commit();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "bench_prepare_db: " << e.what() << "\n";
    return 1;
  }
}
