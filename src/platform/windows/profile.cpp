// The Windows version comes from RtlGetVersion (ntdll), which, unlike GetVersionExW, is not
// bent to the version a program's manifest claims to know.
#include "platform/profile.h"

#include <chrono>

#include "platform/windows/win_text.h"

namespace edi::platform {
namespace {

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);

std::wstring ComputerName(COMPUTER_NAME_FORMAT format) {
  DWORD size = 0;
  GetComputerNameExW(format, nullptr, &size);
  if (size == 0) return {};
  std::wstring name(size, L'\0');
  if (!GetComputerNameExW(format, name.data(), &size)) return {};
  name.resize(size);
  return name;
}

}  // namespace

SystemProfile ReadSystemProfile() {
  SystemProfile p;
  p.os = "Windows NT";
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                             : nullptr;
  if (rtlGetVersion && rtlGetVersion(&info) == 0) {
    p.ver = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
    p.build = std::to_string(info.dwBuildNumber);
    p.csdVer = windows::Narrow(info.szCSDVersion);
  }
  p.domain = windows::Narrow(ComputerName(ComputerNameDnsDomain));
  p.machine = HostName();
  wchar_t user[257] = {};
  DWORD size = 257;
  if (GetUserNameW(user, &size)) p.user = windows::Narrow(user);
  return p;
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return "";
  return windows::Narrow(std::wstring_view(name, size));
}

// Windows keeps no boot id: the boot's start (now less the time since boot) to the minute
// stands for it. Near a minute's edge two readings may differ; a lock holder then counts as
// alive until its claim grows stale, never as gone while it runs.
std::string BootIdentity() {
  const auto now = std::chrono::duration_cast<std::chrono::minutes>(std::chrono::system_clock::now().time_since_epoch());
  const auto up = std::chrono::duration_cast<std::chrono::minutes>(std::chrono::milliseconds(GetTickCount64()));
  return HostName() + "/boot-" + std::to_string((now - up).count());
}

}  // namespace edi::platform
