// halvrik.exe: the console lock the AUTOEXEC.BAT and DOSSTART.BAT lock line starts, before the
// desktop comes up. Usage (the only command line the lock line writes):
//   halvrik.exe /STARTPATH: DIR
// DIR is the DOS folder holding supermp.dat (usually the program folder, in its short form). The
// lock reads the record with the program's own reader, then asks for the password on the
// terminal with echo off, showing one star per character. Ctrl+C, Ctrl+Z and Ctrl+\ do nothing.
//
// Exit codes: 0 the right password was typed; 1 no terminal, or the terminal went away;
// 2 usage; 3 supermp.dat is missing or damaged, or holds no password yet. Anything but 0 means
// "not unlocked": a login profile that runs the lock ends the session on it.

#include <signal.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/emulated.h"
#include "platform/secret.h"
#include "startup/password_record.h"
#include "tools/tool_info.h"
#include "ui/guess_pacer.h"

namespace {

constexpr int kUnlocked = 0;
constexpr int kNoTerminal = 1;
constexpr int kNoRecord = 3;

constexpr char kUsageText[] =
    "usage: halvrik.exe /STARTPATH: DIR\n"
    "Locks the terminal until the password kept in DIR\\supermp.dat is typed.\n"
    "DIR is a DOS path on the emulated drives (C: is $VELLOMAR_DRIVE_C, else\n"
    "${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c).\n"
    "Exit status: 0 right password, 1 no terminal, 2 usage, 3 missing or damaged supermp.dat.\n";
constexpr char kSwitch[] = "/STARTPATH:";
constexpr char kMsgIncorrect[] = "The password is incorrect.";
constexpr char kMsgBlank[] = "You have left the required password field blank.";
constexpr char kMsgNoPassword[] =
    "No password has been chosen yet.  Start Vellomar on the desktop to choose one.";

// The folder after "/STARTPATH:" in the command tail (the arguments joined by spaces, as the
// DOS command line reaches the program), spaces around it dropped. Empty when absent.
std::string StartPath(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + std::string(argv[i]);
  const std::size_t at = vellomar::UpperCase(line).find(kSwitch);
  if (at == std::string::npos) return "";
  std::string dir = line.substr(at + sizeof kSwitch - 1);
  const std::size_t first = dir.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  dir = dir.substr(first);
  return dir.substr(0, dir.find_last_not_of(' ') + 1);
}

// The encoded password from DIR\supermp.dat, or a message saying why there is none.
bool ReadStoredPassword(const std::string& dir, std::string& encoded, std::string& why) {
  namespace platform = vellomar::platform;
  try {
    platform::EmulatedMachine machine(platform::DefaultDriveC(), std::filesystem::current_path());
    machine.files().ChDir(dir);
    const vellomar::PasswordRecord record =
        vellomar::ParsePasswordRecord(vellomar::ReadPasswordRecord(machine.files(), ""));
    if (vellomar::IsNoPasswordPlaceholder(record.encoded)) {
      why = kMsgNoPassword;
      return false;
    }
    encoded = record.encoded;
    return true;
  } catch (const vellomar::RecordCorrupted& error) {
    why = error.what();
  } catch (const std::exception&) {
    why = vellomar::kMsgRecordMissing;
  }
  return false;
}

void Write(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// The terminal without echo, line editing or signal keys; the old settings come back when it
// goes out of scope.
class RawTerminal {
 public:
  bool Enter() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return false;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return false;
    entered_ = true;
    return true;
  }
  ~RawTerminal() {
    if (entered_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }

 private:
  termios saved_{};
  bool entered_ = false;
};

// One typed line, shown as stars, into `typed` (whose room is kept for it). False when the
// terminal is gone.
bool ReadMaskedLine(std::string& typed) {
  vellomar::platform::WipeSecret(typed);
  while (true) {
    char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\r' || c == '\n') {
      Write("\r\n");
      return true;
    }
    if (c == 0x7f || c == '\b') {
      if (!typed.empty()) {
        typed.pop_back();
        Write("\b \b");
      }
    } else if (c == 0x15) {  // Ctrl+U: start again
      for (; !typed.empty(); typed.pop_back()) Write("\b \b");
    } else if (static_cast<unsigned char>(c) >= 0x20 &&
               typed.size() < static_cast<std::size_t>(vellomar::kMaxPasswordLength)) {
      typed += c;
      Write("*");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  prctl(PR_SET_DUMPABLE, 0);  // no core file, no tracing: it holds the record and the typed text
  if (vellomar::tools::AnswerHelpOrVersion(argc, argv, "halvrik.exe", kUsageText)) return 0;
  // A key that would stop or suspend the lock does nothing, whoever sends the signal.
  for (int sig : {SIGINT, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU}) signal(sig, SIG_IGN);

  const std::string dir = StartPath(argc, argv);
  if (dir.empty()) {
    return vellomar::tools::UsageError("halvrik.exe", "no /STARTPATH: folder", kUsageText);
  }
  std::string encoded, why;
  if (!ReadStoredPassword(dir, encoded, why)) {
    std::fprintf(stderr, "halvrik.exe: %s\n", why.c_str());
    return kNoRecord;
  }
  if (!isatty(STDIN_FILENO)) {
    std::fputs("halvrik.exe: the lock needs a terminal to ask for the password.\n", stderr);
    return kNoTerminal;
  }
  RawTerminal terminal;
  if (!terminal.Enter()) {
    std::fputs("halvrik.exe: cannot take over the terminal.\n", stderr);
    return kNoTerminal;
  }
  Write("\r\nThis computer is locked by Vellomar.\r\n");
  vellomar::platform::SystemClock clock;
  vellomar::ui::GuessPacer pacer;
  std::string typed;
  // Room for the longest password, so the text never moves and one wipe clears every copy.
  typed.reserve(vellomar::kMaxPasswordLength);
  vellomar::platform::KeepOutOfSwap(typed);
  while (true) {
    Write("Password: ");
    if (!ReadMaskedLine(typed)) {
      vellomar::platform::WipeSecret(typed);
      return kNoTerminal;
    }
    // A blank line is no guess, as in the window forms: it never opens the lock, even when
    // the record holds an empty password.
    if (typed.empty()) {
      Write(std::string(kMsgBlank) + "\r\n");
      continue;
    }
    // After a wrong password the next check waits; what is typed meanwhile is kept by the
    // terminal and checked when the wait is over.
    clock.Sleep(pacer.Remaining(clock.Timer()));
    const bool matches = vellomar::PasswordMatches(encoded, typed);
    vellomar::platform::WipeSecret(typed);
    if (matches) return kUnlocked;
    pacer.Failed(clock.Timer());
    Write(std::string(kMsgIncorrect) + "\r\n");
  }
}
