// The translator that the CII fuzz targets drive: an in-memory SQLite connection (the
// Translator needs one) with small fixed masters in place of the database's, so that the
// fuzzer reaches the element, group and value code instead of stopping at a missing format.
//
// The format (category 0101, BPID ABCD0101, own OWN, partner PART): a text, a number with
// two decimals, a group repeated 3 times (a text and a date), a kanji text, an unsigned
// number and a binary pair.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/database.h"
#include "cii/masters.h"
#include "cii/translator.h"
#include "cii/translator_impl.h"
#include "cii/cii_fixture.h"
#include "test_support.h"

namespace edi::fuzz {

// Item rows are written with the engine tests' one-line helper.
using cii::test::Item;

inline std::unique_ptr<cii::MemoryMasters> FuzzMasters(const std::string& xmlCharCode = "M",
                                                       const std::string& code16 = "M") {
  auto m = std::make_unique<cii::MemoryMasters>();
  const cii::MessageGroupInfo g = cii::test::GroupInfo("ABCD0101", "M", code16);
  auto pad12 = [](std::string s) {
    s.resize(12, ' ');
    return s;
  };
  m->AddMessageGroup(pad12("PART"), pad12("OWN"), "0101", g);
  cii::FormatInfo f;
  f.formId = "F1";
  f.xmlCharCode = xmlCharCode;
  m->AddFormat("0101", "ABCD0101", f);
  m->SetItems('E', "0101", "ABCD0101",
              {Item(1, 0, 0, 1, "", "X", 10), Item(2, 0, 0, 2, "", "N", 9, 2),
               Item(3, 0, 0, 0, "", "M", 0, 0, "0", 3), Item(4, 0, 1, 10, "", "X", 5),
               Item(5, 0, 1, 11, "", "Y", 8), Item(6, 0, 0, 20, "", "K", 10),
               Item(7, 0, 0, 21, "", "9", 7), Item(8, 0, 0, 300, "", "B", 2)});
  m->SetItems('L', "0101", "ABCD0101",
              {Item(1, 1, 0, 0, "1", "X", 10), Item(2, 2, 0, 0, "11", "N", 7, 2),
               Item(3, 3, 0, 0, "19", "M", 0, 0, "0", 3), Item(4, 4, 1, 0, "19", "X", 5),
               Item(5, 5, 1, 0, "24", "Y", 8), Item(6, 6, 0, 0, "58", "K", 10),
               Item(7, 7, 0, 0, "68", "9", 7), Item(8, 8, 0, 0, "75", "K", 2)});
  return m;
}

// One translator for the whole fuzzing process, and a folder for its files.
struct FuzzEngine {
  edi::test::TempDir dir;
  std::unique_ptr<Database> db;
  std::unique_ptr<cii::Translator> translator;

  FuzzEngine() {
    DatabaseTarget target{DbEngine::Sqlite, "db=:memory:", "fuzz", {}};
    db = Database::Open(target);
  }

  ~FuzzEngine() { Trace(); }

  // With EDI_FUZZ_TRACE set, a line per file that the last input left (its name, size and a
  // hash of its bytes; the log without its start lines, which hold the time) is appended to
  // that file, so that two builds can be compared on a corpus.
  void Trace() {
    const char* trace = std::getenv("EDI_FUZZ_TRACE");
    if (trace == nullptr) return;
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir.path(), ec))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::ofstream out(trace, std::ios::app);
    out << "--\n";
    for (const auto& f : files) {
      std::string bytes = edi::test::ReadBytes(f);
      if (f.filename() == "ERR.LOG") {
        std::istringstream lines(bytes);
        std::string line, kept;
        while (std::getline(lines, line))
          if (line.find(" start--") == std::string::npos) kept += line + "\n";
        bytes = kept;
      }
      out << f.filename().string() << " " << bytes.size() << " " << std::hash<std::string>{}(bytes) << "\n";
    }
  }

  // A fresh translator (no state carried over from the last input) over empty files.
  cii::Translator& Fresh(const std::string& xmlCharCode = "M", const std::string& code16 = "M") {
    return FreshWith(FuzzMasters(xmlCharCode, code16));
  }

  // The same over other masters.
  cii::Translator& FreshWith(std::unique_ptr<cii::MemoryMasters> masters) {
    Trace();
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir.path(), ec))
      std::filesystem::remove_all(e.path(), ec);
    translator = std::make_unique<cii::Translator>(*db, dir / "ERR.LOG");
    translator->impl().SetMasters(std::move(masters));
    return *translator;
  }
};

// A result code must be "0000" or four digits.
inline bool IsCode(const std::string& code) {
  if (code.size() != 4) return false;
  for (char c : code)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace edi::fuzz
