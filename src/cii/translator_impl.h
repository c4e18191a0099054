// Translator::Impl: how the XML converters (and tests) reach the shared translation state,
// the masters and the log of a Translator.
//
//   auto& impl = translator.impl();
//   CachedMasters masters(impl.masters());          // one cache per conversion call
//   TranslationContext ctx = impl.Context(masters);
#pragma once

#include <memory>

#include "cii/masters.h"
#include "cii/state.h"
#include "cii/translation_log.h"
#include "cii/translator.h"

namespace edi::cii {

struct Translator::Impl {
  Impl(Database* db, std::filesystem::path errLog);

  // The masters the translations read: the database, or what SetMasters gave.
  MasterSource& masters() { return override_ ? *override_ : *dbMasters_; }
  // Replaces the database masters (tests, tools).
  void SetMasters(std::unique_ptr<MasterSource> source) { override_ = std::move(source); }

  TranslationContext Context(MasterSource& callMasters) {
    return TranslationContext{callMasters, log, state, clock, useHelperThread};
  }

  TranslationLog log;
  TranslationState state;
  Clock clock = LocalNow;
  bool useHelperThread = HelperThreadAvailable();

 private:
  std::unique_ptr<DatabaseMasters> dbMasters_;
  std::unique_ptr<MasterSource> override_;
};

}  // namespace edi::cii
