// fCreateShellLink through the shell's own link object: IShellLinkA takes the target, arguments
// and working folder, IPersistFile saves it. The link is saved under a temporary name and renamed
// over the old one, so an existing link is kept whole or replaced whole.

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <vector>

#include "platform/win32/win32_parts.h"

namespace vellomar::platform {
namespace {

// Initialises COM on this thread for one call, unless it already is.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(::CoInitialize(nullptr))) {}
  ~ComScope() {
    if (initialised_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

// Releases a COM interface at the end of a scope.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface* operator->() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }

 private:
  Interface* p_ = nullptr;
};

std::wstring Wide(const std::string& text) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::vector<wchar_t> wide(static_cast<std::size_t>(length));
  ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  return wide.data();
}

// The shell's path of the special folder `csidl` (never created here), without a trailing
// backslash; "" when the shell cannot name it.
std::string ShellFolder(int csidl) {
  char folder[MAX_PATH] = "";
  if (!::SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE)) return {};
  std::string path = folder;
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// Writes the link `target` `arguments` (working folder: the target's) to `file`.
bool SaveLink(const std::string& file, const std::string& target, const std::string& arguments) {
  ComScope com;
  ComPtr<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.out()))) {
    return false;
  }
  if (FAILED(link->SetPath(target.c_str())) || FAILED(link->SetArguments(arguments.c_str())) ||
      FAILED(link->SetWorkingDirectory(FolderOf(target).c_str()))) {
    return false;
  }
  ComPtr<IPersistFile> persist;
  if (FAILED(link->QueryInterface(IID_IPersistFile, persist.out()))) return false;
  const std::wstring wide = Wide(file);
  return !wide.empty() && SUCCEEDED(persist->Save(wide.c_str(), TRUE));
}

}  // namespace

Win32ShellLinks::Win32ShellLinks(std::string programs_folder, std::string desktop_folder)
    : programs_folder_(std::move(programs_folder)), desktop_folder_(std::move(desktop_folder)) {}

std::string Win32ShellLinks::ProgramsFolder() {
  return programs_folder_.empty() ? ShellFolder(CSIDL_PROGRAMS) : programs_folder_;
}

std::string Win32ShellLinks::DesktopFolder() {
  return desktop_folder_.empty() ? ShellFolder(CSIDL_DESKTOPDIRECTORY) : desktop_folder_;
}

long Win32ShellLinks::fCreateShellLink(const std::string& folder, const std::string& name,
                                       const std::string& target, const std::string& arguments) {
  if (!IsValidLinkName(name)) return 0;
  try {
    const std::string base = ProgramsFolder();
    if (base.empty()) return 0;
    const std::string link_folder = ResolveFolder(base, folder);
    if (!IsFolder(link_folder)) return 0;
    const std::string separator = link_folder.back() == '\\' ? "" : "\\";
    const std::string link = link_folder + separator + name + ".lnk";

    // Windows will not save over a read-only link; a folder of that name is no link at all.
    const DWORD existing = ::GetFileAttributesA(link.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES &&
        (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
      return 0;
    }
    Replacement replacement(link);
    replacement.CloseHandle();
    if (!SaveLink(replacement.temporary(), target, arguments)) return 0;
    replacement.Commit(FILE_ATTRIBUTE_ARCHIVE);
    return 1;
  } catch (const std::exception&) {
    // The caller only learns success or failure, as with the setup toolkit's routine.
    return 0;
  }
}

}  // namespace vellomar::platform
