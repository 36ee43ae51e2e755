#include "tests/e2e/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <utility>

#include "bench/processes.h"

namespace vellomar::e2e {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    if (done()) return true;
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

[[noreturn]] void Exec(const std::vector<std::string>& args) {
  std::vector<char*> argv = Argv(args);
  execvp(argv[0], argv.data());
  _exit(127);
}

}  // namespace

Result Run(const std::vector<std::string>& args) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], 1);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    Exec(args);
  }
  close(pipe_fds[1]);
  Result result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, n);
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  while (!result.out.empty() && result.out.back() == '\n') result.out.pop_back();
  return result;
}

Child::Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
             const fs::path& cwd, const fs::path& out, int inherit_fd) {
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    if (inherit_fd >= 0) fcntl(inherit_fd, F_SETFD, 0);
    Exec(args);
  }
  // Also in the parent, so that the group exists before anyone signals it.
  if (pid_ > 0) setpgid(pid_, pid_);
}

Child::Child(Child&& other) noexcept : pid_(other.pid_), status_(other.status_) {
  other.pid_ = 0;
}

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    Stop();
    pid_ = other.pid_;
    status_ = other.status_;
    other.pid_ = 0;
  }
  return *this;
}

Child::~Child() {
  Stop();
}

bool Child::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -pid_;  // ended; remembered as negative so it is never signalled again
    return false;
  }
  return true;
}

int Child::Wait(std::chrono::milliseconds timeout) {
  if (!WaitUntil([&] { return !Running(); }, timeout)) return -1;
  return status_;
}

void Child::Stop() {
  // The child leads its own process group; what it started and left behind (a launcher's
  // program) goes with it.
  if (pid_ <= 0) return;
  const pid_t group = pid_;
  kill(-group, SIGTERM);
  if (Running() && Wait(std::chrono::seconds(5)) == -1 && Running()) {
    kill(-group, SIGKILL);
    Wait(std::chrono::seconds(5));
  }
}

TempFolder::TempFolder(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder: " + std::string(strerror(errno)));
  }
  path_ = pattern;
}

