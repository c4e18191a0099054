#include "screen/start_program.h"

#include <QDate>
#include <iostream>

#include "app/catalogue.h"
#include "app/messages.h"
#include "screen/display_settings.h"
#include "screen/operator_dialogs.h"
#include "screen/transfer_window.h"

namespace edi::screen {

ScreenProgram::ScreenProgram(OperatorDialogs& dialogs) : dialogs_(dialogs) {}

ScreenProgram::~ScreenProgram() = default;

bool ScreenProgram::Fail(const std::string& message, const std::string& detail) {
  const std::string shown = message.empty() ? std::string() : std::string(Tr(message.c_str()));
  std::cerr << "p740150: " << shown;
  if (!detail.empty()) std::cerr << ": " << detail;
  std::cerr << "\n";
  if (!shown.empty()) dialogs_.ShowMessage(nullptr, QString::fromStdString(shown));
  return false;
}

bool ScreenProgram::Start(const StartOptions& options, const std::string& commandLine) {
  // 1. The window exists from the start, but is shown only once everything is in place.
  window_ = std::make_unique<TransferWindow>(ws_, dialogs_);

  // 2. Settings, terminal name, the database connection, the program settings.
  if (auto failure = InitializeWorkstation(ws_, options)) return Fail(failure->message, failure->detail);
  if (auto failure = CheckUnattendedSettings(ws_)) return Fail(failure->message, failure->detail);

  // 3. The colours and the centers of this terminal, then the grid.
  if (auto failure = LoadCenters(ws_)) return Fail(failure->message, failure->detail);
  if (!window_->FillCenterGrid()) return Fail("", Tr("センターの一覧を表示できません"));

  if (auto refused = ApplyDisplaySettings(*window_, ws_.settings.display))
    return Fail(msg::kItemSettingError, *refused);

  window_->SetScreenCaptions(QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
  window_->setBusy(false);
  window_->show();

  ws_.operatorCode = IdentifyOperator(commandLine);
  window_->SetOperator(ws_.operatorCode);
  return true;
}

}  // namespace edi::screen
