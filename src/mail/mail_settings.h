// The mail settings of EDI.ini (sections MAPI and MAIL), read afresh at every mail transfer.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace edi::mail {

struct MailSettings {
  std::string profileName;  // MAPI ProfileName: the mail login (user name)
  std::string password;     // MAPI Password
  std::string mailText;     // MAIL MAIL-TEXT, as written in EDI.ini ("\n" not yet expanded)
  std::string smtpUrl;      // MAIL SMTP-URL: smtp://host:port (STARTTLS when offered) or smtps://
  std::string imapUrl;      // MAIL IMAP-URL: imap://host:port or imaps://, optionally /MAILBOX
  std::string from;         // MAIL FROM: the sender, "addr" or "Name <addr>"
};

struct MailSettingsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads the six keys. ProfileName, Password and MAIL-TEXT arrive in 64-byte buffers (at most
// 63 bytes of each value); the URLs and the sender, which are longer by nature, in 256-byte
// buffers. Throws MailSettingsError when the file cannot be read (no configuration folder,
// or a read fault); a missing key gives an empty value.
MailSettings ReadMailSettings(const std::filesystem::path& iniPath);

// The body of a sent message: every occurrence of the two characters backslash and "n"
// becomes CR LF; every other character is kept.
std::string ExpandMailText(const std::string& mailText);

}  // namespace edi::mail
