// The `edi` command: transfers and translations for scripts, schedules and tests.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app/catalogue.h"
#include "cli/cli.h"
#include "cli/edi_help.h"  // made at build time from the command descriptions in docs/man

namespace {

const edi::cli::CommandHelp* FindHelp(const std::string& command) {
  for (const auto& help : edi::cli::kCommandHelp)
    if (command == help.name) return &help;
  return nullptr;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace

int main(int argc, char** argv) {
  using namespace edi::cli;
  edi::InitCatalogue();
  std::vector<std::string> args(argv + 1, argv + argc);
  CliOptions options;
  try {
    options.iniPath = TakeOption(args, "--ini");
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      (args.empty() ? std::cerr : std::cout) << kOverviewHelp;
      return args.empty() ? kExitUsage : kExitOk;
    }
    if (args[0] == "--version") {
      std::cout << "edi " << kVersion << "\n";
      return kExitOk;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    // The command's own help comes from the same description as its manual page section.
    if (const CommandHelp* help = FindHelp(command); help && AsksForHelp(args)) {
      std::cout << help->text;
      return kExitOk;
    }
    options.args = std::move(args);
    if (command == "db") return CmdDb(options);
    if (command == "translate") return CmdTranslate(options);
    if (command == "dump") return CmdDump(options);
    if (command == "run") return CmdRun(options);
    if (command == "history") return CmdHistory(options);
    if (command == "format") return CmdFormat(options);
    if (command == "center") return CmdCenter(options);
    if (command == "check") return CmdCheck(options);
    if (command == "resend") return CmdResend(options);
    if (command == "report") return CmdReport(options);
    if (command == "retry") return CmdRetry(options);
    if (command == "alert") return CmdAlert(options);
    std::cerr << "edi: " << edi::TrArgs("「{1}」というコマンドはありません (edi --help でコマンドの一覧を表示します)", {command}) << "\n";
    return kExitUsage;
  } catch (const UsageError& e) {
    std::cerr << "edi: " << e.what() << "\n";
    return kExitUsage;
  }
}
