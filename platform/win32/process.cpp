#include "platform/win32/process.h"

#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace vellomar::platform {

bool IsWindows9x() {
  return (::GetVersion() & 0x80000000u) != 0;
}

bool SystemRunsRunServices() {
  if (IsWindows9x()) return true;
  // Wine's ntdll exports its version; no Windows one does.
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool StartProgram(const std::string& program, const std::string& arguments,
                  const std::string& folder) {
  // The program's name quoted, as Windows' own launchers pass it, so that a folder with spaces
  // is not read as the program's arguments.
  std::string line = "\"" + program + "\"";
  if (!arguments.empty()) line += " " + arguments;
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    return false;
  }
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return true;
}

}  // namespace vellomar::platform
