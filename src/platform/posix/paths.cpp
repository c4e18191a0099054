#include "platform/paths.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

namespace edi::platform {

char PreferredSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

std::size_t RootLength(std::string_view path) { return !path.empty() && path.front() == '/' ? 1 : 0; }

// The kernel gives /proc/self/exe with every link resolved: a command on the search path that
// is a link to the program (/usr/bin/edi) yields the program's own folder.
std::string ExecutableFolder() {
  char buf[PATH_MAX + 1] = {};
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return {};
  return std::filesystem::path(std::string(buf, static_cast<std::size_t>(n))).parent_path().string();
}

}  // namespace edi::platform
