#include "system/lock_switches.h"

namespace vellomar {

std::string LockSwitches(bool taskbar, bool smiley) {
  std::string switches = taskbar ? "/locknow" : "/locknowfull";
  if (!smiley) switches += " /nosmile";
  return switches;
}

std::string ProgramPath(const std::string& current_dir) {
  return current_dir + "\\" + kProgramFile;
}

std::string ProgramPath(const platform::FileSystem& files) {
  return ProgramPath(files.CurDir());
}

}  // namespace vellomar
