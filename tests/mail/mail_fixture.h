// Shared pieces of the mail tests: a progress that records what the operator would see,
// a workspace with EDI.ini and the PATH folders, and access to the test mail servers.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "mail/mail_transfer.h"
#include "test_support.h"

namespace edi::mail::test {

struct RecordingProgress : MailProgress {
  std::vector<std::string> lines, errors;
  int opened = 0, closed = 0;
  void Open() override { ++opened; lines.clear(); }
  void AddLine(const std::string& line) override { lines.push_back(line); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void Close() override { ++closed; }
};

// The servers of scripts/services/mail, from the environment.
struct MailServers {
  std::string smtpUrl, imapUrl, user, password, smtpMaildir;
};
std::optional<MailServers> TestServers();

// A folder with out/, in/ and EDI.ini holding sections MAPI and MAIL.
class MailWorkspace {
 public:
  MailWorkspace();
  // Writes EDI.ini (CP932) with these values.
  void WriteIni(const std::string& user, const std::string& password, const std::string& mailText,
                const std::string& smtpUrl, const std::string& imapUrl, const std::string& from);
  MailEnvironment env() const;
  std::filesystem::path out() const { return dir_ / "out"; }
  std::filesystem::path in() const { return dir_ / "in"; }
  std::filesystem::path ini() const { return dir_ / "EDI.ini"; }

 private:
  edi::test::TempDir dir_;
};

// A mail address no other test uses (tests run in parallel against the same servers).
std::string UniqueAddress(const std::string& tag);

// The raw messages in the SMTP server's maildir whose envelope recipient is `address`.
std::vector<std::string> ArrivedMessages(const std::string& maildir, const std::string& address);

// Puts a raw message into the inbox of `user` on the IMAP server (IMAP APPEND). Returns the
// libcurl code.
int AppendToInbox(const MailServers& servers, const std::string& user, const std::string& raw);

}  // namespace edi::mail::test
