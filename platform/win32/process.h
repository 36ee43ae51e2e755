#pragma once
// Starting programs as the system starts its start-up commands, for the logon runner
// (vellomar-start.exe). Windows-only; the header needs no Windows header.

#include <string>

namespace vellomar::platform {

// Windows 95/98/Me (the high bit of GetVersion), as against the NT family.
bool IsWindows9x();

// Whether the system itself runs HKEY_LOCAL_MACHINE's RunServices commands when a session starts:
// Windows 95/98/Me at every start, and Wine, whose wineboot runs them at each session start
// whatever Windows version it reports. The NT family never does.
bool SystemRunsRunServices();

// Starts `program` with `arguments` (the text after the program's name, verbatim) in `folder`,
// without waiting for it. False when it could not be started.
bool StartProgram(const std::string& program, const std::string& arguments,
                  const std::string& folder);

}  // namespace vellomar::platform
