#pragma once
// The end-to-end harness: a private X server with a window manager, an installation on a
// temporary drive C:, and the real kestrom.exe run in it and driven with xdotool. Every wait is
// for an event (a trace line, a window, a grab state) with a generous timeout, never a sleep.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/trace.h"

namespace vellomar::e2e {

constexpr std::chrono::seconds kTimeout{60};

// Polls `done` every 20 ms until it holds or `timeout` passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kTimeout);

struct Result {
  int exit_code = -1;
  std::string out;
};
// Runs a command to its end with $DISPLAY set to the session's display; stdout captured.
Result Run(const std::vector<std::string>& args);

// A child process started in the background in a process group of its own; destroying it ends
// the whole group (SIGTERM, then SIGKILL), so whatever it started goes too.
class Child {
 public:
  Child() = default;
  // `inherit_fd`, when not -1, stays open in the child under the same number (Xvfb's
  // -displayfd); every other descriptor but 0, 1 and 2 is closed on exec as usual.
  Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
        const std::filesystem::path& cwd = {}, const std::filesystem::path& out = "/dev/null",
        int inherit_fd = -1);
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;
  ~Child();
  pid_t pid() const { return pid_; }
  bool Running();
  // Waits for the process to end; returns its exit code, or -1 after the timeout.
  int Wait(std::chrono::milliseconds timeout = kTimeout);
  void Stop();

 private:
  pid_t pid_ = 0;
  int status_ = -1;
};

// A fresh folder under the temporary directory, removed with its contents when destroyed.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix);
  TempFolder(TempFolder&& other) noexcept;
  TempFolder& operator=(TempFolder&&) = delete;
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Xvfb on a free display (chosen by the server itself) and openbox, for one test. Everything
// it starts is owned: a constructor that throws leaves no server or window manager running.
// Both write their output to a log in the session's own folder, where openbox also keeps its
// XDG configuration and cache, so neither depends on the user's home; a failure to start says
// what the log said.
// The X server of a Wayland session: XWayland under weston's headless back end, no window
// manager of ours (weston's own manages the X windows).
struct XWaylandServer {};
inline constexpr XWaylandServer kXWayland{};
// Whether weston and XWayland are installed (a test on XWayland is skipped without them).
bool XWaylandAvailable();

class XSession {
 public:
  XSession();
  explicit XSession(XWaylandServer);
  // Another window manager command (none when empty), a server with or without the Composite
  // extension, and a compositing manager command started after the window manager (none when
  // empty), up once it owns the compositing manager's selection.
  explicit XSession(const std::vector<std::string>& window_manager, bool composite = true,
                    const std::vector<std::string>& compositing_manager = {});
  ~XSession();
  const std::string& display() const { return display_; }
  // The server's process id (tests of the harness itself).
  pid_t server_pid() const { return server_.pid(); }

 private:
  void StartServer(bool composite);
  void StartWeston();
  void StartWindowManager(const std::vector<std::string>& command);
  void StartCompositingManager(const std::vector<std::string>& command);

  TempFolder folder_;
  std::string display_;
  Child server_;
  Child window_manager_;
  Child compositing_manager_;
};

// Marks an installation left as the installer made it: supermp.dat holds the no-password
// placeholder, so the first run of kestrom.exe opens the first-time wizard.
struct Fresh {};
inline constexpr Fresh kFresh{};

// A drive C: made by the installer, with a password record for `password`.
class Installation {
 public:
  explicit Installation(const std::string& password);
  explicit Installation(Fresh);
  // Whatever of the lock still runs from here is killed, the guard first (it would start
  // kestrom.exe again): the guard and the processes it restarts live in a session of their own,
  // out of reach of the test's process groups.
  ~Installation();
  const std::filesystem::path& drive_c() const { return drive_c_; }
  const std::filesystem::path& program_dir() const { return program_dir_; }
  // The user's home for the programs run on this installation, holding Desktop.
  std::filesystem::path home() const { return drive_c_.parent_path() / "home"; }

 private:
  TempFolder folder_;
  std::filesystem::path drive_c_;
  std::filesystem::path program_dir_;
};

// One run of kestrom.exe with its trace.
class Kestrom {
 public:
  Kestrom(const Installation& installation, const std::string& command_line,
          double clock_speed = 1.0);
  // Windows starting up: vellomar-start runs the installation's RunServices commands, each a
  // kestrom.exe that inherits the trace; the runner's own exit is what WaitForExit reports.
  static Kestrom ViaStartupRunner(const Installation& installation);
  // A freedesktop launcher started the way a desktop starts it (`gio launch`), with the build's
  // tools on PATH. Without `drive_in_environment` the session has no VELLOMAR_DRIVE_C, so the
  // launcher must name the drive itself. gio ends at once: wait for the trace, not the exit.
  static Kestrom ViaLauncher(const Installation& installation,
                             const std::filesystem::path& launcher, bool drive_in_environment);
  std::vector<ui::TraceEvent> Events() const;
  // Waits until an event `ev` with every given field appears; true when it did.
  bool WaitForEvent(const std::string& ev, const std::map<std::string, std::string>& fields = {});
  bool Has(const std::string& ev, const std::map<std::string, std::string>& fields = {}) const;
  int WaitForExit() { return process_.Wait(); }
  bool Running() { return process_.Running(); }
  const std::filesystem::path& trace_path() const { return trace_; }
  // The last lines the program wrote and traced, for a failure's message.
  std::string LastWords() const;

 private:
  Kestrom(const Installation& installation, const std::vector<std::string>& args,
          double clock_speed, bool drive_in_environment = true);

  std::filesystem::path trace_;
  std::filesystem::path output_;
  Child process_;
};

// The processes running `program`: of its folder, going by its name.
std::vector<pid_t> ProcessesOf(const std::filesystem::path& program);

// X state as seen by another client.
bool OtherClientCanGrabKeyboard();
bool OtherClientCanGrabPointer();
std::string TopWindowName();
std::string FocusedWindowName();
std::string FindWindow(const std::string& name);  // xdotool search --sync, "" on timeout
// The same, for a window that is mapped (viewable); "" on timeout.
std::string FindVisibleWindow(const std::string& name);
// Clicks the left button at (x, y) pixels of the window's client area.
void ClickAt(const std::string& window, int x, int y);
// What another client can do without the devices: `text`, Return and a click sent as events
// (XSendEvent) straight to the window that has the focus. A form takes none of them.
void SendToFocus(const std::string& text);

}  // namespace vellomar::e2e
