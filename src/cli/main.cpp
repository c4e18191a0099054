// The `edi` command: transfers and translations for scripts, schedules and tests.
#include <cstdlib>
#include <iostream>

#include "cli/cli.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: edi [--ini PATH] COMMAND ...\n"
         "  run [--operator CODE] [--terminal NAME] (--all | CENTER...)\n"
         "  translate local-to-cii IN OUT [--serial N] [--explain LINE]\n"
         "  translate cii-to-local IN OUT\n"
         "  translate cii-to-xml IN OUT\n"
         "  translate xml-to-cii IN OUT\n"
         "  dump FILE\n"
         "  history [--serial N] [--from DATE] [--to DATE] [--center CODE] [--failed] [--open]\n"
         "  resend SERIAL [--force]\n"
         "  retry\n"
         "  alert --test\n"
         "  db init\n"
         "  format export DIR [--category C] [--bpid B] [--encoding cp932|utf-8]\n"
         "  format import DIR [--replace]\n"
         "  format check [--category C] [--bpid B]\n"
         "  check FILE [--format csv]\n"
         "EDI.ini: --ini PATH, else $EDI_INI, else two folders above the program.\n"
         "Exit codes: 0 everything done (sent); 1 something failed; 2 usage or start-up;\n"
         "  3 nothing failed but a center was skipped because another run holds it.\n";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace edi::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  CliOptions options;
  try {
    options.iniPath = TakeOption(args, "--ini");
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      PrintUsage(args.empty() ? std::cerr : std::cout);
      return args.empty() ? kExitUsage : kExitOk;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    options.args = std::move(args);
    if (command == "db") return CmdDb(options);
    if (command == "translate") return CmdTranslate(options);
    if (command == "dump") return CmdDump(options);
    if (command == "run") return CmdRun(options);
    if (command == "history") return CmdHistory(options);
    if (command == "format") return CmdFormat(options);
    if (command == "check") return CmdCheck(options);
    if (command == "resend") return CmdResend(options);
    if (command == "retry") return CmdRetry(options);
    if (command == "alert") return CmdAlert(options);
    std::cerr << "edi: unknown command \"" << command << "\"\n";
    PrintUsage(std::cerr);
    return kExitUsage;
  } catch (const UsageError& e) {
    std::cerr << "edi: " << e.what() << "\n";
    return kExitUsage;
  }
}
