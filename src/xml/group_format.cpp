#include "xml/group_format.h"

#include "app/text.h"
#include "cii/format.h"
#include "xml/xml_codes.h"

namespace edi::xml {

bool LoadGroupFormat(cii::TranslationContext& ctx, bool takeXmlCharCode) {
  cii::TranslationState& state = ctx.state;
  const cii::CiiHeaderRecord& header = state.header;
  const std::string category = FromAnsiBytes(header.InfoCategory());
  const std::string bpid = FromAnsiBytes(header.Bpid());
  state.bpid = bpid;
  state.infoCategory = category;
  state.storageMode = std::string(1, header.storageMode());

  // Without its format the group's values cannot be converted, even when the tables of
  // another format are still loaded.
  auto format = ctx.masters.FindFormat(category, bpid);
  if (!format) {
    ctx.log.WriteTranslationLog(kCodeXmlNoFormat, "", false);
    return false;
  }
  const std::string xmlCode = state.format.xmlCharCode;
  state.format = *format;
  if (takeXmlCharCode) {
    state.xmlCharCode = format->xmlCharCode;
  } else {
    state.format.xmlCharCode = xmlCode;
  }
  std::vector<cii::ItemFormat> rows = ctx.masters.FindItems('E', category, bpid);
  if (rows.empty()) {
    ctx.log.WriteTranslationLog(cii::kCodeNoEdiItems, "", false);
    return false;
  }
  if (auto problem = cii::LoadItemFormats(state.ediItems, std::move(rows))) {
    ctx.log.WriteTranslationLog(cii::kCodeBadItemTable, *problem, false);
    return false;
  }
  return true;
}

}  // namespace edi::xml
