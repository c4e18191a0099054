// What the workstation knows about the machine it runs on: operating system, computer name
// and user. Collected once when the object is made; a value that cannot be read stays empty.
#pragma once

#include <string>

namespace edi {

class Profile {
 public:
  Profile();  // asks the system (the platform layer) once

  const std::string& OS() const { return os_; }         // e.g. "Linux"
  const std::string& Ver() const { return ver_; }       // major.minor of the kernel release
  const std::string& Build() const { return build_; }   // the rest of the release, digits
  const std::string& CSDVer() const { return csdVer_; } // kernel version text
  const std::string& Domain() const { return domain_; } // NIS/DNS domain, empty when none
  const std::string& machine() const { return machine_; }
  const std::string& User() const { return user_; }

 private:
  std::string os_, ver_, build_, csdVer_, domain_, machine_, user_;
};

// Error report text: title (empty → "System Error Reported By " + source) and body
// "Error Code " + number + CR LF + description.
struct ErrorReport {
  std::string title;
  std::string text;
};
ErrorReport FormatErrorReport(const std::string& source, long number, const std::string& description,
                              const std::string& title);

}  // namespace edi
