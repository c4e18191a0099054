// The translator (module P114040) as the run and the `edi` command see it.
//
// One Translator holds the translation state that the writer, the reader and the XML
// converters share between calls (the header record, the item tables, the format values,
// the run's result code), the format masters it reads, and the translation log.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace edi {
class Database;
}

namespace edi::cii {

class Translator {
 public:
  // Masters read from the database; the log is appended to errLog (ERR.LOG).
  Translator(Database& db, std::filesystem::path errLog);
  ~Translator();
  Translator(const Translator&) = delete;
  Translator& operator=(const Translator&) = delete;

  // Mode "1": local fixed-length file `in` → CII file `out` (appended).
  // Mode "2": CII file `in` → local files named after `out`. Any other mode does nothing.
  // Returns "0000" or the run's result code that the translation logged.
  std::string RunOutboundTranslation(const std::string& centerCode, long long serial,
                                     const std::string& mode, const std::filesystem::path& in,
                                     const std::filesystem::path& out);

  // What the last translation left for the history record.
  std::string lastBpid() const;
  std::string lastInfoCategory() const;
  std::string lastStorageMode() const;

  struct Impl;
  Impl& impl() { return *impl_; }  // for the XML converters, which share the state

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace edi::cii
