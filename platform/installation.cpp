#include "platform/installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/emulated.h"
#include "platform/errors.h"

namespace vellomar::platform {
namespace fs = std::filesystem;

namespace {

constexpr int kFile = 1;
constexpr char kMsdosSys[] = "C:\\MSDOS.SYS";
constexpr char kAutoexecBat[] = "C:\\AUTOEXEC.BAT";
constexpr char kDosStartBat[] = "C:\\WINDOWS\\DOSSTART.BAT";
constexpr char kPasswordFile[] = "C:\\Program Files\\Vellomar\\supermp.dat";

// MSDOS.SYS as Windows 98 leaves it, padding lines included (it must stay over 1024 bytes).
std::vector<std::string> MsdosSysLines() {
  std::vector<std::string> lines = {
      "[Paths]",
      "WinDir=C:\\WINDOWS",
      "WinBootDir=C:\\WINDOWS",
      "HostWinBootDrv=C",
      "",
      "[Options]",
      "BootMulti=1",
      "BootGUI=1",
      "DoubleBuffer=1",
      "AutoScan=1",
      "WinVer=4.10.2222",
      ";",
      ";The following lines are required for compatibility with other programs.",
      ";Do not remove them (MSDOS.SYS needs to be >1024 bytes).",
  };
  for (char tail = 'a'; tail <= 's'; ++tail) lines.push_back(";" + std::string(70, 'x') + tail);
  return lines;
}

class Installer {
 public:
  explicit Installer(const InstallOptions& options)
      : options_(options), machine_(options.drive_c, options.drive_c) {}

  InstallResult Run() {
    result_.done.push_back("drive C: is " + machine_.drive_c().string());
    for (const char* folder : {kWindowsDirectory, "C:\\WINDOWS\\Desktop", "C:\\WINDOWS\\Start Menu",
                               kProgramsFolder, "C:\\Program Files", kProgramFolder}) {
      Step([&] { MakeFolder(folder); });
    }
    Step([&] { MakeRegistry(); });
    Step([&] { MakeMsdosSys(); });
    Step([&] { MakeTextFile(kAutoexecBat, {"@ECHO OFF", "PROMPT $p$g"}); });
    Step([&] {
      MakeTextFile(kDosStartBat, {"@ECHO OFF", "REM Run when Windows restarts in MS-DOS mode."});
    });
    Step([&] { PutProgram(options_.program, "kestrom.exe"); });
    // The guard that keeps a lock up should kestrom.exe die runs from beside it.
    const fs::path guard = options_.program.parent_path() / "vellomar-guard";
    std::error_code missing;
    if (fs::is_regular_file(guard, missing)) Step([&] { PutProgram(guard, "vellomar-guard"); });
    if (!options_.console_lock.empty()) {
      Step([&] { PutProgram(options_.console_lock, "halvrik.exe"); });
    }
    Step([&] { MakePasswordFile(); });
    // Both hold the password record; a copy another program left readable to others is made the
    // user's alone, as the emulation makes every file it writes.
    for (const char* secret : {kRegistryFile, kPasswordFile}) Step([&] { KeepPrivate(secret); });
    return result_;
  }

 private:
  template <typename Action>
  void Step(Action action) {
    try {
      action();
    } catch (const std::exception& error) {
      result_.problems.push_back(error.what());
    }
  }

  bool Exists(const std::string& dos) const {
    std::error_code error;
    return fs::exists(machine_.HostPath(dos), error);
  }

  void MakeFolder(const std::string& folder) {
    if (Exists(folder)) return;
    machine_.files().MkDir(folder);
    result_.done.push_back("created " + folder);
  }

  void MakeRegistry() {
    const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kRunServicesKey;
    switch (machine_.CreateRegistryKey(kRunServicesKey)) {
      case KeyCreation::kCreated:
        result_.done.push_back(std::string("added ") + key + " to " + kRegistryFile);
        break;
      case KeyCreation::kExisted:
        result_.done.push_back(std::string("kept ") + kRegistryFile);
        break;
      case KeyCreation::kDamaged:
        result_.problems.push_back(std::string(kRegistryFile) +
                                   " is not a REGEDIT4 file; left as it is");
        break;
      case KeyCreation::kFailed:
        result_.problems.push_back(std::string("could not write ") + kRegistryFile);
        break;
    }
  }

