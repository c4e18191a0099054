// How this system writes paths: its separators and the root part of an absolute path
// ("/" on POSIX; "C:\", "C:/", "\\server\share\" and "\" on Windows), and where the running
// program lives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace edi::platform {

// The separator used to join folder names ('/'; Windows '\').
char PreferredSeparator();
// True for a character that separates folder names ('/'; Windows '/' and '\').
bool IsPathSeparator(char c);
// Length of the root part of the path including its separator; 0 for a relative path.
std::size_t RootLength(std::string_view path);

// The folder of the running program with every link resolved; "" when it cannot be read.
std::string ExecutableFolder();

}  // namespace edi::platform
