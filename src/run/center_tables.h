// The center masters as CSV files that a person keeps, edits and loads again: 区分マスタ,
// FL1903EDI制御マスタ, FL1915センタ利用企業マスタ and FL1914利用情報区分マスタ, one file per
// table, with the conventions of the format masters' files (cii/csv_table).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cii/csv_table.h"

namespace edi::run {

// The four tables, in the order in which they are written and loaded.
const std::vector<cii::CsvTable>& CenterTables();

// Writes the center masters into dir. With a center code: that center's rows of the three
// center tables only (区分マスタ is shared by every center and gets no file); a code that
// matches no row is refused. Throws as cii::ExportTables.
std::vector<cii::TableCount> ExportCenters(Database& db, const std::filesystem::path& dir,
                                           const std::optional<std::string>& center, cii::CsvEncoding encoding,
                                           bool overwrite);

// Loads the center table files found in dir, all or nothing. Without replace, a center that
// is already in a table (its control row, its partners, its information categories; a
// 区分マスタ code) is refused; with replace, its rows there are replaced.
cii::ImportResult ImportCenters(Database& db, const std::filesystem::path& dir, const cii::ImportOptions& options);

}  // namespace edi::run
