#include "screen/history_program.h"

#include <iostream>

#include "app/catalogue.h"
#include "app/messages.h"
#include "screen/display_settings.h"
#include "screen/history_dialogs.h"
#include "screen/history_window.h"

namespace edi::screen {

HistoryProgram::HistoryProgram(HistoryDialogs& dialogs) : dialogs_(dialogs) {}

HistoryProgram::~HistoryProgram() = default;

bool HistoryProgram::Fail(const std::string& message, const std::string& detail) {
  const std::string shown = Tr(message.c_str());
  std::cerr << "edi-history: " << shown;
  if (!detail.empty()) std::cerr << ": " << detail;
  std::cerr << "\n";
  dialogs_.ShowMessage(nullptr, QString::fromStdString(shown));
  return false;
}

bool HistoryProgram::Start(const StartOptions& options) {
  if (auto failure = InitializeWorkstation(ws_, options)) return Fail(failure->message, failure->detail);
  ws_.colours = LoadStatusColours(ws_.ini());

  window_ = std::make_unique<HistoryWindow>(ws_, dialogs_);
  if (auto refused = ApplyDisplaySettings(*window_, ws_.settings.display))
    return Fail(msg::kItemSettingError, *refused);
  if (!window_->LoadHistory()) {
    auto missing = MissingTables(*ws_.db);
    std::string tables;
    for (const auto& t : missing) tables += " " + t;
    const std::string detail = missing.empty() ? std::string(Tr("履歴を読めません"))
                                               : TrArgs("履歴を読めません: テーブルがありません:{1}", {tables});
    return Fail(msg::kNoData, detail);
  }
  window_->show();
  return true;
}

}  // namespace edi::screen
