#include "system/boot_files.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "record/password_record.h"

namespace vellomar {

namespace {

constexpr int kFile = 1;
constexpr std::uint32_t kShortPathBuffer = 250;
constexpr int kBootKeyBits =
    platform::attr::kReadOnly | platform::attr::kHidden | platform::attr::kSystem;
constexpr int kKeptBits = kBootKeyBits | platform::attr::kArchive;

// The lines kept for a rewrite: at most kBootLineBuffer of them.
class LineBuffer {
 public:
  void Add(const std::string& line) {
    if (lines_.size() == kBootLineBuffer) {
      throw RuntimeError(errc::kSubscriptOutOfRange, "Subscript out of range: more than " +
                                                         std::to_string(kBootLineBuffer) +
                                                         " lines to keep");
    }
    lines_.push_back(line);
  }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

std::string Drive(const std::string& win_path) {
  return win_path.substr(0, 1);
}

// Reads `path` line by line through file number 1; `each` gets the 1-based number and the line
// and returns false to stop early. The file is closed on every way out.
void ReadLines(platform::FileSystem& files, const std::string& path,
               const std::function<bool(int, const std::string&)>& each) {
  files.Close(kFile);
  files.Open(kFile, path, platform::OpenMode::Input);
  try {
    for (int number = 1; !files.Eof(kFile); ++number) {
      if (!each(number, files.LineInput(kFile))) break;
    }
  } catch (...) {
    files.Close(kFile);
    throw;
  }
  files.Close(kFile);
}

// A batch file that is not there: adding a lock line creates it, removing has nothing to do.
// Any other failure to open it (an I/O error, a file that cannot be read) fails the edit: taking
// such a file for missing would replace its lines with the lock line alone, or report a lock
// line removed that is still there.
bool Missing(const RuntimeError& error) {
  return error.code() == errc::kFileNotFound || error.code() == errc::kPathNotFound;
}

// Whether `path` exists, by opening it for reading (closed again at once). Throws the open's
// RuntimeError when the file is there but does not open.
bool Opens(platform::FileSystem& files, const std::string& path) {
  files.Close(kFile);
  try {
    files.Open(kFile, path, platform::OpenMode::Input);
  } catch (const RuntimeError& error) {
    if (Missing(error)) return false;
    throw;
  }
  files.Close(kFile);
  return true;
}

// Replaces `path` with `first` (when given) and then `lines`, each with CR LF.
void WriteLines(platform::FileSystem& files, const std::string& path,
                const std::vector<std::string>& lines,
                const std::optional<std::string>& first = std::nullopt) {
  files.Close(kFile);
  files.Open(kFile, path, platform::OpenMode::Output);
  try {
    if (first) files.PrintLine(kFile, *first);
    for (const std::string& line : lines) files.PrintLine(kFile, line);
  } catch (...) {
    files.Close(kFile);
    throw;
  }
  files.Close(kFile);
}

bool Contains(const std::string& line, const char* upper_text) {
  return UpperCase(line).find(upper_text) != std::string::npos;
}

// Every line that is not a lock line, in order.
LineBuffer LinesWithoutLock(platform::FileSystem& files, const std::string& path) {
  LineBuffer kept;
  ReadLines(files, path, [&](int, const std::string& line) {
    if (!IsLockLine(line)) kept.Add(line);
    return true;
  });
  return kept;
}

// Adds the lock line first in `path`, keeping a copy in `backup`; `skip_when_locked` leaves a
// file that already holds one alone.
void AddLock(platform::FileSystem& files, const std::string& path, const std::string& backup,
             std::string& sname, bool skip_when_locked) {
  StoreShortPath(files, sname);
  const std::string lock_line = LockLine(sname);
  if (!Opens(files, path)) {
    WriteLines(files, path, {}, lock_line);
    return;
  }
  files.FileCopy(path, backup);
  LineBuffer kept;
  bool locked = false;
  ReadLines(files, path, [&](int, const std::string& line) {
    kept.Add(line);
    locked = locked || IsLockLine(line);
    return !(locked && skip_when_locked);
  });
  if (locked && skip_when_locked) return;
  WriteLines(files, path, kept.lines(), lock_line);
}

// Runs `work` on MSDOS.SYS with its read-only, hidden and system bits cleared, then puts every
// bit back. Not reaching the file at all is BootKeysUnavailable.
void InAttributeFrame(platform::FileSystem& files, const std::string& path,
                      const std::function<void()>& work) {
  int old = 0;
  try {
    old = files.GetAttr(path);
    if (old & platform::attr::kDirectory) {
      throw RuntimeError(errc::kPathFileAccessError, path + " is a folder");
    }
    if (old & kBootKeyBits) files.SetAttr(path, platform::attr::kNormal);
    files.Close(kFile);
    files.Open(kFile, path, platform::OpenMode::Input);
    files.Close(kFile);
  } catch (const RuntimeError& error) {
    files.Close(kFile);
    throw BootKeysUnavailable(error.code(), error.what());
  }
  try {
    work();
  } catch (...) {
    // The edit failed; the file is whole, and it gets its protection back before the report.
    try {
      files.SetAttr(path, old & kKeptBits);
    } catch (const RuntimeError&) {
      // The edit's own failure is the one reported.
    }
    throw;
  }
  files.SetAttr(path, old & kKeptBits);
}

}  // namespace

std::string AutoexecPath(const std::string& win_path) {
  return Drive(win_path) + ":\\AUTOEXEC.BAT";
}

std::string DosStartPath(const std::string& win_path) {
  return win_path + "\\dosstart.bat";
}

std::string MsdosSysPath(const std::string& win_path) {
  return Drive(win_path) + ":\\MSDOS.SYS";
}

void StoreShortPath(platform::FileSystem& files, std::string& sname) {
  std::vector<char> buffer(kShortPathBuffer, '\0');
  const std::uint32_t length =
      files.GetShortPathNameA(files.CurDir().c_str(), buffer.data(), kShortPathBuffer);
  // A result as large as the buffer is the size it would need: the buffer holds nothing.
  if (length == 0 || length >= kShortPathBuffer) return;
  sname.assign(buffer.data(), length);
}

std::string LockLine(const std::string& sname) {
  return sname + "\\" + kLockProgram + " /STARTPATH: " + sname;
}

bool IsLockLine(const std::string& line) {
  return Contains(line, "HALVRIK.EXE");
}

bool AutoexecHasLock(platform::FileSystem& files, const std::string& win_path) {
  bool found = false;
  try {
    ReadLines(files, AutoexecPath(win_path), [&](int, const std::string& line) {
      found = IsLockLine(line);
      return !found;
    });
  } catch (const RuntimeError&) {
    return false;
  }
  return found;
}

void AddAutoexecLock(platform::FileSystem& files, const std::string& win_path, std::string& sname) {
  AddLock(files, AutoexecPath(win_path), Drive(win_path) + ":\\AUTOEXEC.QVR", sname,
          /*skip_when_locked=*/false);
}

void RemoveAutoexecLock(platform::FileSystem& files, const std::string& win_path) {
  const std::string path = AutoexecPath(win_path);
  if (!Opens(files, path)) return;
  WriteLines(files, path, LinesWithoutLock(files, path).lines());
}

void AddDosStartLock(platform::FileSystem& files, const std::string& win_path, std::string& sname) {
  AddLock(files, DosStartPath(win_path), win_path + "\\dosstart.qvr", sname,
          /*skip_when_locked=*/true);
}

void RemoveDosStartLock(platform::FileSystem& files, const std::string& win_path) {
  const std::string path = DosStartPath(win_path);
  bool any_line = false;
  try {
    ReadLines(files, path, [&](int, const std::string&) {
      any_line = true;
      return false;
    });
  } catch (const RuntimeError& error) {
    if (Missing(error)) return;
    throw;
  }
  if (!any_line) return;
  WriteLines(files, path, LinesWithoutLock(files, path).lines());
}

void DisableBootKeys(platform::FileSystem& files, const std::string& win_path) {
  const std::string path = MsdosSysPath(win_path);
  InAttributeFrame(files, path, [&] {
    files.FileCopy(path, Drive(win_path) + ":\\MSDOS.QVR");
    bool disabled = false;
    int header = 0, entry = 0;
    ReadLines(files, path, [&](int number, const std::string& line) {
      disabled = Contains(line, "BOOTKEYS=0");
      if (Contains(line, "[OPTIONS]")) header = number;
      if (Contains(line, "BOOTKEYS")) entry = number;
      return !disabled;
    });
    if (disabled) return;
    if (header == 0 && entry == 0) {
      throw RuntimeError(errc::kInvalidProcedureCall,
                         path + " has no [Options] section: the boot keys cannot be disabled");
    }
    LineBuffer kept;
    int new_entry_before = 0;  // index in `kept` where "BootKeys=0" goes
    ReadLines(files, path, [&](int number, const std::string& line) {
      if (number == entry) {
        new_entry_before = static_cast<int>(kept.lines().size());
        return true;
      }
      kept.Add(line);
      if (entry == 0 && number == header) new_entry_before = static_cast<int>(kept.lines().size());
      return true;
    });
    std::vector<std::string> lines = kept.lines();
    lines.insert(lines.begin() + new_entry_before, "BootKeys=0");
    WriteLines(files, path, lines);
  });
}

void EnableBootKeys(platform::FileSystem& files, const std::string& win_path) {
  const std::string path = MsdosSysPath(win_path);
  InAttributeFrame(files, path, [&] {
    bool enabled = false;
    int entry = 0;
    ReadLines(files, path, [&](int number, const std::string& line) {
      enabled = Contains(line, "BOOTKEYS=1");
      if (Contains(line, "BOOTKEYS=0")) entry = number;
      return !enabled;
    });
    if (enabled) return;
    LineBuffer kept;
    int new_entry_before = -1;
    ReadLines(files, path, [&](int number, const std::string& line) {
      if (number == entry) {
        new_entry_before = static_cast<int>(kept.lines().size());
      } else {
        kept.Add(line);
      }
      return true;
    });
    std::vector<std::string> lines = kept.lines();
    if (new_entry_before >= 0) lines.insert(lines.begin() + new_entry_before, "BootKeys=1");
    WriteLines(files, path, lines);
  });
}

}  // namespace vellomar
