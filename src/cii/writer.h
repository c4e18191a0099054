// The local-to-CII writer: an in-house fixed-length file becomes CII message groups appended
// to the CII file. Streams: one line at a time in, each message written as it is built.
#pragma once

#include <filesystem>
#include <string>
#include <span>
#include <string_view>

#include "cii/message_header.h"
#include "cii/state.h"

namespace edi::cii {

// Bytes of the message group key at the start of every in-house line.
constexpr std::size_t kLocalKeyBytes = 39;

// How the writer takes a line of an in-house file: blank (only spaces; skipped, not a
// message), without a 39-byte key of single-byte characters (code 0025), or a message.
enum class LocalLineKind { Blank, NoKey, Message };
LocalLineKind ClassifyLocalLine(std::string_view line);

// Longest line the writer accepts (bytes, without its line end); a longer line is code 0028.
constexpr std::size_t kMaxLineBytes = 4 * 1024 * 1024;

// Failures set the run's result code through ctx.log.
void ConvertLocalToCii(TranslationContext& ctx, const std::filesystem::path& localPath,
                       const std::filesystem::path& ciiPath);

// What the writer did with one 'E' data item of a message, for the in-house file check and
// --explain: they watch the writer itself, so they agree with it on every cut and edit.
struct ItemTrace {
  std::size_t ediIndex = 0;    // the 'E' item
  std::size_t localIndex = 0;  // its 'L' item; 0: none, the item is skipped
  long long position = 0;      // 1-based byte of the data part the value was taken from
  long long count = 0;         // bytes taken (the local width)
  std::string_view raw;        // the bytes taken out of the line
  std::string_view value;      // the edited value; empty: no data element
  std::string_view element;    // the data element's bytes (tag, length, data)
  std::string_view tag;        // its tag bytes
  std::span<const int> repetitions;  // repetition number of each open group, outermost first
};
class ItemObserver {
 public:
  virtual ~ItemObserver() = default;
  virtual void OnItem(const ItemTrace& trace) = 0;
};

}  // namespace edi::cii
