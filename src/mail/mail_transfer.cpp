// The mail transfer of one run file: a fixed sequence of sub-steps, each reported as a line
// once its work is done. A failing sub-step shows "Error n: text" and the transfer reports
// "9999"; nothing escapes as an exception.
#include "mail/mail_transfer.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "app/catalogue.h"
#include "app/messages.h"
#include "app/text.h"
#include "app/whole_file.h"
#include "mail/imap_client.h"
#include "mail/mail_fault.h"
#include "mail/mail_names.h"
#include "mail/mail_settings.h"
#include "mail/mime_message.h"
#include "mail/smtp_client.h"

namespace edi::mail {

namespace {

constexpr int kSubOk = 0;
constexpr int kSubFailed = 99;

MailFault FileFault(int err, const std::string& what) {
  return MailFault(kFileFaultBase + err, what + ": " + std::strerror(err));
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileFault(errno ? errno : ENOENT, path.string());
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw FileFault(EIO, path.string());
  return bytes;
}

// Written whole: a failed write never leaves a cut file under the received-file name.
void StoreFile(const std::filesystem::path& target, const std::string& bytes) {
  if (auto fault = WriteFileWhole(target, bytes)) throw MailFault(kFileFaultBase + fault->error, fault->text);
}

// The center code also names files: one that could reach outside the mail folders
// (a path separator, "..") fails the check like an empty one.
bool ParametersValid(const TransferFileRecord& rec) {
  return !rec.centerCode.empty() && IsSafeCenterCode(rec.centerCode) && (rec.direction == "S" || rec.direction == "R") &&
         (rec.dataFormat == "X" || rec.dataFormat == "C") && !rec.address.empty();
}

int SendFile(const TransferFileRecord& rec, const MailEnvironment& env, const MailSettings& settings,
             MailProgress& progress) {
  // The run's result file, found by its exact name (a "." matches only a dot).
  const std::string name = AttachmentFileName(rec.serial, rec.centerCode, rec.dataFormat);
  const std::filesystem::path folder = FolderOf(env.paths.outFolder);
  std::vector<std::string> matches;
  try {
    matches = MatchingFiles(folder, name);
  } catch (const std::filesystem::filesystem_error& e) {
    throw MailFault(kFileFaultBase + e.code().value(), folder.string() + ": " + e.code().message());
  }
  if (matches.empty()) {
    progress.AddLine("送信添付ファイルなし");
    return kSubOk;
  }

  std::optional<SmtpClient> smtp;
  if (env.saveTo.empty()) {
    smtp.emplace(ServerLogin{settings.smtpUrl, settings.profileName, settings.password});
    smtp->SetAbortCheck([&progress] { return progress.StopRequested(); });
    smtp->SignOn();
    progress.AddLine("ログオン");
  }

  OutgoingMail mail;
  mail.subject = MailSubject(std::time(nullptr));
  mail.body = ExpandMailText(settings.mailText);
  if (auto sender = ParseMailbox(settings.from)) mail.from = *sender;
  else throw MailFault(kMimeFaultBase + 3, TrArgs("FROM \"{1}\" はメールアドレスではありません", {settings.from}));
  progress.AddLine("メッセージを作成");

  auto recipient = ParseMailbox(rec.address);
  if (!recipient) throw MailFault(kMimeFaultBase + 4, TrArgs("\"{1}\" はメールアドレスではありません", {rec.address}));
  mail.to = *recipient;
  progress.AddLine("Pi_Rec.Pi_相手先メールアドレス");
  progress.AddLine(recipient->name.empty() ? recipient->address : recipient->name);
  progress.AddLine("受信者オブジェクトの作成");

  auto picked = PickAttachment(matches, name);
  if (!picked) throw FileFault(ENOENT, (folder / name).string());
  mail.attachmentName = *picked;
  mail.attachment = ReadWholeFile(folder / *picked);
  const std::string message = BuildMessage(mail);
  progress.AddLine("添付ファイル作成");

  if (!smtp) {
    const std::filesystem::path eml = env.saveTo / (*picked + ".eml");
    StoreFile(eml, message);
    progress.AddLine(eml.string());
    return kSubOk;
  }
  smtp->Send(mail.from.address, mail.to.address, message);
  progress.AddLine("送信");

  smtp->SignOff();
  progress.AddLine("ログオフ");
  return kSubOk;
}

int ReceiveFiles(const TransferFileRecord& rec, const MailEnvironment& env, const MailSettings& settings,
                 MailProgress& progress) {
  ImapClient imap(ServerLogin{settings.imapUrl, settings.profileName, settings.password});
  imap.SignOn();
  progress.AddLine("ログオン");

  // Every message of the inbox, oldest first, so that the latest matching one is stored last.
  const std::vector<unsigned long> uids = imap.ListMessages();
  progress.AddLine("受信トレイ検索");

  const std::string wanted = ParseMailbox(rec.address) ? ParseMailbox(rec.address)->address : rec.address;
  const std::filesystem::path target =
      FolderOf(env.paths.inFolder) / ReceivedFileName(rec.serial, rec.centerCode, rec.dataFormat);
  for (unsigned long uid : uids) {
    const IncomingMail mail = ParseMessage(imap.Fetch(uid));
    // The message's first recipient decides, as the mail client's current recipient does.
    if (mail.recipients.empty() || mail.recipients.front() != wanted) continue;
    if (!mail.hasAttachment) continue;  // nothing to store; an earlier file stays
    StoreFile(target, mail.attachment);
  }
  progress.AddLine("添付ファイル格納");

  imap.SignOff();
  progress.AddLine("ログオフ");
  return kSubOk;
}

}  // namespace

int MailTransfer(TransferFileRecord& rec, const MailEnvironment& env, MailProgress& progress) {
  int sub = kSubFailed;
  rec.fault.clear();
  // The error is shown and kept in the record, so that the caller can log it with the run.
  auto showError = [&](const std::string& text) {
    rec.fault = text;
    progress.ShowError(text);
  };
  bool unknown = false;
  try {
    progress.Open();
    if (ParametersValid(rec)) {
      progress.AddLine("パラメータチェック");
      MailSettings settings;
      bool settingsRead = false;
      try {
        settings = ReadMailSettings(env.iniPath);
        settingsRead = true;
      } catch (const std::exception&) {
        showError(msg::kIniReadError);
      }
      if (settingsRead) {
        progress.AddLine("INIファイル読込み");
        try {
          if (rec.direction == "S") {
            progress.AddLine("送信処理開始");
            sub = SendFile(rec, env, settings, progress);
          } else {
            progress.AddLine("受信処理開始");
            sub = ReceiveFiles(rec, env, settings, progress);
          }
        } catch (const MailFault& f) {
          showError(FormatFault(f.number, f.what()));
          sub = kSubFailed;
          unknown = f.outcomeUnknown;
        } catch (const std::exception& e) {
          showError(FormatFault(kFileFaultBase, e.what()));
          sub = kSubFailed;
        }
      }
    }
  } catch (...) {
    // A fault of the progress display itself: the transfer fails, the run goes on.
    sub = kSubFailed;
  }
  if (sub != kSubOk && rec.fault.empty())
    rec.fault = ParametersValid(rec) ? "メール送受信が異常終了しました" : "メール送受信のパラメータが正しくありません";
  try {
    progress.Close();
  } catch (...) {
    sub = kSubFailed;
  }
  rec.result = sub == kSubOk ? "0000" : unknown ? kMailOutcomeUnknown : "9999";
  return sub == kSubOk ? 0 : 9;
}

}  // namespace edi::mail
