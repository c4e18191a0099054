// Turning the TFD bytes of one message into its stream and blocks, and the group start codes;
// shared by the local-to-CII writer and the XML-to-CII converter.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace edi::cii {

// The stream of one message: "9", "D", the number (5 digits), the short length (tfd ≤ 32759
// bytes) or the long form, the TFD bytes, 0xFE. Empty when the message is too long for the
// long form (more than 9,999,999 stream bytes).
std::string BuildMessageStream(int number, std::string_view tfd);

// Writes the stream as blocks for the storage mode: 251-byte blocks ("M" or space; the last
// padded with spaces) or 32001-byte blocks ("S"; the last not padded); lead digits "1"–"8"
// repeating, "9" on the last block. Writes nothing and returns false for another mode.
bool WriteMessageBlocks(std::ostream& out, std::string_view stream, char storageMode);

// BuildMessageStream and WriteMessageBlocks in one step, without holding the stream in
// memory: the same bytes, written straight from the TFD bytes.
enum class MessageWriteResult { Ok, TooLong, BadStorageMode };
MessageWriteResult WriteMessage(std::ostream& out, int number, std::string_view tfd, char storageMode);

enum class GroupStartResult { Ok, BadMultiDetail };
// Appends the start of a group with this マルチ明細番号. A number other than 0 needs
// extended tags: 0xF0 is appended (and the mode switched on when it was off). In extended
// mode the group is marked 0xFA + its character's code or 0xFD + two bytes; in one-byte mode
// 0xFA alone marks the unnumbered group. BadMultiDetail (code 0005) appends nothing.
GroupStartResult AppendGroupStart(std::string& tfd, const std::string& multiDetail, bool& extended);

// The bytes AppendGroupStart would append for a group with this マルチ明細番号 in the mode
// given, and the mode after them: worked out once per group item by a compiled layout.
struct GroupStartBytes {
  char bytes[4] = {};
  unsigned char size = 0;
  bool extendedAfter = false;
  GroupStartResult result = GroupStartResult::Ok;
};
GroupStartBytes GroupStartFor(const std::string& multiDetail, bool extended);

}  // namespace edi::cii
