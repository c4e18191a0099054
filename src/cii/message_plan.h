// What building a message under one set of item tables needs besides the tables: worked out
// once when the tables are loaded (the local item, position, width and tag bytes of every data
// item; where every group's members end and what an empty repetition writes), and read-only
// while messages are built, by any thread.
#pragma once

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

#include "cii/state.h"

namespace edi::cii {

// What the writer needs of each 'E' item, worked out once per set of item tables: the local
// item that feeds it, where its value starts in the first repetition and how many bytes it
// takes.
struct ItemPlan {
  std::size_t local = 0;   // index of the 'L' item (0: none, the item is skipped)
  long long position = 0;  // the 'L' item's 項目位置 as a number
  long long count = 0;     // its 長さ, plus 1 for the decimal point of a numeric item
  // The element's tag in one-byte and in extended mode (empty: no such tag, code 0006).
  std::string tag, extendedTag;
  bool text = false;  // 属性 "X": the value is the field without its surrounding spaces
};

// What building a message under one set of item tables needs besides the tables, worked out
// once when they are loaded; read-only while messages are built, by any thread.
struct MessagePlan {
  struct GroupPlan {
    std::size_t end = 0;          // index of the first item after the group's members
    std::size_t emptyBytes = 0;   // 0: a repetition of empty fields writes nothing
    long long lowestPosition = LLONG_MAX;  // LLONG_MAX: no member takes bytes from the line
  };
  std::vector<ItemPlan> items;   // per 'E' item, by index
  std::vector<GroupPlan> groups;  // per group item, by index

  void Prepare(const TranslationState& state);
};

}  // namespace edi::cii
