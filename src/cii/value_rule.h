// The value of one data item edited by its compiled rule: plain digits (the usual numbers and
// dates) and text are edited here without the general reading; every other field goes
// through EditValueForEdi, whose result this always equals.
#pragma once

#include <string>
#include <string_view>

#include "cii/message_plan.h"
#include "cii/sjis.h"

namespace edi::cii {

// Every rule but text (out of line).
std::string_view EditRuledValue(const ItemPlan& plan, const ItemFormat& e, const ItemFormat& l,
                                std::string_view extracted, char code16, std::string& out);

// The edited value of the item from the bytes taken out of the line: a view into extracted
// (text), into out, or empty (no data element). e and l are the item and its local item.
// Text, the most common rule, is the field without its surrounding spaces, in place.
inline std::string_view EditItemValue(const ItemPlan& plan, const ItemFormat& e, const ItemFormat& l,
                                      std::string_view extracted, char code16, std::string& out) {
  if (plan.rule != ValueRule::Text) return EditRuledValue(plan, e, l, extracted, code16, out);
  return TrimSpaceView(extracted);
}

}  // namespace edi::cii
