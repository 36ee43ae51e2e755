// Shortcuts read back through IShellLinkA (support/win32/link_reader.h).

#include "support/win32/link_reader.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

namespace vellomar::testing {

LinkFields ReadLink(const std::string& file) {
  LinkFields fields;
  const bool com = SUCCEEDED(::CoInitialize(nullptr));
  IShellLinkA* link = nullptr;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    const std::wstring wide(file.begin(), file.end());
    if (SUCCEEDED(persist->Load(wide.c_str(), STGM_READ))) {
      char text[MAX_PATH] = "";
      if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0))) fields.path = text;
      if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) fields.arguments = text;
      if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) fields.working_directory = text;
    }
  }
  if (persist) persist->Release();
  if (link) link->Release();
  if (com) ::CoUninitialize();
  return fields;
}

}  // namespace vellomar::testing
