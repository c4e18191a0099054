#include "platform/profile.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <fstream>

namespace edi::platform {

SystemProfile ReadSystemProfile() {
  SystemProfile p;
  struct utsname u {};
  if (uname(&u) == 0) {
    p.os = u.sysname[0] ? u.sysname : "Unknown OS";
    // "6.1.0-18-amd64": Ver "6.1", Build the digits of the patch level.
    std::string release = u.release;
    size_t firstDot = release.find('.');
    size_t secondDot = firstDot == std::string::npos ? std::string::npos : release.find('.', firstDot + 1);
    p.ver = release.substr(0, secondDot);
    if (secondDot != std::string::npos) {
      size_t i = secondDot + 1;
      while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) p.build += release[i++];
    }
    p.csdVer = u.version;
#ifdef _GNU_SOURCE
    if (u.domainname[0] && std::string(u.domainname) != "(none)") p.domain = u.domainname;
#endif
  } else {
    p.os = "Unknown OS";
  }
  p.machine = HostName();
  if (struct passwd* pw = getpwuid(geteuid())) p.user = pw->pw_name ? pw->pw_name : "";
  return p;
}

std::string HostName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

std::string BootIdentity() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string bootId;
  std::getline(in, bootId);
  return HostName() + "/" + bootId;
}

}  // namespace edi::platform
