#include "app/profile.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>

namespace edi {

Profile::Profile() {
  struct utsname u {};
  if (uname(&u) == 0) {
    os_ = u.sysname[0] ? u.sysname : "Unknown OS";
    // "6.1.0-18-amd64": Ver "6.1", Build the digits of the patch level.
    std::string release = u.release;
    size_t firstDot = release.find('.');
    size_t secondDot = firstDot == std::string::npos ? std::string::npos : release.find('.', firstDot + 1);
    ver_ = release.substr(0, secondDot);
    if (secondDot != std::string::npos) {
      size_t i = secondDot + 1;
      while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) build_ += release[i++];
    }
    csdVer_ = u.version;
#ifdef _GNU_SOURCE
    if (u.domainname[0] && std::string(u.domainname) != "(none)") domain_ = u.domainname;
#endif
  } else {
    os_ = "Unknown OS";
  }
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0) machine_ = host;
  if (struct passwd* pw = getpwuid(geteuid())) user_ = pw->pw_name ? pw->pw_name : "";
}

ErrorReport FormatErrorReport(const std::string& source, long number, const std::string& description,
                              const std::string& title) {
  ErrorReport r;
  r.title = title.empty() ? "System Error Reported By " + source : title;
  r.text = "Error Code " + std::to_string(number) + "\r\n" + description;
  return r;
}

}  // namespace edi
