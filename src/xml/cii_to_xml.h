// CII message file → XML document.
//
// The CII file is read block by block and the document is written as it goes (header block:
// the declaration, the root and JPMGH; each message: a JPTRM element; the trailer: the end),
// so memory stays flat whatever the size of the file. The document is written to a temporary
// file beside the output and takes the output's name only when the group's trailer has been
// read: a conversion that stops leaves no output behind.
//
// One message group per document: a second group in the same file is reported (code 0042)
// and not converted; the document of the first group is kept.
#pragma once

#include <filesystem>

#include "cii/state.h"

namespace edi::xml {

// Failures go to ctx.log (the run's result code).
void ConvertCiiToXml(cii::TranslationContext& ctx, const std::filesystem::path& ciiPath,
                     const std::filesystem::path& xmlPath);

// True when the path's last three characters are "CII" in any case: the inbound entry
// converts such a file to XML, any other to CII.
bool IsCiiPath(const std::filesystem::path& path);

// The name of the temporary file a conversion writes before it is complete.
std::filesystem::path PartialOutputPath(const std::filesystem::path& xmlPath);

}  // namespace edi::xml
