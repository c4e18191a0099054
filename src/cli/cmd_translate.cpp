// edi translate MODE IN OUT [--serial N]: one translation through the translator (local-to-cii,
// cii-to-local) or the XML converters (cii-to-xml, xml-to-cii). Prints the result code.
#include <iostream>
#include <string>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/file_mark.h"
#include "cii/local_check.h"
#include "cii/translator.h"
#include "cli/cli.h"
#include "xml/inbound.h"

namespace edi::cli {

namespace {
const char* Usage() {
  return Tr("使い方: edi translate (local-to-cii | cii-to-local | cii-to-xml | xml-to-cii) IN OUT [--serial N]\n"
            "       edi translate local-to-cii IN OUT --explain LINE   (LINE 行目の変換を説明します。何も書きません)\n");
}
}

int CmdTranslate(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  long long serial = 0, explain = 0;
  try {
    if (auto v = TakeOption(options.args, "--explain")) {
      std::size_t used = 0;
      explain = std::stoll(*v, &used);
      if (used != v->size() || explain < 1) throw UsageError(Tr("--explain には行番号を指定します"));
    }
    if (auto v = TakeOption(options.args, "--serial")) {
      std::size_t used = 0;
      serial = std::stoll(*v, &used);
      if (used != v->size() || serial < 0) throw UsageError(Tr("--serial には番号を指定します"));
    }
  } catch (const std::logic_error&) {
    std::cerr << Usage();
    return kExitUsage;
  }
  if (options.args.size() != 3) {
    std::cerr << Usage();
    return kExitUsage;
  }
  const std::string mode = options.args[0];
  const std::string in = options.args[1], out = options.args[2];
  if ((mode != "local-to-cii" && mode != "cii-to-local" && mode != "cii-to-xml" && mode != "xml-to-cii") ||
      (explain != 0 && mode != "local-to-cii")) {
    std::cerr << Usage();
    return kExitUsage;
  }
  if (explain != 0) {
    auto db = OpenConfiguredDatabase(options);
    if (!db) return kExitUsage;
    cii::DatabaseMasters masters(*db);
    cii::LineExplanation x = cii::ExplainLine(masters, in, explain);
    if (!x.error.empty()) {
      std::cerr << "edi translate: " << x.error << "\n";
      return kExitFailed;
    }
    cii::PrintExplanation(x, std::cout);
    return x.code == 0 ? kExitOk : kExitFailed;
  }
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  cii::Translator translator(*ws.db, ws.errLogPath);
  std::string code;
  if (mode == "local-to-cii") {
    // The writer appends to OUT. A failed translation takes back what it wrote, as inside a
    // run: an earlier file keeps its earlier content, a new file is removed, so that no
    // header without its trailer (or an empty file) is left to pass for CII.
    const FileMark mark(out);
    code = translator.RunOutboundTranslation("", serial, "1", in, out);
    if (code != "0000" && !mark.Restore())
      std::cerr << "edi translate: " << TrArgs("失敗した変換が書いた分を取り消せません: {1}", {out}) << "\n";
  } else if (mode == "cii-to-local") {
    // The reader puts its output files back itself when it fails.
    code = translator.RunOutboundTranslation("", serial, "2", in, out);
  } else if (mode == "cii-to-xml") {
    code = xml::ConvertCiiToXmlFile(translator, in, out);
  } else {
    code = xml::ConvertXmlToCiiFile(translator, in, out);
  }
  std::cout << code << "\n";
  return code == "0000" ? kExitOk : kExitFailed;
}

}  // namespace edi::cli