TempFolder::TempFolder(TempFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

namespace {

// The last lines of a log, for an error message.
std::string Tail(const fs::path& log) {
  std::ifstream in(log);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  std::string out;
  for (std::size_t i = lines.size() > 10 ? lines.size() - 10 : 0; i < lines.size(); ++i) {
    out += "\n  " + lines[i];
  }
  return out.empty() ? " (empty log)" : out;
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

XSession::XSession() : XSession({"openbox", "--sm-disable"}) {}

// Once in twenty parallel fresh starts openbox found no server on a display Xvfb had just
// announced ("Failed to open the display"); the old harness then waited its full minute and
// left the server running. A start that fails now stops what it started and tries a fresh
// server, three times in all, and the error names every attempt with its logs.
XSession::XSession(const std::vector<std::string>& window_manager, bool composite,
                   const std::vector<std::string>& compositing_manager)
    : folder_("vellomar-x") {
  std::string failures;
  for (int attempt = 1;; ++attempt) {
    try {
      StartServer(composite);
      if (!window_manager.empty()) StartWindowManager(window_manager);
      if (!compositing_manager.empty()) StartCompositingManager(compositing_manager);
      return;
    } catch (const std::runtime_error& error) {
      compositing_manager_.Stop();
      window_manager_.Stop();
      server_.Stop();
      failures += (attempt > 1 ? "\n" : "") + std::string(error.what());
      if (attempt == 3) throw std::runtime_error(failures);
    }
  }
}

bool XWaylandAvailable() {
  return Run({"sh", "-c", "command -v weston && command -v Xwayland"}).exit_code == 0;
}

XSession::XSession(XWaylandServer) : folder_("vellomar-x") {
  StartWeston();
}

// weston starts XWayland on the first X connection to the display it announces in its log.
void XSession::StartWeston() {
  const fs::path log = folder_.path() / "weston.log";
  const fs::path runtime = folder_.path() / "run";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  server_ = Child({"weston", "--backend=headless-backend.so", "--xwayland", "--idle-time=0",
                   "--socket=wayland-vellomar"},
                  {{"XDG_RUNTIME_DIR", runtime.string()}}, {}, log);
  constexpr char kAnnounced[] = "xserver listening on display ";
  std::string text;
  if (!WaitUntil([&] {
        std::ifstream in(log);
        text.assign(std::istreambuf_iterator<char>(in), {});
        return !server_.Running() || text.find(kAnnounced) != std::string::npos;
      }) ||
      !server_.Running()) {
    throw std::runtime_error("weston did not start XWayland:" + Tail(log));
  }
  const std::size_t at = text.find(kAnnounced) + sizeof kAnnounced - 1;
  display_ = text.substr(at, text.find_first_not_of(":0123456789", at) - at);
  setenv("DISPLAY", display_.c_str(), 1);
  if (!WaitUntil([&] { return Run({"xdpyinfo", "-display", display_}).exit_code == 0; })) {
    throw std::runtime_error("XWayland on " + display_ + " took no connection:" + Tail(log));
  }
}

XSession::~XSession() {
  compositing_manager_.Stop();
  window_manager_.Stop();
  server_.Stop();
}

// The server writes the display number it chose to the descriptor given with -displayfd, once
// it accepts connections; it closes it unwritten when it cannot start.
void XSession::StartServer(bool composite) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  Descriptor read_end{fds[0]};
  {
    Descriptor write_end{fds[1]};
    std::vector<std::string> server = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                       "-screen",   "0",          "1024x768x24",
                                       "-nolisten", "tcp"};
    if (!composite) server.insert(server.end(), {"-extension", "Composite"});
    server_ = Child(server, {}, {}, folder_.path() / "xvfb.log", fds[1]);
  }
  std::string number;
  pollfd ready{read_end.fd, POLLIN, 0};
  char c;
  while (poll(&ready, 1, static_cast<int>(kTimeout.count() * 1000)) == 1 &&
         read(read_end.fd, &c, 1) == 1 && c != '\n') {
    number += c;
  }
  if (number.empty()) {
    throw std::runtime_error("Xvfb did not start:" + Tail(folder_.path() / "xvfb.log"));
  }
  display_ = ":" + number;
  setenv("DISPLAY", display_.c_str(), 1);
  // Announced is not always reachable: wait until a client gets in.
  if (!WaitUntil([&] {
        return !server_.Running() || Run({"xdpyinfo", "-display", display_}).exit_code == 0;
      }) ||
      !server_.Running()) {
    throw std::runtime_error("Xvfb on " + display_ +
                             " took no connection:" + Tail(folder_.path() / "xvfb.log"));
  }
}

// The window manager is up once it has announced itself on the root window (wmctrl -m). One
// that exits first is reported at once, with its log.
void XSession::StartWindowManager(const std::vector<std::string>& command) {
  const fs::path log = folder_.path() / "wm.log";
  window_manager_ = Child(command,
                          {{"XDG_CONFIG_HOME", (folder_.path() / "config").string()},
                           {"XDG_CACHE_HOME", (folder_.path() / "cache").string()}},
                          {}, log);
  bool exited = false;
  const bool up = WaitUntil([&] {
    exited = !window_manager_.Running();
    return exited || Run({"wmctrl", "-m"}).exit_code == 0;
  });
  if (!up || exited) {
    throw std::runtime_error(command[0] + (exited ? " exited" : " did not start") + " on " +
                             display_ + ":" + Tail(log) +
                             "\nXvfb:" + Tail(folder_.path() / "xvfb.log"));
  }
}

// The compositing manager is up once it owns its selection; it redirects the screen first.
void XSession::StartCompositingManager(const std::vector<std::string>& command) {
  const fs::path log = folder_.path() / "cm.log";
  compositing_manager_ = Child(command, {}, {}, log);
  bool exited = false;
  const bool up = WaitUntil([&] {
    exited = !compositing_manager_.Running();
    return exited || Run({X_PROBE, "compositing"}).exit_code == 0;
  });
  if (!up || exited) {
    throw std::runtime_error(command[0] + (exited ? " exited" : " did not start") + " on " +
                             display_ + ":" + Tail(log));
  }
}

Installation::Installation(Fresh) : folder_("vellomar-e2e") {
  drive_c_ = folder_.path() / "drive_c";
  Result installed =
      Run({VELLOMAR_INSTALL, "--drive-c", drive_c_.string(), "--program", KESTROM_EXE});
  if (installed.exit_code != 0) throw std::runtime_error("installer failed: " + installed.out);
  program_dir_ = drive_c_ / "Program Files" / "Vellomar";
  fs::create_directories(home() / "Desktop");
}

Installation::~Installation() {
  if (program_dir_.empty()) return;
  for (const char* program : {"vellomar-guard", "kestrom.exe"}) {
    for (pid_t pid : ProcessesOf(program_dir_ / program)) kill(pid, SIGKILL);
  }
}

std::vector<pid_t> ProcessesOf(const fs::path& program) {
  return bench::ProcessesRunning(program);
}

Installation::Installation(const std::string& password) : Installation(kFresh) {
  Child writer({SET_PASSWORD, drive_c_.string(), password}, {}, program_dir_);
  if (writer.Wait() != 0) throw std::runtime_error("set-password failed");
}

namespace {
std::vector<std::string> KestromArgs(const Installation& installation,
                                     const std::string& command_line) {
  std::vector<std::string> args = {(installation.program_dir() / "kestrom.exe").string()};
  if (!command_line.empty()) args.push_back(command_line);
  return args;
}
}  // namespace

Kestrom::Kestrom(const Installation& installation, const std::string& command_line,
                 double clock_speed)
    : Kestrom(installation, KestromArgs(installation, command_line), clock_speed) {}

Kestrom Kestrom::ViaStartupRunner(const Installation& installation) {
  return Kestrom(
      installation,
      std::vector<std::string>{VELLOMAR_START, "--drive-c", installation.drive_c().string()}, 1.0);
}

Kestrom Kestrom::ViaLauncher(const Installation& installation, const fs::path& launcher,
                             bool drive_in_environment) {
  return Kestrom(installation, std::vector<std::string>{"gio", "launch", launcher.string()}, 1.0,
                 drive_in_environment);
}

Kestrom::Kestrom(const Installation& installation, const std::vector<std::string>& args,
                 double clock_speed, bool drive_in_environment) {
  // One trace file per run, so that a test may start the program more than once.
  static int runs = 0;
  const std::string name = ++runs == 1 ? "trace" : "trace-" + std::to_string(runs);
  trace_ = installation.drive_c().parent_path() / (name + ".jsonl");
  fs::remove(trace_);
  // A home of its own, so that desktop twins of the shortcuts land beside the drive.
  const fs::path home = installation.home();
  std::map<std::string, std::string> env = {
      {"KESTROM_TRACE", trace_.string()},
      {"VELLOMAR_DRIVE_C", installation.drive_c().string()},
      {"HOME", home.string()},
      {"XDG_DATA_HOME", (home / ".local/share").string()},
      {"XDG_CONFIG_HOME", (home / ".config").string()},
      {"PATH", std::string(TOOLS_DIR) + ":" + getenv("PATH")}};
  if (!drive_in_environment) env.erase("VELLOMAR_DRIVE_C");
  if (clock_speed != 1.0) env["KESTROM_TEST_CLOCK_SPEED"] = std::to_string(clock_speed);
  output_ = installation.drive_c().parent_path() / (name + ".out");
  process_ = Child(args, env, installation.program_dir(), output_);
}

std::string Kestrom::LastWords() const {
  return "\noutput:" + Tail(output_) + "\ntrace:" + Tail(trace_);
}

std::vector<ui::TraceEvent> Kestrom::Events() const {
  std::vector<ui::TraceEvent> events;
  std::ifstream in(trace_);
  std::string line;
  // A line still being written (no line break yet) is left for the next look.
  while (std::getline(in, line) && !in.eof()) {
    if (!line.empty()) events.push_back(ui::ParseTraceLine(line));
  }
  return events;
}

bool Kestrom::Has(const std::string& ev, const std::map<std::string, std::string>& fields) const {
  for (const ui::TraceEvent& event : Events()) {
    if (event.ev != ev) continue;
    bool all = true;
    for (const auto& [key, value] : fields) all = all && event.Get(key) == value;
    if (all) return true;
  }
  return false;
}

bool Kestrom::WaitForEvent(const std::string& ev,
                           const std::map<std::string, std::string>& fields) {
  return WaitUntil([&] { return Has(ev, fields); });
}

bool OtherClientCanGrabKeyboard() {
  return Run({X_PROBE, "grab-keyboard"}).exit_code == 0;
}
bool OtherClientCanGrabPointer() {
  return Run({X_PROBE, "grab-pointer"}).exit_code == 0;
}
std::string TopWindowName() {
  return Run({X_PROBE, "on-top", ""}).out;
}
std::string FocusedWindowName() {
  return Run({X_PROBE, "focus"}).out;
}

namespace {
// The id of a window titled `name` (a viewable one when `visible`), waiting for it; "" when
// none appears in time.
std::string FindNamedWindow(const std::string& name, bool visible) {
  std::vector<std::string> args = {X_PROBE, "find", name};
  if (visible) args.push_back("visible");
  std::string id;
  WaitUntil(
      [&] {
        Result found = Run(args);
        if (found.exit_code == 0) id = found.out;
        return !id.empty();
      },
      std::chrono::seconds(30));
  return id;
}
}  // namespace

std::string FindWindow(const std::string& name) {
  return FindNamedWindow(name, false);
}

std::string FindVisibleWindow(const std::string& name) {
  return FindNamedWindow(name, true);
}

void ClickAt(const std::string& window, int x, int y) {
  Run({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click",
       "1"});
}

void SendToFocus(const std::string& text) {
  Run({X_ATTACK, "send-keys", text});
}

}  // namespace vellomar::e2e
