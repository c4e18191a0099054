// What the last hand-off of each package center left at its send path. The package collects
// the file on its own schedule; until it has, the file at the send path is still that earlier
// result, and a later run must not replace it (its messages would never be sent while the
// history says they were). A file that is gone, or that is no longer what was handed off
// (another size or content), is no waiting result.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace edi {
class Database;
}

namespace edi::run {

struct WaitingResult {
  std::int32_t serial = 0;       // the run whose result waits
  std::filesystem::path path;    // the send path
};

// The center's earlier hand-off, still at `sendPath` unchanged; nullopt when there is none
// (also when the record cannot be read: the hand-off goes on as it always did). Never throws.
std::optional<WaitingResult> WaitingHandOff(Database& db, const std::string& centerCode,
                                            const std::filesystem::path& sendPath);

// Records that the result of `serial` was just handed off to `sendPath`. Returns a readable
// fault, or nullopt. Never throws.
std::optional<std::string> RecordHandOff(Database& db, const std::string& centerCode,
                                         const std::filesystem::path& sendPath, std::int32_t serial);

// A digest of the file's bytes (64-bit FNV-1a, as hex), nullopt when it cannot be read.
std::optional<std::string> ContentDigest(const std::filesystem::path& path);

}  // namespace edi::run
