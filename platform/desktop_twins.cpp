#include "platform/desktop_twins.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/emulated.h"

namespace vellomar::platform {
namespace fs = std::filesystem;

namespace {

constexpr char kLinkKey[] = "X-Vellomar-Link=";
constexpr char kMenuFolder[] = "vellomar";

fs::path HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? fs::path(home) : fs::temp_directory_path();
}

fs::path XdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && *value == '/') return value;
  return HomeFolder() / fallback;
}

// `xdg-user-dir DESKTOP`, or ~/Desktop when it cannot be asked.
fs::path UserDesktopFolder() {
  std::string answer;
  if (FILE* pipe = popen("xdg-user-dir DESKTOP 2>/dev/null", "r")) {
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) answer += buffer;
    if (pclose(pipe) != 0) answer.clear();
  }
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  return answer.empty() || answer[0] != '/' ? HomeFolder() / "Desktop" : fs::path(answer);
}

fs::path Canonical(const fs::path& path) {
  std::error_code error;
  const fs::path canonical = fs::weakly_canonical(path, error);
  return error ? path.lexically_normal() : canonical;
}

bool IsUnder(const fs::path& path, const fs::path& folder) {
  const fs::path relative = path.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

// A string value of a desktop entry: backslash, newline, tab and return escaped.
std::string EntryString(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One argument of an Exec line: quoted when it holds a reserved character, with the double
// quote, backquote, dollar and backslash escaped inside the quotes; % doubled so that it is no
// field code.
std::string ExecArgument(const std::string& arg) {
  const bool quote =
      arg.empty() || arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : arg) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  return quote ? out + "\"" : out;
}

std::string XmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What the X-Vellomar-Link key of an existing file says; empty for a file that is not a twin.
std::string TwinOwner(const fs::path& twin) {
  std::istringstream lines(ReadFile(twin));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kLinkKey, 0) == 0) return line.substr(sizeof kLinkKey - 1);
  }
  return "";
}

void WriteFile(const fs::path& path, const std::string& content, fs::perms mode) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  ReplaceFileContent(path, content);
  fs::permissions(path, mode, error);
}

// The menu file putting the twin `id` into the applications-menu folder "Vellomar". No document
// type line: the desktops' menu readers take the elements alone, and never fetch a DTD.
std::string MenuText(const std::string& id) {
  return "<Menu>\n"
         "  <Name>Applications</Name>\n"
         "  <Menu>\n"
         "    <Name>Vellomar</Name>\n"
         "    <Directory>vellomar.directory</Directory>\n"
         "    <Include>\n"
         "      <Filename>" +
         XmlText(id) +
         "</Filename>\n"
         "    </Include>\n"
         "  </Menu>\n"
         "</Menu>\n";
}

constexpr char kDirectoryText[] =
    "[Desktop Entry]\n"
    "Type=Directory\n"
    "Name=Vellomar\n"
    "Icon=vellomar\n";

}  // namespace

DesktopPlaces DesktopPlaces::FromEnvironment() {
  return {UserDesktopFolder, XdgFolder("XDG_DATA_HOME", ".local/share"),
          XdgFolder("XDG_CONFIG_HOME", ".config")};
}

std::string DesktopEntryText(const std::string& name, const fs::path& program,
                             const std::string& arguments, const fs::path& working_directory,
                             const fs::path& drive_c, const std::string& link_file) {
  // The program reads drive C: from the environment; a launcher started by the desktop has
  // none, so the twin names the drive it belongs to.
  std::string exec = "env " + ExecArgument("VELLOMAR_DRIVE_C=" + drive_c.string()) + " " +
                     ExecArgument(program.string());
  std::istringstream words(arguments);
  for (std::string word; words >> word;) exec += " " + ExecArgument(word);
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" +
         EntryString(name) +
         "\n"
         "Exec=" +
         EntryString(exec) +
         "\n"
         "TryExec=" +
         EntryString(program.string()) +
         "\n"
         "Path=" +
         EntryString(working_directory.string()) +
         "\n"
         "Icon=vellomar\n"
         "Terminal=false\n" +
         kLinkKey + EntryString(link_file) + "\n";
}

DesktopTwins::DesktopTwins(DesktopPlaces places,
                           std::function<fs::path(const std::string&)> host_path, fs::path drive_c)
    : places_(std::move(places)), host_path_(std::move(host_path)), drive_c_(std::move(drive_c)) {}

fs::path DesktopTwins::TwinOf(const fs::path& host_link, bool* in_menu) const {
  const fs::path folder = Canonical(host_link.parent_path());
  const std::string file = host_link.stem().string() + ".desktop";
  *in_menu = false;
  if (folder == Canonical(host_path_(std::string(kWindowsDirectory) + "\\Desktop"))) {
    const fs::path desktop = places_.desktop ? places_.desktop() : fs::path();
    std::error_code error;
    if (desktop.empty() || !fs::is_directory(desktop, error) ||
        Canonical(desktop) == Canonical(HomeFolder())) {
      return {};
    }
    return desktop / file;
  }
  const fs::path programs = Canonical(host_path_(kProgramsFolder));
  if (folder == programs || IsUnder(folder, programs)) {
    *in_menu = true;
    return places_.data_home / "applications" / kMenuFolder / file;
  }
  return {};
}

fs::path DesktopTwins::MenuFileOf(const fs::path& twin) const {
  return places_.config_home / "menus" / "applications-merged" /
         (std::string(kMenuFolder) + "-" + twin.stem().string() + ".menu");
}

void DesktopTwins::LinkWritten(const fs::path& host_link, const LinkSpec& link) {
  bool in_menu = false;
  const fs::path twin = TwinOf(host_link, &in_menu);
  if (twin.empty()) return;
  std::error_code error;
  const std::string owner = Canonical(host_link).string();
  if (fs::exists(twin, error) && TwinOwner(twin).empty()) return;  // the user's own file
  const fs::path program = host_path_(link.target);
  if (program.empty() || !fs::is_regular_file(program, error)) {
    LinkDeleted(host_link);  // a twin never points at nothing
    return;
  }
  try {
    WriteFile(twin,
              DesktopEntryText(host_link.stem().string(), program, link.arguments,
                               host_path_(link.working_directory), drive_c_, owner),
              fs::perms(0755));
    if (in_menu) {
      // The desktop-file id of applications/vellomar/NAME.desktop is vellomar-NAME.desktop.
      WriteFile(MenuFileOf(twin),
                MenuText(std::string(kMenuFolder) + "-" + twin.filename().string()),
                fs::perms(0644));
      const fs::path directory = places_.data_home / "desktop-directories" / "vellomar.directory";
      if (!fs::exists(directory, error)) WriteFile(directory, kDirectoryText, fs::perms(0644));
    }
  } catch (const std::exception&) {
    // A twin is a convenience beside the .lnk, which is what the system relies on: when the
    // desktop's folders cannot be written, the shortcut still works inside the emulation.
  }
}

void DesktopTwins::LinkDeleted(const fs::path& host_link) {
  bool in_menu = false;
  const fs::path twin = TwinOf(host_link, &in_menu);
  if (twin.empty() || TwinOwner(twin) != EntryString(Canonical(host_link).string())) return;
  std::error_code error;
  fs::remove(twin, error);
  if (in_menu) fs::remove(MenuFileOf(twin), error);
}

}  // namespace vellomar::platform
