// Checks a center's set-up against what its transfer run will meet, without running it: the
// control row (method, send path, mail address, data format), the partners, their information
// categories and the format behind each category, and the terminal that runs the center.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/settings.h"

namespace edi {
class Database;
}

namespace edi::run {

// The rules, by the short name that every fault carries.
namespace center_rule {
inline constexpr const char* kNoCenter = "no-center";         // a named center has no control row
inline constexpr const char* kMethod = "method";              // 送受信方式 other than "Z" and "M"
inline constexpr const char* kSendPath = "send-path";         // "Z": send path blank, folder missing or not writable
inline constexpr const char* kMailAddress = "mail-address";   // "M": address missing or malformed
inline constexpr const char* kDataFormat = "data-format";     // 送受信データ形式 with no file extension
inline constexpr const char* kPartners = "partners";          // no FL1915 row
inline constexpr const char* kCategories = "categories";      // a partner without information categories
inline constexpr const char* kMessageGroup = "message-group"; // a category without a FL1916 message group
inline constexpr const char* kFormat = "format";              // a category's format missing or faulty
inline constexpr const char* kTerminal = "terminal";          // 実行端末名 that no workstation reports (warning)
}  // namespace center_rule

struct CenterFault {
  std::string center;
  std::string partner;   // 相手先企業コード, or empty
  std::string category;  // 情報区分コード, or empty
  std::string rule;      // one of center_rule::…
  std::string message;   // in the operator's language
  bool warning = false;  // shown, but the set-up is not faulty for it
};

// One line: center, partner, category ("-" where none), [rule] message; warnings say so.
std::string Describe(const CenterFault& fault);

struct CenterCheckResult {
  int centers = 0;
  std::vector<CenterFault> faults;  // warnings included
  int errors() const;
};

// Checks the named centers (every center of FL1903EDI制御マスタ when none is named).
// knownTerminals: the terminal names that workstations report. Throws DatabaseError.
CenterCheckResult CheckCenters(Database& db, const std::vector<std::string>& centers, const PackageSettings& package,
                               const std::set<std::string>& knownTerminals);

// This terminal and the terminals that hold or held a center lock.
std::set<std::string> KnownTerminals(Database& db, const std::string& thisTerminal);

// A mail address that a mail server accepts as a recipient: one "@", a local part and a
// domain of at least two labels, nothing that breaks a header (spaces, control characters,
// brackets, commas, semicolons, quotes).
bool LooksLikeMailAddress(const std::string& address);

}  // namespace edi::run
