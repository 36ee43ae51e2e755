// The console on POSIX: the terminal in raw mode through termios, keys read one byte at a time.

#include "platform/console.h"

#include <signal.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace vellomar::platform {

struct HostConsole::Saved {
  termios mode{};
};

HostConsole::HostConsole() = default;

HostConsole::~HostConsole() {
  if (saved_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_->mode);
}

bool HostConsole::InputIsConsole() {
  return isatty(STDIN_FILENO) != 0;
}

bool HostConsole::Enter() {
  termios old{};
  if (tcgetattr(STDIN_FILENO, &old) != 0) return false;
  termios raw = old;
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return false;
  saved_ = std::make_unique<Saved>(Saved{old});
  return true;
}

bool HostConsole::ReadKey(char& key) {
  while (true) {
    const ssize_t n = read(STDIN_FILENO, &key, 1);
    if (n < 0 && errno == EINTR) continue;
    return n == 1;
  }
}

void HostConsole::Write(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void ShieldFromInterrupts() {
  prctl(PR_SET_DUMPABLE, 0);  // no core file, no tracing
  for (int sig : {SIGINT, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU}) signal(sig, SIG_IGN);
}

}  // namespace vellomar::platform
