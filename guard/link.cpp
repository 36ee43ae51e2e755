#include "guard/link.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "guard/protocol.h"

namespace vellomar::guard {
namespace {

// How long the guard's answers are waited for: its first grab is tried for about a second.
constexpr int kAnswerWaitMs = 3000;

// The socket a guard hands to the process it starts, as the environment names it.
int InheritedFd() {
  const char* text = std::getenv(kGuardFdVariable);
  if (text == nullptr || *text == '\0') return -1;
  char* end = nullptr;
  const long fd = std::strtol(text, &end, 10);
  if (*end != '\0' || fd < 3 || fd > 1024) return -1;
  // Only a socket is a guard: anything else under that number is left alone.
  int type = 0;
  socklen_t size = sizeof type;
  if (getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_TYPE, &type, &size) != 0) return -1;
  return static_cast<int>(fd);
}

}  // namespace

GuardLink::GuardLink() {
  fd_ = InheritedFd();
  if (fd_ < 0) return;
  fcntl(fd_, F_SETFD, FD_CLOEXEC);
  guard_holds_ = true;
  // The variables were for this process only; a guard this one starts later sets its own.
  unsetenv(kGuardFdVariable);
}

GuardLink::~GuardLink() {
  // Closing without "release": the guard takes the lock over, as after a crash.
  Close();
}

void GuardLink::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  guard_holds_ = false;
  ready_ = false;
  warning_window_ = 0;
  reader_ = LineReader();
  if (child_ > 0 && waitpid(child_, nullptr, WNOHANG) != 0) child_ = 0;
}

bool GuardLink::Start(const std::string& program, const std::string& command_line,
                      std::string& why) {
  Close();
  cannot_.clear();
  const std::string guard = (std::filesystem::path(program).parent_path() / kGuardProgram).string();
  if (access(guard.c_str(), X_OK) != 0) {
    why = guard + ": " + std::strerror(errno);
    return false;
  }
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    why = std::string("socketpair: ") + std::strerror(errno);
    return false;
  }
  // The guard gets its end as descriptor 3 (a copy, so that it stays open across exec), in a
  // session of its own: a terminal's Ctrl+C or hang-up reaches the forms, not the guard. Spawned
  // rather than forked: the lock is being engaged, and copying this process would take longer.
  if (sockets[1] == 3) {
    const int moved = fcntl(sockets[1], F_DUPFD_CLOEXEC, 4);
    close(sockets[1]);
    sockets[1] = moved;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  // The command line may hold the password record: it goes over the socket, never on the guard's
  // own command line, which every user of the machine can read.
  std::string name = kGuardProgram, fd = "3", program_arg = program;
  char* argv[] = {name.data(), fd.data(), program_arg.data(), nullptr};
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, guard.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    why = guard + ": " + std::strerror(failed);
    close(sockets[0]);
    close(sockets[1]);
    return false;
  }
  close(sockets[1]);
  Begin(sockets[0], pid, command_line);
  return true;
}

void GuardLink::Adopt(int fd, pid_t child, const std::string& command_line, std::string area) {
  Close();
  cannot_.clear();
  Begin(fd, child, command_line);
  first_area_ = std::move(area);
}

void GuardLink::Begin(int fd, pid_t child, const std::string& command_line) {
  fd_ = fd;
  child_ = child;
  Send(FormatCommand(command_line));
  if (!grab_break_.empty()) Send(FormatHexLine(kGrabBreak, grab_break_));
}

bool GuardLink::WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  while (!done() && fd_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd wait{fd_, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(left.count())) > 0) Read();
  }
  return done();
}

GuardLink::Answer GuardLink::WaitForKeyboard() {
  if (WaitFor([this] { return guard_holds_ || !cannot_.empty(); }) && guard_holds_) {
    return Answer::kHeld;
  }
  // A guard that says nothing in time is no guard: it is let go, and the caller grabs itself.
  const bool cannot = !cannot_.empty();
  Close();
  return cannot ? Answer::kCannot : Answer::kGone;
}

