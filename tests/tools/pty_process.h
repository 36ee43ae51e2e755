#pragma once
// A program run on a pseudo-terminal, as on a text console: type into it, wait for its output
// and its end. The process is killed and reaped when the object goes away.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vellomar::test {

class PtyProcess {
 public:
  // Runs `argv` with `env` added to this process's environment.
  PtyProcess(const std::vector<std::string>& argv,
             const std::vector<std::pair<std::string, std::string>>& env) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) {
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  PtyProcess(const PtyProcess&) = delete;
  PtyProcess& operator=(const PtyProcess&) = delete;
  ~PtyProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    CloseTerminal();
  }

  void Type(const std::string& keys) {
    if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
      throw std::runtime_error("cannot type on the terminal");
    }
  }

  // Reads output until it holds `text` (counting from `from`); false after `seconds`.
  bool WaitFor(const std::string& text, std::size_t from = 0, double seconds = 20) {
    const auto deadline = Deadline(seconds);
    while (output_.find(text, from) == std::string::npos) {
      if (!ReadSome(deadline)) return false;
    }
    return true;
  }

  // The exit code, or nullopt when the program has not ended within `seconds` (or was killed).
  std::optional<int> WaitExit(double seconds = 20) {
    const auto deadline = Deadline(seconds);
    while (!status_) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        status_ = status;
        // What it wrote just before it ended is still in the terminal: read it all (the read
        // fails once nothing is left, the program's side being closed).
        while (ReadSome(std::chrono::steady_clock::now() + std::chrono::seconds(1))) {
        }
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      ReadSome(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    }
    if (!WIFEXITED(*status_)) return std::nullopt;
    return WEXITSTATUS(*status_);
  }

  // True while the program runs and is not stopped (Ctrl+Z would stop it).
  bool Running() {
    if (status_) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG | WUNTRACED);
    if (done == pid_) {
      if (WIFSTOPPED(status)) return false;
      status_ = status;
      return false;
    }
    return true;
  }

  void Signal(int sig) { kill(pid_, sig); }
  // Hangs up: the program's terminal goes away.
  void CloseTerminal() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  const std::string& output() const { return output_; }

 private:
  static std::chrono::steady_clock::time_point Deadline(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  }

  // Appends what arrives before `deadline`; false when nothing more can come by then.
  bool ReadSome(std::chrono::steady_clock::time_point deadline) {
    if (master_ < 0) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[512];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;  // EIO once the program has closed its side
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  std::optional<int> status_;
  std::string output_;
};

}  // namespace vellomar::test
