// XML document → CII message groups, appended to the CII file.
//
// The header comes from the JPC elements of JPMGH; every JPTRM element is one message, its
// data elements ("JP" + the item number) and groups ("JPM…", repetitions "JPM…R") encoded
// by the item table of the group's format; each group ends with a trailer that counts that
// group's messages, which are numbered from 1 within the group.
//
// The first JPMGH of a document always opens a group. A later JPMGH opens a new group only
// when one of its values differs from the header in force; otherwise its messages continue
// the open group.
#pragma once

#include <filesystem>

#include "cii/state.h"

namespace edi::xml {

// Failures go to ctx.log (the run's result code).
void ConvertXmlToCii(cii::TranslationContext& ctx, const std::filesystem::path& xmlPath,
                     const std::filesystem::path& ciiPath);

}  // namespace edi::xml
