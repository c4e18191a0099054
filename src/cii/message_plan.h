// The compiled layout of one set of item tables: worked out once when the tables are loaded
// (for every 'E' item its level, the local item, position and width that feed it, its value
// rule, its tag bytes; for every group where its members end, how far one repetition moves
// its members and what an empty repetition writes), and read-only while messages are built,
// by any thread. The builder walks this flat program instead of the item tables.
#pragma once

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

#include "cii/field_conversion.h"
#include "cii/message_writer.h"
#include "cii/state.h"

namespace edi::cii {

// A data element's tag as written: one byte, or two or three in extended mode; size 0 when
// the item number has no such tag (code 0006 when a value needs it).
struct TagBytes {
  char bytes[3] = {};
  unsigned char size = 0;
};

// One step of the compiled layout: an 'E' item.
struct ItemPlan {
  int level = 0;                // レベル番号
  bool group = false;           // a group item ("M")
  bool needsExtended = false;   // its 項目№ needs extended tags (beyond one byte)
  // A data item: the 'L' item that feeds it (0: none, the item is skipped), where its value
  // starts in the first repetition, how many bytes it takes (its 長さ, plus 1 for the decimal
  // point of a numeric item) and how the value is edited.
  std::size_t local = 0;
  long long position = 0;
  long long count = 0;
  ValueRule rule = ValueRule::None;  // resolved once from the EDI attribute
  int ediLength = 0, ediDecimals = 0, localLength = 0;
  TagBytes tag, extendedTag;
  // A group item: its repeat count, and whether the 'L' table holds an item at the group's
  // index (whose 長さ then moves the members from one repetition to the next).
  int repeats = 1;
  bool placed = false;
  long long repetitionLength = 0;
  // Its start bytes when the message is in one-byte tag mode [0] or in extended mode [1].
  GroupStartBytes groupStart[2];
};

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
