// The local-to-CII writer: an in-house fixed-length file becomes CII message groups appended
// to the CII file. Streams: one line at a time in, each message written as it is built.
#pragma once

#include <filesystem>
#include <string>

#include "cii/state.h"

namespace edi::cii {

// Longest line the writer accepts (bytes, without its line end); a longer line is code 0028.
constexpr std::size_t kMaxLineBytes = 4 * 1024 * 1024;

// Failures set the run's result code through ctx.log.
void ConvertLocalToCii(TranslationContext& ctx, const std::filesystem::path& localPath,
                       const std::filesystem::path& ciiPath);

// The TFD bytes of one message from the data part of a line (Shift_JIS bytes) under the
// current group's item tables and header. Returns 0 or the code that stops the file.
int BuildMessageTfd(const TranslationState& state, std::string_view dataPart, std::string& tfd);

// Fills the header record from the FL1916 row, with the creation time.
void FillHeaderRecord(CiiHeaderRecord& header, const MessageGroupInfo& info, const std::tm& now);

}  // namespace edi::cii
