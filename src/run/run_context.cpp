#include "run/run_context.h"

#include <algorithm>
#include <cctype>

#include "app/ini_file.h"
#include "app/text.h"
#include "cii/translation_log.h"

namespace edi::run {

void RunContext::LogFault(std::int32_t serial, const std::string& code, const std::string& step,
                          const std::string& file, const std::string& reason) const {
  const std::filesystem::path& log = dryRun ? dryRun->errLog : ws.errLogPath;
  if (!cii::AppendFaultLine(log, code, serial, step, file, reason)) listener.Log("ERR.LOG に書けません: " + log.string());
}

PackageSettings RunContext::package() const {
  PackageSettings settings = ReadPackageSettings(ws.ini());
  if (dryRun) settings.paramFolder = dryRun->paramFolder.string();
  return settings;
}

void RunContext::AddBranch(HistoryBranchRecord& rec) const {
  if (!dryRun) return AddHistoryBranch(db(), rec);
  rec.branch = ++dryRun->lastBranch;
  rec.result = "0000";
}

void RunContext::Finish(HistoryRecord& rec) const {
  if (!dryRun) return FinishHistoryRecord(db(), rec);
  rec.result = "0000";
}

bool IsZeroCode(const std::string& code) {
  if (code.empty()) return false;
  return std::all_of(code.begin(), code.end(), [](char c) { return c == '0'; });
}

std::filesystem::path InFolder(const std::string& folderPrefix, const std::string& name) {
  return std::filesystem::path(folderPrefix + name);
}

std::filesystem::path PrefixFolder(const std::string& folderPrefix) {
  if (folderPrefix.empty()) return std::filesystem::path(".");
  return std::filesystem::path(folderPrefix.substr(0, folderPrefix.size() - 1));
}

namespace {
bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}
}  // namespace

std::vector<std::string> ListFilesWithPrefix(const std::filesystem::path& folder, const std::string& prefix) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::string name = entry.path().filename().string();
    if (StartsWithNoCase(name, prefix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::set<long long> SerialsWithFiles(const PathSettings& paths) {
  std::set<long long> serials;
  for (const std::string* folder : {&paths.outFolder, &paths.oldFolder, &paths.inFolder}) {
    if (folder->empty()) continue;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(PrefixFolder(*folder), ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const auto digits = name.find_first_not_of("0123456789");
      if (digits == 0 || digits == std::string::npos || digits > 10 || name[digits] != '_') continue;
      serials.insert(std::stoll(name.substr(0, digits)));
    }
  }
  return serials;
}

}  // namespace edi::run
