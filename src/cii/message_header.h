// The header record of a message group: filled from its message group row (FL1916), and its
// creation time.
#pragma once

#include <ctime>

#include "cii/masters.h"
#include "cii/state.h"

namespace edi::cii {

// Fills the header record from the FL1916 row, with the creation time.
void FillHeaderRecord(CiiHeaderRecord& header, const MessageGroupInfo& info, const std::tm& now);

// The creation time, yymmddhhnnss, into header bytes 115–126.
void SetCreationTime(CiiHeaderRecord& header, const std::tm& now);

}  // namespace edi::cii
