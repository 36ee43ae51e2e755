#include "platform/installation.h"

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

  void MakePasswordFile() {
    const std::string file = std::string(kProgramFolder) + "\\supermp.dat";
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

}  // namespace

InstallResult Install(const InstallOptions& options) {
  std::error_code error;
  fs::create_directories(options.drive_c, error);
  if (error) {
    InstallResult result;
    result.problems.push_back("cannot create drive C: at " + options.drive_c.string() + ": " +
                              error.message());
    return result;
  }
  return Installer(options).Run();
}

}  // namespace vellomar::platform
