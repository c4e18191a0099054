#include "app/profile.h"

#include "platform/profile.h"

namespace edi {

Profile::Profile() {
  platform::SystemProfile p = platform::ReadSystemProfile();
  os_ = std::move(p.os);
  ver_ = std::move(p.ver);
  build_ = std::move(p.build);
  csdVer_ = std::move(p.csdVer);
  domain_ = std::move(p.domain);
  machine_ = std::move(p.machine);
  user_ = std::move(p.user);
}

ErrorReport FormatErrorReport(const std::string& source, long number, const std::string& description,
                              const std::string& title) {
  ErrorReport r;
  r.title = title.empty() ? "System Error Reported By " + source : title;
  r.text = "Error Code " + std::to_string(number) + "\r\n" + description;
  return r;
}

}  // namespace edi
