#include "mail/mail_settings.h"

#include <fstream>
#include <system_error>

#include "app/catalogue.h"
#include "app/ini_file.h"

namespace edi::mail {

MailSettings ReadMailSettings(const std::filesystem::path& iniPath) {
  if (iniPath.empty()) throw MailSettingsError(Tr("EDI.ini の設定フォルダがありません"));
  // A file that exists but cannot be opened is a fault; a missing file only gives empty values.
  std::error_code ec;
  if (std::filesystem::exists(iniPath, ec) && std::filesystem::is_directory(iniPath, ec)) {
    throw MailSettingsError(TrArgs("{1} はフォルダです", {iniPath.string()}));
  }
  if (std::filesystem::exists(iniPath, ec) && !std::ifstream(iniPath, std::ios::binary)) {
    throw MailSettingsError(TrArgs("{1} を読めません", {iniPath.string()}));
  }
  try {
    IniFile ini(iniPath);
    MailSettings s;
    s.profileName = ini.Read("MAPI", "ProfileName", 64);
    s.password = ini.Read("MAPI", "Password", 64);
    s.mailText = ini.Read("MAIL", "MAIL-TEXT", 64);
    s.smtpUrl = ini.Read("MAIL", "SMTP-URL", 256);
    s.imapUrl = ini.Read("MAIL", "IMAP-URL", 256);
    s.from = ini.Read("MAIL", "FROM", 256);
    return s;
  } catch (const std::exception& e) {
    throw MailSettingsError(e.what());
  }
}

std::string ExpandMailText(const std::string& mailText) {
  std::string out;
  out.reserve(mailText.size() + 8);
  for (std::size_t i = 0; i < mailText.size(); ++i) {
    if (mailText[i] == '\\' && i + 1 < mailText.size() && mailText[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else {
      out += mailText[i];
    }
  }
  return out;
}

}  // namespace edi::mail