  void MakeMsdosSys() {
    if (Exists(kMsdosSys)) {
      result_.done.push_back(std::string("kept ") + kMsdosSys);
      return;
    }
    FileSystem& files = machine_.files();
    files.Open(kFile, kMsdosSys, OpenMode::Output);
    for (const std::string& line : MsdosSysLines()) files.PrintLine(kFile, line);
    files.Close(kFile);
    files.SetAttr(kMsdosSys, attr::kReadOnly | attr::kHidden | attr::kSystem);
    result_.done.push_back(std::string("created ") + kMsdosSys + " (read-only, hidden, system)");
  }

  // A start-up file with `lines`, only when there is none of that name.
  void MakeTextFile(const char* path, const std::vector<std::string>& lines) {
    if (Exists(path)) {
      result_.done.push_back(std::string("kept ") + path);
      return;
    }
    FileSystem& files = machine_.files();
    files.Open(kFile, path, OpenMode::Output);
    for (const std::string& line : lines) files.PrintLine(kFile, line);
    files.Close(kFile);
    result_.done.push_back(std::string("created ") + path);
  }

  void PutProgram(const fs::path& source, const std::string& name) {
    const std::string target = std::string(kProgramFolder) + "\\" + name;
    std::error_code error;
    if (!fs::is_regular_file(source, error)) {
      throw std::runtime_error("program not found: " + source.string() +
                               " (build it, or pass --program)");
    }
    if (options_.link_programs) {
      LinkOver(fs::absolute(source), machine_.HostPath(target));
      result_.done.push_back("linked " + target + " to " + fs::absolute(source).string());
      return;
    }
    machine_.files().FileCopy(machine_.DosPath(source), target);
    result_.done.push_back("copied " + source.string() + " to " + target);
  }

  // Puts a symbolic link to `source` at `target`, replacing a file or link there in one rename.
  static void LinkOver(const fs::path& source, const fs::path& target) {
    const fs::path temp = target.parent_path() / ("." + target.filename().string() + ".new");
    std::error_code error;
    fs::remove(temp, error);
    fs::create_symlink(source, temp);
    fs::rename(temp, target, error);
    if (error) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw std::runtime_error("cannot link " + target.string() + ": " + error.message());
    }
  }

  void KeepPrivate(const char* dos) {
    const fs::path host = machine_.HostPath(dos);
    struct stat st {};
    // A link is left alone: what it names is not the installer's to change.
    if (lstat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) == 0) return;
    if (chmod(host.c_str(), st.st_mode & 0700) != 0) {
      throw std::runtime_error(std::string("cannot make ") + dos +
                               " private: " + std::strerror(errno));
    }
    result_.done.push_back(std::string("made ") + dos +
                           " readable by its owner only (others could read it)");
  }

  void MakePasswordFile() {
    const std::string file = kPasswordFile;
    if (Exists(file)) {
      result_.done.push_back("kept " + file);
      return;
    }
    FileSystem& files = machine_.files();
    files.Open(kFile, file, OpenMode::Output);
    files.PrintLine(kFile, options_.initial_record);
    files.Close(kFile);
    result_.done.push_back("created " + file + " (no password yet)");
  }

  const InstallOptions& options_;
  EmulatedMachine machine_;
  InstallResult result_;
};

// Drive C: holds the password record and the registry that repeats it. The folders the
// installer makes for it are the user's alone (0700, as XDG asks for a data folder it creates);
// one that already exists and belongs to another account is refused: whoever owns it could read
// or replace everything put there. An empty string when the folder is fit to use.
std::string PrepareDriveFolder(const fs::path& drive_c) {
  struct stat st {};
  if (stat(drive_c.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return "drive C: at " + drive_c.string() + " is not a folder";
    if (st.st_uid != geteuid()) {
      return "drive C: at " + drive_c.string() + " belongs to another user (uid " +
             std::to_string(st.st_uid) +
             "); nothing was changed. Use a folder of your own (--drive-c or VELLOMAR_DRIVE_C)";
    }
    return "";
  }
  fs::path folder;
  for (const fs::path& part : drive_c) {
    folder /= part;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return "cannot create drive C: at " + drive_c.string() + ": " + folder.string() + ": " +
             std::strerror(errno);
    }
  }
  return "";
}

}  // namespace

InstallResult Install(const InstallOptions& options) {
  const std::string problem = PrepareDriveFolder(options.drive_c);
  if (!problem.empty()) {
    InstallResult result;
    result.problems.push_back(problem);
    return result;
  }
  return Installer(options).Run();
}

}  // namespace vellomar::platform
