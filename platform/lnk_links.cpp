#include "platform/lnk_links.h"

#include <cstdint>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/desktop_twins.h"
#include "platform/file_parts.h"

namespace vellomar::platform {

namespace {

// ShellLinkHeader.
constexpr std::uint32_t kHeaderSize = 0x4C;
// CLSID 00021401-0000-0000-C000-000000000046 in its on-disk byte order.
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kHasArguments = 0x20;
constexpr std::uint32_t kFileAttributeNormal = 0x80;
constexpr std::uint32_t kShowNormal = 1;

// LinkInfo with a VolumeID and a local base path, no Unicode copies.
constexpr std::uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr std::uint32_t kVolumeIdHeaderSize = 0x10;
constexpr std::uint32_t kDriveFixed = 3;
// The emulated drive C: has one fixed serial number.
constexpr std::uint32_t kVolumeSerial = 0x1998C0DE;

constexpr std::size_t kMaxCountedString = 0xFFFF;

void PutU16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// StringData entry: a 16-bit character count, then the ANSI characters without terminator.
void PutCountedString(std::string& out, const std::string& text) {
  if (text.size() > kMaxCountedString) throw std::length_error("shortcut string too long");
  PutU16(out, static_cast<std::uint32_t>(text.size()));
  out += text;
}

std::string BuildLinkInfo(const std::string& local_base_path) {
  if (local_base_path.find('\0') != std::string::npos) {
    throw std::invalid_argument("shortcut target holds a NUL character");
  }
  std::string volume_id;
  PutU32(volume_id, kVolumeIdHeaderSize + 1);  // header + empty label's terminator
  PutU32(volume_id, kDriveFixed);
  PutU32(volume_id, kVolumeSerial);
  PutU32(volume_id, kVolumeIdHeaderSize);  // the label follows the header
  volume_id += '\0';

  const std::uint32_t volume_id_offset = kLinkInfoHeaderSize;
  const auto local_base_path_offset =
      static_cast<std::uint32_t>(volume_id_offset + volume_id.size());
  const auto common_path_suffix_offset =
      static_cast<std::uint32_t>(local_base_path_offset + local_base_path.size() + 1);
  const std::uint32_t size = common_path_suffix_offset + 1;  // empty suffix: its terminator

  std::string info;
  PutU32(info, size);
  PutU32(info, kLinkInfoHeaderSize);
  PutU32(info, kVolumeIdAndLocalBasePath);
  PutU32(info, volume_id_offset);
  PutU32(info, local_base_path_offset);
  PutU32(info, 0);  // no CommonNetworkRelativeLink
  PutU32(info, common_path_suffix_offset);
  info += volume_id;
  info += local_base_path;
  info += '\0';
  info += '\0';  // CommonPathSuffix, empty
  return info;
}

}  // namespace

std::string BuildLnkFile(const LinkSpec& link) {
  std::string out;
  PutU32(out, kHeaderSize);
  out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof(kLinkClsid));
  PutU32(out, kHasLinkInfo | kHasWorkingDir | kHasArguments);
  PutU32(out, kFileAttributeNormal);
  out.append(24, '\0');  // creation, access and write times: unknown
  PutU32(out, 0);        // target size
  PutU32(out, 0);        // icon index
  PutU32(out, kShowNormal);
  PutU16(out, 0);        // no hot key
  out.append(10, '\0');  // reserved

  out += BuildLinkInfo(link.target);
  PutCountedString(out, link.working_directory);
  PutCountedString(out, link.arguments);
  PutU32(out, 0);  // terminal block
  return out;
}

LnkShellLinks::LnkShellLinks(std::function<std::filesystem::path(const std::string&)> host_path,
                             std::string programs_folder, DesktopTwins* twins,
                             std::shared_ptr<ReplaceFaults> faults)
    : host_path_(std::move(host_path)),
      programs_folder_(std::move(programs_folder)),
      twins_(twins),
      faults_(std::move(faults)) {}

std::string LnkShellLinks::DesktopFolder() {
  return ResolveFolder(programs_folder_, "..\\..\\Desktop");
}

long LnkShellLinks::fCreateShellLink(const std::string& folder, const std::string& name,
                                     const std::string& target, const std::string& arguments) {
  if (!IsValidLinkName(name)) return 0;
  try {
    const std::string dos_folder = ResolveFolder(programs_folder_, folder);
    const std::string separator = dos_folder.back() == '\\' ? "" : "\\";
    const std::filesystem::path host_folder = host_path_(dos_folder);
    // Through host_path_ so that an existing link of another letter case is the one replaced.
    const std::filesystem::path host_link = host_path_(dos_folder + separator + name + ".lnk");
    if (!std::filesystem::is_directory(host_folder)) return 0;

    // Windows will not save over a read-only link; a folder of that name is no link at all.
    std::error_code ec;
    const std::filesystem::file_status existing = std::filesystem::status(host_link, ec);
    if (std::filesystem::exists(existing)) {
      if (!std::filesystem::is_regular_file(existing)) return 0;
      if ((existing.permissions() & std::filesystem::perms::owner_write) ==
          std::filesystem::perms::none) {
        return 0;
      }
    }

    const LinkSpec link{target, arguments, FolderOf(target)};
    // Written beside the old link and renamed over it: an existing link is kept whole or
    // replaced whole.
    ReplaceFileContent(host_link, BuildLnkFile(link), faults_);
    if (twins_) twins_->LinkWritten(host_link, link);
    return 1;
  } catch (const std::exception&) {
    // The caller only learns success or failure, as with the setup toolkit's routine.
    return 0;
  }
}

}  // namespace vellomar::platform
