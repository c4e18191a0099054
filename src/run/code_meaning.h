// What the end and detail codes of the processing history mean, in the operator's words, for
// the history window's tooltips (the README's code table lists the same texts).
#pragma once

#include <string>

namespace edi::run {

// The meaning of an end code ("7200" → "変換失敗: …"); a translator's code (0001–0046) is
// named by what the translator found. Empty for a code this system does not write.
std::string EndCodeMeaning(const std::string& endCode);

// The meaning of a detail code under its end code ("4100"/"0003" → the package's time-out,
// "9900"/"0015" → SIGTERM). Empty when the detail adds nothing (it repeats the end code or is
// "0000" under a failure that has no detail).
std::string DetailCodeMeaning(const std::string& endCode, const std::string& detailCode);

}  // namespace edi::run
