// The format of a message group, for both XML directions.
#pragma once

#include "cii/state.h"

namespace edi::xml {

// Takes the group's key (BPID, information category) and storage mode from the header record
// in the shared state, then its FL1902 row and its 'E' item table. The row's XML文字コード
// replaces the shared one only when `takeXmlCharCode` is set (CII to XML follows the format;
// XML to CII follows the document's declaration). Logs and returns false when the group
// cannot be converted: no format (0001), no items (0003), items out of order (0022).
bool LoadGroupFormat(cii::TranslationContext& ctx, bool takeXmlCharCode);

}  // namespace edi::xml
