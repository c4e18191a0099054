#include "screen/history_program.h"

#include <iostream>

#include "app/messages.h"
#include "screen/display_settings.h"
#include "screen/history_dialogs.h"
#include "screen/history_window.h"

namespace edi::screen {

HistoryProgram::HistoryProgram(HistoryDialogs& dialogs) : dialogs_(dialogs) {}

HistoryProgram::~HistoryProgram() = default;

bool HistoryProgram::Fail(const std::string& message, const std::string& detail) {
  std::cerr << "edi-history: " << message;
  if (!detail.empty()) std::cerr << ": " << detail;
  std::cerr << "\n";
  dialogs_.ShowMessage(nullptr, QString::fromStdString(message));
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
    std::string detail = "the history cannot be read";
    for (const auto& t : missing) detail += (t == missing.front() ? ": missing table " : " ") + t;
    return Fail(msg::kNoData, detail);
  }
  window_->show();
  return true;
}

}  // namespace edi::screen
