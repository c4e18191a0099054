// Master data for the benchmarks: the demo format loaded from db/demo, one
// FL1916 row per generated partner, the demo format's detail group set to a repeat count, and
// a wide and a short format (many short items and a repeated group).
#pragma once

#include <filesystem>
#include <string>

namespace edi {
class Database;
}

namespace edi::bench {

// Loads the demo's format masters from the export folder DEMO-FOLDER/formats (db/demo), as
// `edi format import` does. Throws when they are refused.
void LoadDemoFormats(Database& db, const std::filesystem::path& demoFolder);
// FL1916 rows for the partners of keys 1 … keys-1 (copies of the demo partner CENTER01's row).
void AddBenchPartners(Database& db, int keys);
// The detail group (項目通番 5) of format 0101/ORDR0101 repeated `details` times on both sides,
// and the remark moved behind it on the local side.
void SetDetailRepeats(Database& db, int details);
// The wide format 0202/WIDE0202 (layout in local_file_generator.h) for every partner of
// keys 0 … keys-1: its message group rows, its format row and its 'E' and 'L' items.
void AddWideFormat(Database& db, int keys);
// The short format 0303/SHRT0303 likewise.
void AddShortFormat(Database& db, int keys);

}  // namespace edi::bench
