// Loading a format's tables for building messages, shared by the writer and the in-house
// file check so that both read a key and compile a layout the same way.
#pragma once

#include <string>
#include <string_view>

#include "cii/masters.h"
#include "cii/message_plan.h"
#include "cii/state.h"

namespace edi::cii {

// The key bytes that select a message group: 情報区分 (bytes 6–9), 自社コード (16–27) and
// 相手先コード (28–39) one after another, as they stand in the line.
std::string GroupKeyBytes(std::string_view key);

// The same three fields as text.
struct GroupKeyFields {
  std::string category, own, partner;
};
GroupKeyFields ReadGroupKey(std::string_view key);

// Loads the format row and both item tables of the category and BPID into the state (as far
// as they load, in that order) and compiles them: the plan and the local record length.
// Returns 0, or the code that stops the file with what went wrong in detail ("E …" or "L …"
// for a table out of order).
int LoadCompiledLayout(MasterSource& masters, const std::string& category, const std::string& bpid,
                       TranslationState& state, MessagePlan& plan, long long& recordLength, std::string& detail);

}  // namespace edi::cii
