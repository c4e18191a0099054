// The file helpers of the tests: temporary folders and files written and read as bytes. No
// database, so that the cross-built tests use them too.
#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#include "app/text.h"
#include "platform/process.h"
#include "test_support.h"

namespace edi::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("edi-test-" + std::to_string(platform::CurrentProcessId()) + "-" + std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission on folders a test made read-only, so that removal works.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec); !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAnsiText(const std::filesystem::path& path, const std::string& utf8) {
  std::string crlf;
  for (char c : utf8) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  WriteBytes(path, ToAnsiBytes(crlf));
}

}  // namespace edi::test
