#include "cii/translator.h"

#include <cstdio>
#include <thread>

#include "app/database.h"
#include "cii/codes.h"
#include "cii/reader.h"
#include "cii/translator_impl.h"
#include "cii/writer.h"
#include "platform/clock.h"

namespace edi::cii {

std::tm LocalNow() {
  return platform::LocalTime(std::time(nullptr));
}

Translator::Impl::Impl(Database* db, std::filesystem::path errLog) : log(std::move(errLog)) {
  if (db) dbMasters_ = std::make_unique<DatabaseMasters>(*db);
  else override_ = std::make_unique<MemoryMasters>();
}

Translator::Translator(Database& db, std::filesystem::path errLog)
    : impl_(std::make_unique<Impl>(&db, std::move(errLog))) {}
Translator::~Translator() = default;

namespace {
// The short date and long time of the log's start line: "yyyy/mm/dd hh:nn:ss".
std::string DateTimeText(const std::tm& t) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}
}  // namespace

std::string Translator::RunOutboundTranslation(const std::string& /*centerCode*/, long long serial,
                                               const std::string& mode, const std::filesystem::path& in,
                                               const std::filesystem::path& out) {
  Impl& impl = *impl_;
  impl.log.ClearResult();
  impl.log.WriteTranslationLog(0, StartMessage("P114040", serial, DateTimeText(impl.clock())), false);
  CachedMasters masters(impl.masters());  // each key's masters are read once per call
  TranslationContext ctx = impl.Context(masters);
  try {
    if (mode == "1") ConvertLocalToCii(ctx, in, out);
    else if (mode == "2") ConvertCiiToLocal(ctx, in, out);
  } catch (const std::exception& e) {
    impl.log.WriteTranslationLog(kCodeInternal, e.what(), false);
  }
  impl.log.EndRun();
  return impl.log.failed() ? impl.log.resultCode() : "0000";
}

std::string Translator::lastBpid() const { return impl_->state.bpid; }
std::string Translator::lastInfoCategory() const { return impl_->state.infoCategory; }
std::string Translator::lastStorageMode() const { return impl_->state.storageMode; }

}  // namespace edi::cii
