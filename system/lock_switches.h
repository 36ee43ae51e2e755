#pragma once
// The immediate-lock switches and the program path, shared by the start-up entry, the shortcuts,
// the first-time wizard and the Setup form: one table, one builder.

#include <string>

#include "platform/filesystem.h"

namespace vellomar {

inline constexpr char kProgramFile[] = "kestrom.exe";

// The switches for the immediate lock, chosen by the taskbar and smiley choices:
//   taskbar smiley  ->  "/locknow";            no taskbar, smiley    ->  "/locknowfull";
//   taskbar, no smiley -> "/locknow /nosmile"; neither               ->  "/locknowfull /nosmile".
std::string LockSwitches(bool taskbar, bool smiley);

// The program path every writer uses: the current directory followed by "\kestrom.exe". At a
// drive's root this gives "C:\\kestrom.exe" (the directory's own backslash is kept), as the old
// program did; the platform resolves the empty component.
std::string ProgramPath(const std::string& current_dir);
std::string ProgramPath(const platform::FileSystem& files);

}  // namespace vellomar
