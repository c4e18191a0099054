#include "cii/layout_loader.h"

#include "app/text.h"
#include "cii/codes.h"

namespace edi::cii {

std::string GroupKeyBytes(std::string_view key) {
  std::string bytes;
  bytes.reserve(28);
  bytes.append(key.substr(5, 4)).append(key.substr(15, 12)).append(key.substr(27, 12));
  return bytes;
}

GroupKeyFields ReadGroupKey(std::string_view key) {
  return {FromAnsiBytes(key.substr(5, 4)), FromAnsiBytes(key.substr(15, 12)), FromAnsiBytes(key.substr(27, 12))};
}

int LoadCompiledLayout(MasterSource& masters, const std::string& category, const std::string& bpid,
                       TranslationState& st, MessagePlan& plan, long long& recordLength, std::string& detail) {
  detail.clear();
  auto format = masters.FindFormat(category, bpid);
  if (!format) return kCodeNoFormat;
  st.format = *format;
  st.xmlCharCode = format->xmlCharCode;
  auto edi = masters.FindItems('E', category, bpid);
  if (edi.empty()) return kCodeNoEdiItems;
  if (auto bad = LoadItemFormats(st.ediItems, std::move(edi))) {
    detail = "E " + *bad;
    return kCodeBadItemTable;
  }
  auto local = masters.FindItems('L', category, bpid);
  if (local.empty()) return kCodeNoLocalItems;
  if (auto bad = LoadItemFormats(st.localItems, std::move(local))) {
    detail = "L " + *bad;
    return kCodeBadItemTable;
  }
  MapEdiToLocal(st);
  recordLength = LocalRecordLength(st.localItems);
  plan.Prepare(st);
  return 0;
}

}  // namespace edi::cii
