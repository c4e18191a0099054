// Building the TFD bytes of one message from the data part of a line: the walk over the 'E'
// items under a message plan, with its groups and repetitions.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cii/message_plan.h"
#include "cii/sjis.h"
#include "cii/writer.h"

namespace edi::cii {

// Per open group of the message being built.
struct OpenGroup {
  std::size_t item = 0;     // index of the group item in the 'E' table
  int repetition = 1;
  bool repetitionHasData = false;
  bool groupHasData = false;
  int owedSeparators = 0;
  // What the open repetitions of this level and those around it add to a member's position:
  // for every level, (repetition − 1) × the local length of its group. broken: a level in a
  // later repetition has no 'L' item for its group (its members cannot be placed).
  long long offset = 0;
  bool broken = false;
};

// Builds the TFD bytes of messages under a plan, keeping its buffers from one message to the
// next. Each thread that builds messages has a builder of its own.
class TfdBuilder {
 public:
  int Build(const MessagePlan& plan, const TranslationState& state, std::string_view data, std::string& tfd,
            ItemObserver* observer = nullptr);
  // The same, leaving the message's bytes in the builder: Tfd() until the next build.
  int Build(const MessagePlan& plan, const TranslationState& state, std::string_view data,
            ItemObserver* observer = nullptr);
  std::string_view Tfd() const { return tfd_; }

 private:
  // The repetition numbers of the open groups, outermost first (for an observer; valid until
  // the next call).
  std::span<const int> Repetitions(std::size_t depth) {
    repetitions_.clear();
    for (std::size_t k = 1; k <= depth; ++k) repetitions_.push_back(open_[k].repetition);
    return repetitions_;
  }
  bool LaterRepetitionsBeyondLine(const OpenGroup& group, std::size_t lineSize) const;

  const MessagePlan* plan_ = nullptr;  // of the message being built
  ShiftJisLine line_;
  std::string field_;
  std::vector<OpenGroup> open_;
  std::vector<int> repetitions_;
  std::string value_;
  std::string buffer_;    // the bytes of the message being built, and room beyond them
  std::string_view tfd_;  // the last message's bytes in buffer_
};

}  // namespace edi::cii
