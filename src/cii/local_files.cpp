#include "cii/local_files.h"

#include <algorithm>
#include <cctype>

namespace edi::cii {

std::filesystem::path LocalPathForCategory(const std::filesystem::path& localPath, const std::string& category) {
  // The category comes from the file being read: only letters and digits go into a name.
  std::string safe;
  for (char c : category)
    safe += ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? c : '_';
  std::string name = localPath.filename().string();
  std::size_t dot = name.find('.');
  if (dot == std::string::npos) name += safe;
  else name.insert(dot, safe);
  return localPath.parent_path() / name;
}

namespace {

// The files that LocalPathForCategory can name for this path: its name with a category (up
// to 8 letters, digits or "_") put before its first ".".
std::vector<std::filesystem::path> LocalFilesOf(const std::filesystem::path& localPath) {
  const std::string name = localPath.filename().string();
  const std::size_t dot = name.find('.');
  const std::string head = name.substr(0, dot), tail = dot == std::string::npos ? "" : name.substr(dot);
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  const auto folder = localPath.parent_path().empty() ? std::filesystem::path(".") : localPath.parent_path();
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string n = it->path().filename().string();
    if (n.size() <= head.size() + tail.size() || n.size() > head.size() + tail.size() + 8) continue;
    if (n.rfind(head, 0) != 0 || n.compare(n.size() - tail.size(), tail.size(), tail) != 0) continue;
    // What LocalPathForCategory puts in: letters, digits and "_".
    const std::string middle = n.substr(head.size(), n.size() - head.size() - tail.size());
    const auto allowed = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    if (std::all_of(middle.begin(), middle.end(), allowed)) files.push_back(localPath.parent_path() / n);
  }
  return files;
}

}  // namespace

std::vector<FileMark> MarkLocalFiles(const std::filesystem::path& localPath) {
  std::vector<FileMark> marks;
  for (const auto& file : LocalFilesOf(localPath)) marks.emplace_back(file);
  return marks;
}

void PutBackLocalFiles(const std::filesystem::path& localPath, const std::vector<FileMark>& marks) {
  for (const auto& file : LocalFilesOf(localPath)) {
    auto mark = std::find_if(marks.begin(), marks.end(), [&](const FileMark& m) { return m.path() == file; });
    std::error_code ec;
    if (mark != marks.end()) mark->Restore();
    else std::filesystem::remove(file, ec);  // made by the failed reading
  }
}

}  // namespace edi::cii