void GuardLink::TakePointer() {
  let_go_ = false;
  Send(kTake);
  // A guard that is gone or does not answer leaves the pointer grab to the usual retries.
  WaitFor([this] { return let_go_; });
}

void GuardLink::Send(const std::string& line) {
  if (fd_ < 0) return;
  const std::string data = line + '\n';
  // MSG_NOSIGNAL: a guard that died must not take this process with it (SIGPIPE).
  send(fd_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool GuardLink::Read() {
  if (fd_ < 0) return false;
  char data[512];
  const ssize_t got = recv(fd_, data, sizeof data, MSG_DONTWAIT);
  if (got > 0) {
    reader_.Add(data, static_cast<std::size_t>(got));
    while (auto line = reader_.Next()) {
      if (auto key = ParseKey(*line)) {
        keys_.push_back(*key);
      } else if (*line == kHeld) {
        guard_holds_ = true;
      } else if (*line == kWant) {
        if (on_want_) on_want_();
      } else if (line->rfind(kWarningPrefix, 0) == 0) {
        warning_window_ = std::strtoul(line->c_str() + std::strlen(kWarningPrefix), nullptr, 10);
      } else if (auto saved = ParseHexLine(kGrabBreak, *line)) {
        grab_break_ = std::move(*saved);
      } else if (line->rfind(kCannot, 0) == 0) {
        cannot_ = line->size() > std::strlen(kCannot) ? line->substr(std::strlen(kCannot) + 1)
                                                      : std::string("Could not lock keyboard.");
      } else {
        ready_ = ready_ || *line == kReady;
        let_go_ = let_go_ || *line == kLetGo;
      }
    }
    return true;
  }
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  gone_after_ready_ = ready_;
  Close();
  return false;
}

void GuardLink::StandDown() {
  Send(kRelease);
  Close();
}

namespace {

// One line of `fd`, read a byte at a time up to its end: what follows is the link's, read by
// GuardLink. Nothing when none came whole by `deadline`.
std::optional<std::string> ReadLine(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string line;
  while (line.size() <= kMaxLineSize) {
    char c = 0;
    const ssize_t got = recv(fd, &c, 1, MSG_DONTWAIT);
    if (got == 1) {
      if (c == '\n') return line;
      line += c;
      continue;
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wait{fd, POLLIN, 0};
    poll(&wait, 1, static_cast<int>(left.count()));
  }
  return std::nullopt;
}

}  // namespace

std::optional<HandedOver> HandedOverByGuard() {
  const int fd = InheritedFd();
  if (fd < 0) return std::nullopt;
  // The command line, then the record; a run that gets no command line goes on without one.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  HandedOver handed;
  const std::optional<std::string> command = ReadLine(fd, deadline);
  if (!command) return handed;
  handed.command_line = ParseCommand(*command).value_or("");
  if (const std::optional<std::string> record = ReadLine(fd, deadline)) {
    handed.record = ParseRecord(*record);
    if (handed.record && handed.record->empty()) handed.record.reset();
  }
  return handed;
}

ui::LockState ResumeStateFromEnvironment() {
  if (InheritedFd() < 0) return {};
  const char* text = std::getenv(kResumeVariable);
  return ui::ParseLockState(text ? text : "");
}

std::string ProgramFile() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

int OomScore() {
  char text[16] = {};
  const int fd = open("/proc/self/oom_score_adj", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  return got > 0 ? std::atoi(text) : 0;
}

namespace {
// Opened before the process stops being dumpable, when it still can be; kept for the run.
int kept_oom_score = -1;
}  // namespace

bool SetOomScore(int adjustment) {
  // Plain system calls: the guard links this too, and stays free of streams.
  const int fd =
      kept_oom_score >= 0 ? kept_oom_score : open("/proc/self/oom_score_adj", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const std::string text = std::to_string(adjustment);
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd != kept_oom_score) close(fd);
  return written;
}

void StopDumping() {
  if (kept_oom_score < 0) kept_oom_score = open("/proc/self/oom_score_adj", O_WRONLY | O_CLOEXEC);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace vellomar::guard
