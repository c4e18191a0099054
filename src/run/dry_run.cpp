#include "run/dry_run.h"

#include <ctime>

#include "app/catalogue.h"
#include "app/run_file_name.h"
#include "app/text.h"
#include "platform/files.h"
#include "run/conversion_dispatch.h"
#include "run/run_context.h"

namespace edi::run {

DryRunFolders MakeDryRunFolders(const std::filesystem::path& root) {
  DryRunFolders d;
  d.root = std::filesystem::absolute(root);
  for (const char* sub : {"param", "status", "out", "old", "send", "mail"}) {
    std::filesystem::remove_all(d.root / sub);
    std::filesystem::create_directories(d.root / sub);
  }
  // Folder values of EDI.ini end with the separator; the received files would go beside the output.
  d.paths.outFolder = (d.root / "out").string() + "/";
  d.paths.inFolder = d.paths.outFolder;
  d.paths.oldFolder = (d.root / "old").string() + "/";
  d.paths.statusFolder = (d.root / "status").string();
  d.errLog = d.root / "ERR.LOG";
  d.paths.errLog = d.errLog.string();
  d.paramFolder = d.root / "param";
  d.sendFolder = d.root / "send";
  d.mailFolder = d.root / "mail";
  return d;
}

std::filesystem::path NewDryRunFolder(const std::filesystem::path& base) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::filesystem::path folder = base / stamp;
  for (int n = 2; std::filesystem::exists(folder); ++n) folder = base / (std::string(stamp) + "-" + std::to_string(n));
  return folder;
}

std::vector<std::string> TakeDryRunOutput(const PathSettings& real, const DryRunFolders& dry,
                                          const std::string& centerCode, long long serial) {
  std::vector<std::string> faults;
  const std::filesystem::path from = PrefixFolder(real.outFolder), to = PrefixFolder(dry.paths.outFolder);
  std::vector<std::string> names;
  try {
    names = ListFilesWithPrefix(from, RunFilePrefix(serial, centerCode));
  } catch (const std::exception& e) {
    return {e.what()};
  }
  for (const std::string& name : names) {
    std::error_code ec;
    if (platform::RenameOver(from / name, to / name) != 0) {  // another file system: copied, then removed
      std::filesystem::copy_file(from / name, to / name, std::filesystem::copy_options::overwrite_existing, ec);
      if (!ec) std::filesystem::remove(from / name, ec);
    }
    if (ec) faults.push_back(TrArgs("テスト実行の抽出ファイルを移せません: {1}: {2}", {(from / name).string(), ec.message()}));
  }
  const std::string unnumbered = Unnumbered9001Name(centerCode);
  std::error_code ec;
  if (std::filesystem::is_regular_file(from / unnumbered, ec))
    std::filesystem::copy_file(from / unnumbered, to / unnumbered, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) faults.push_back(TrArgs("テスト実行の抽出ファイルを移せません: {1}: {2}", {(from / unnumbered).string(), ec.message()}));
  return faults;
}

const char* DryRunMark() { return Tr("[テスト]"); }

}  // namespace edi::run
