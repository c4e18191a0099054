// UTF-8 and UTF-16 for the Windows API (the wide "W" calls) and the errno value nearest to a
// Windows error code, shared by the Windows side of the platform layer.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace edi::platform::windows {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// ENOENT, EACCES, ENOSPC, EROFS, EEXIST, EINVAL or EIO.
int ErrnoOf(DWORD error);

}  // namespace edi::platform::windows
