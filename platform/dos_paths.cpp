// DOS paths over the host: C: is the drive folder, Z: the host root, as Wine maps them. Each
// component is matched case-insensitively against what the host folder holds, so "\Desktop\"
// and "\desktop\" name one folder.

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/dos_names.h"
#include "platform/emulated_parts.h"

namespace vellomar::platform {
namespace fs = std::filesystem;

namespace {

fs::path Canonical(const fs::path& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;
  fs::path canonical = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : canonical;
}

std::vector<std::string> Components(const fs::path& relative) {
  std::vector<std::string> out;
  for (const fs::path& part : relative) {
    const std::string name = part.string();
    if (name.empty() || name == "." || name == "/") continue;
    out.push_back(name);
  }
  return out;
}

}  // namespace

DosPaths::DosPaths(fs::path drive_c, const fs::path& current_dir) : drive_c_(Canonical(drive_c)) {
  const fs::path current = Canonical(current_dir);
  const fs::path relative = current.lexically_relative(drive_c_);
  if (!relative.empty() && *relative.begin() != "..") {
    current_drive_ = 'C';
    current_ = Components(relative);
  } else {
    current_drive_ = 'Z';
    current_ = Components(current.relative_path());
  }
}

fs::path DosPaths::DriveRoot(char drive) const {
  return drive == 'C' ? drive_c_ : fs::path("/");
}

std::string DosPaths::ToDos(char drive, const std::vector<std::string>& components) {
  std::string out = std::string(1, drive) + ":\\";
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) out += '\\';
    out += components[i];
  }
  return out;
}

std::string DosPaths::DosPath(const fs::path& host) const {
  const fs::path path = Canonical(host);
  const fs::path relative = path.lexically_relative(drive_c_);
  if (!relative.empty() && *relative.begin() != "..") return ToDos('C', Components(relative));
  return ToDos('Z', Components(path.relative_path()));
}

void DosPaths::SetCurrent(const ResolvedPath& path) {
  current_drive_ = path.drive;
  current_ = path.components;
}

std::string DosPaths::MatchEntry(const fs::path& folder, const std::string& name) {
  std::error_code error;
  if (fs::exists(fs::symlink_status(folder / name, error))) return name;
  std::string best;
  std::vector<std::string> entries;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    entries.push_back(entry);
    if (SameDosName(entry, name) && (best.empty() || entry < best)) best = entry;
  }
  if (!best.empty()) return best;
  // Windows also opens an entry by its 8.3 alias (PROGRA~1), as the boot lock line names it.
  if (name.find('~') != std::string::npos) {
    for (const std::string& entry : entries) {
      if (!IsShortName(entry) && SameDosName(ShortNameIn(entry, entries), name)) return entry;
    }
  }
  return name;
}

ResolvedPath DosPaths::Resolve(const std::string& dos_path) const {
  std::string text = dos_path;
  std::replace(text.begin(), text.end(), '/', '\\');
  ResolvedPath out;
  std::size_t at = 0;
  if (text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') {
    out.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    at = 2;
    const bool rooted = at < text.size() && text[at] == '\\';
    if (!rooted && out.drive == current_drive_) out.components = current_;
  } else {
    out.drive = current_drive_;
    if (text.empty() || text[0] != '\\') out.components = current_;
  }
  if (out.drive != 'C' && out.drive != 'Z') return out;

  std::size_t start = at;
  while (start <= text.size()) {
    std::size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    if (part == "..") {
      if (!out.components.empty()) out.components.pop_back();
    } else if (!part.empty() && part != ".") {
      out.components.push_back(part);
    }
    start = end + 1;
  }

  out.valid = true;
  out.host = DriveRoot(out.drive);
  for (std::string& component : out.components) {
    component = MatchEntry(out.host, component);
    out.host /= component;
  }
  return out;
}

}  // namespace vellomar::platform
