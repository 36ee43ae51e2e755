#pragma once
// Desktop twins: as Wine does for Windows shortcuts, every .lnk written in the emulated Desktop
// folder (C:\WINDOWS\Desktop) or anywhere under Start Menu\Programs gets a freedesktop launcher
// with the same program, arguments and working folder, so a Linux desktop shows it:
//   Desktop\NAME.lnk         -> <the user's desktop folder>/NAME.desktop (only when that folder
//                               exists and is not the home folder itself)
//   Programs\...\NAME.lnk    -> $XDG_DATA_HOME/applications/vellomar/NAME.desktop, shown in the
//                               applications-menu folder "Vellomar" through
//                               $XDG_CONFIG_HOME/menus/applications-merged/vellomar-NAME.menu and
//                               $XDG_DATA_HOME/desktop-directories/vellomar.directory
// A twin is deleted when its .lnk is deleted, and never made for a target that does not exist.
// Every twin carries X-Vellomar-Link naming its .lnk; a file of the same name without that key is
// the user's own and is neither replaced nor deleted.

#include <filesystem>
#include <functional>
#include <string>

#include "platform/lnk_links.h"

namespace vellomar::platform {

struct DesktopPlaces {
  // The user's desktop folder, asked for only when a desktop twin is made or deleted.
  std::function<std::filesystem::path()> desktop;
  std::filesystem::path data_home;    // $XDG_DATA_HOME, else ~/.local/share
  std::filesystem::path config_home;  // $XDG_CONFIG_HOME, else ~/.config

  // The places of the user running the program; the desktop folder from `xdg-user-dir DESKTOP`
  // (~/Desktop when that tool is missing).
  static DesktopPlaces FromEnvironment();
};

class DesktopTwins {
 public:
  // `host_path` maps DOS paths to host paths; `drive_c` is the host folder of drive C:, which a
  // twin passes on to its program as VELLOMAR_DRIVE_C.
  DesktopTwins(DesktopPlaces places,
               std::function<std::filesystem::path(const std::string&)> host_path,
               std::filesystem::path drive_c);

  // Called after `host_link` was written for `link`: makes or replaces its twin, or deletes a
  // stale one when the target does not exist. Best effort: a twin that cannot be written is left
  // out, the .lnk being what the system relies on.
  void LinkWritten(const std::filesystem::path& host_link, const LinkSpec& link);
  // Called after `host_link` was deleted: deletes its twin.
  void LinkDeleted(const std::filesystem::path& host_link);

 private:
  // Where the twin of `host_link` goes (empty: it has none); `in_menu` says whether it is a menu
  // entry rather than a desktop icon.
  std::filesystem::path TwinOf(const std::filesystem::path& host_link, bool* in_menu) const;
  // The menu file that puts menu twin `twin` into the folder "Vellomar".
  std::filesystem::path MenuFileOf(const std::filesystem::path& twin) const;

  DesktopPlaces places_;
  std::function<std::filesystem::path(const std::string&)> host_path_;
  std::filesystem::path drive_c_;
};

// The text of a twin launcher named `name` that starts `program` with `arguments` (split at
// spaces) in `working_directory`, on drive `drive_c`; `link_file` is its .lnk's host path.
std::string DesktopEntryText(const std::string& name, const std::filesystem::path& program,
                             const std::string& arguments,
                             const std::filesystem::path& working_directory,
                             const std::filesystem::path& drive_c, const std::string& link_file);

}  // namespace vellomar::platform
