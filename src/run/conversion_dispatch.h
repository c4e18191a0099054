// The conversion step: every in-house file that the extraction left for this run and center
// (serial + "_SND_" + center field + …) goes through the outbound translator into the run's
// result file, one history branch per file ("31"/"32"). For XML centers the translator's
// CII messages are then converted into the XML document that the sending step hands on
// (one more branch, "33").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/run_context.h"

namespace edi::run {

// The run's result file: every in-house file of one run and center goes into it. For XML
// centers this is where the CII messages go; the XML document takes the same name with ".XML".
std::string ResultFileName(const std::string& centerCode, std::int32_t serial);
std::string XmlResultName(const std::string& centerCode, std::int32_t serial);

// The unnumbered file that the conversion adopts into the run: "SND_" + center field + "9001.LOC".
std::string Unnumbered9001Name(const std::string& centerCode);

// The conversion step of a run. Returns the step's code: "0000" when every file converted,
// else "7200" ("9999" without a control row, the stop code when the run was stopped). A
// conversion that fails takes back what it wrote: a result file it created is removed, one
// that existed is cut back to its earlier length. The names of result files for which that
// failed are added to `leftBehind` (when given), so that the backup leaves them out.
// `someConverted` (when given) tells whether a result is ready to send: at least one file
// converted (and, for XML centers, the document was made), even when others failed.
std::string ConvertSendFiles(const RunContext& ctx, const std::string& centerCode, std::int32_t serial,
                             std::vector<std::string>* leftBehind = nullptr, bool* someConverted = nullptr);

}  // namespace edi::run
