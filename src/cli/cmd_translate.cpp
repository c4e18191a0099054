// edi translate MODE IN OUT [--serial N]: one translation through the translator (local-to-cii,
// cii-to-local) or the XML converters (cii-to-xml, xml-to-cii). Prints the result code.
#include <iostream>
#include <string>

#include "cii/translator.h"
#include "cli/cli.h"
#include "xml/inbound.h"

namespace edi::cli {

namespace {
constexpr const char* kUsage =
    "usage: edi translate (local-to-cii | cii-to-local | cii-to-xml | xml-to-cii) IN OUT [--serial N]\n";
}

int CmdTranslate(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << kUsage;
    return kExitOk;
  }
  long long serial = 0;
  try {
    if (auto v = TakeOption(options.args, "--serial")) {
      std::size_t used = 0;
      serial = std::stoll(*v, &used);
      if (used != v->size() || serial < 0) throw UsageError("--serial needs a number");
    }
  } catch (const std::logic_error&) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  if (options.args.size() != 3) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  const std::string mode = options.args[0];
  const std::string in = options.args[1], out = options.args[2];
  if (mode != "local-to-cii" && mode != "cii-to-local" && mode != "cii-to-xml" && mode != "xml-to-cii") {
    std::cerr << kUsage;
    return kExitUsage;
  }
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  cii::Translator translator(*ws.db, ws.errLogPath);
  std::string code;
  if (mode == "local-to-cii") code = translator.RunOutboundTranslation("", serial, "1", in, out);
  else if (mode == "cii-to-local") code = translator.RunOutboundTranslation("", serial, "2", in, out);
  else if (mode == "cii-to-xml") code = xml::ConvertCiiToXmlFile(translator, in, out);
  else code = xml::ConvertXmlToCiiFile(translator, in, out);
  std::cout << code << "\n";
  return code == "0000" ? kExitOk : kExitFailed;
}

}  // namespace edi::cli
