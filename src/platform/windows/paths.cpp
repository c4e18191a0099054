#include "platform/paths.h"

#include <filesystem>

#include "platform/windows/win_text.h"

namespace edi::platform {

char PreferredSeparator() { return '\\'; }

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t RootLength(std::string_view path) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() >= 2 && letter(path[0]) && path[1] == ':')
    return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // \\server\share\ : the server and the share belong to the root.
    std::size_t i = 2;
    for (int part = 0; part < 2 && i < path.size(); ++part) {
      while (i < path.size() && !IsPathSeparator(path[i])) ++i;
      if (i < path.size()) ++i;
    }
    return i;
  }
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

std::string ExecutableFolder() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      break;
    }
    name.resize(name.size() * 2);
  }
  std::error_code ec;
  std::filesystem::path program = std::filesystem::canonical(std::filesystem::path(name), ec);
  if (ec) program = std::filesystem::path(name);
  return program.parent_path().string();
}

}  // namespace edi::platform
