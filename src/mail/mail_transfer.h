// Mail transfer (module P113030): sends a run's result file as a mail attachment over SMTP,
// or stores the first attachment of matching received mail (IMAP).
#pragma once

#include <filesystem>
#include <string>

#include "app/settings.h"

namespace edi::mail {

// A file handed to a transport (shared with the send dispatch).
struct TransferFileRecord {
  std::string centerCode;
  double serial = 0;
  std::string direction;    // 送受信種別: "S" send, "R" receive
  std::string dataFormat;   // 送受信データ形式: "C" or "X"
  std::string address;      // KMX送信ファイルパス for the hand-off, 相手先メールアドレス for mail
  std::string result;       // StepCode, out
  std::string fault;        // out: the error the operator was shown ("Error n: text"); empty when none
};

// What the operator sees of a mail transfer: the progress window D1130301 with its list
// Lst_Hyoji in the screen, lines on the console under `edi run`.
class MailProgress {
 public:
  virtual ~MailProgress() = default;
  virtual void Open() = 0;                               // show the window, clear the list
  virtual void AddLine(const std::string& line) = 0;     // one completed sub-step
  virtual void ShowError(const std::string& text) = 0;   // a message box / stderr; waits
  virtual void Close() = 0;                              // unload the window
  // True when the transfer under way should end now (a stop signal); polled while the
  // server is talked to.
  virtual bool StopRequested() const { return false; }
};

struct MailEnvironment {
  std::filesystem::path iniPath;  // EDI.ini in the configuration folder
  PathSettings paths;             // EDIOUTFIL, EDIINFIL
  // A dry run: the message is built as for sending and written into this folder as
  // <attachment name>.eml; no server is contacted.
  std::filesystem::path saveTo;
};

// rec.result of a send whose message was handed over whole but whose answer was lost: it may
// have been delivered, so it is left for a person to decide, never sent again by itself.
inline constexpr const char* kMailOutcomeUnknown = "9998";

// Sets rec.result to "0000", "9999" or kMailOutcomeUnknown and returns 0 or 9.
int MailTransfer(TransferFileRecord& rec, const MailEnvironment& env, MailProgress& progress);

}  // namespace edi::mail
