#include "run/handoff_record.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/whole_file.h"

namespace edi::run {

std::optional<std::string> ContentDigest(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::uint64_t hash = 14695981039346656037ULL;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      hash ^= static_cast<unsigned char>(buffer[static_cast<std::size_t>(i)]);
      hash *= 1099511628211ULL;
    }
  }
  if (in.bad()) return std::nullopt;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(text);
}

std::optional<WaitingResult> WaitingHandOff(Database& db, const std::string& centerCode,
                                            const std::filesystem::path& sendPath) {
  try {
    std::error_code ec;
    if (IsSymbolicLink(sendPath) || !std::filesystem::is_regular_file(sendPath, ec)) return std::nullopt;
    auto rows = db.Query("SELECT 送信先, 通番, サイズ, 内容識別 FROM EDI送信待ちファイル WHERE センターコード = :1",
                         {centerCode});
    if (rows.empty() || rows.front().Text("送信先") != sendPath.string()) return std::nullopt;
    const auto size = std::filesystem::file_size(sendPath, ec);
    if (ec || static_cast<long long>(size) != rows.front().Int("サイズ")) return std::nullopt;
    const auto digest = ContentDigest(sendPath);
    if (!digest || *digest != rows.front().Text("内容識別")) return std::nullopt;
    return WaitingResult{static_cast<std::int32_t>(rows.front().Int("通番")), sendPath};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> RecordHandOff(Database& db, const std::string& centerCode,
                                         const std::filesystem::path& sendPath, std::int32_t serial) {
  try {
    std::error_code ec;
    const auto size = std::filesystem::file_size(sendPath, ec);
    const auto digest = ContentDigest(sendPath);
    if (ec || !digest) return TrArgs("{1}: 読み戻せません", {sendPath.string()});
    // The center is held by this run (its lock), so nobody writes its row in between.
    db.Execute("DELETE FROM EDI送信待ちファイル WHERE センターコード = :1", {centerCode});
    db.Execute("INSERT INTO EDI送信待ちファイル (センターコード, 送信先, 通番, サイズ, 内容識別) VALUES (:1, :2, :3, :4, :5)",
               {centerCode, sendPath.string(), static_cast<long long>(serial), static_cast<long long>(size), *digest});
    return std::nullopt;
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
}

}  // namespace edi::run
