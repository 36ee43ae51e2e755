// fCreateShellLink writes shortcuts that a Windows shortcut reader understands: read back with
// lnkinfo (liblnk), each link starts its target with the arguments given, in the target's folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/lnk_links.h"

namespace vellomar::platform {
namespace {

namespace fs = std::filesystem;

const char kProgramsFolder[] = "C:\\WINDOWS\\Start Menu\\Programs";
const char kTarget[] = "C:\\Program Files\\Vellomar\\kestrom.exe";

// The fields lnkinfo prints as "<name> : <value>", or nothing when it cannot read the file.
std::optional<std::map<std::string, std::string>> LnkInfo(const fs::path& link) {
  const std::string command = "lnkinfo '" + link.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string output;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof(buffer), pipe)) output.append(buffer, n);
  if (pclose(pipe) != 0) return std::nullopt;

  std::map<std::string, std::string> fields;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const auto trim = [](std::string s) {
      s.erase(0, s.find_first_not_of(" \t"));
      s.erase(s.find_last_not_of(" \t\r") + 1);
      return s;
    };
    fields[trim(line.substr(0, colon))] = trim(line.substr(colon + 1));
  }
  return fields;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LnkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    }
    std::string templ = (fs::temp_directory_path() / "lnk_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    drive_c_ = templ;
    fs::create_directories(drive_c_ / "WINDOWS" / "Start Menu" / "Programs" / "Vellomar");
    fs::create_directories(drive_c_ / "WINDOWS" / "Desktop");
  }
  void TearDown() override {
    if (drive_c_.empty()) return;
    fs::remove_all(drive_c_);
  }

  // C:\ is the temporary folder; the test only uses paths as they exist on disk.
  fs::path Host(const std::string& dos) const {
    std::string rel = dos.substr(3);
    for (char& c : rel) c = c == '\\' ? '/' : c;
    return drive_c_ / rel;
  }

  LnkShellLinks Links() {
    return LnkShellLinks([this](const std::string& dos) { return Host(dos); }, kProgramsFolder);
  }

  fs::path drive_c_;
};

TEST_F(LnkTest, LinkStartsTheTargetWithItsArgumentsInTheTargetsFolder) {
  LnkShellLinks links = Links();
  ASSERT_EQ(links.fCreateShellLink("..\\..\\Desktop", "Vellomar", kTarget, "/locknow /nosmile"), 1);
  ASSERT_EQ(links.fCreateShellLink("\\Vellomar", "Vellomar Setup", "C:\\kestrom.exe", "/setup"), 1);

  auto desktop = LnkInfo(Host("C:\\WINDOWS\\Desktop\\Vellomar.lnk"));
  ASSERT_TRUE(desktop) << "lnkinfo cannot read the desktop link";
  EXPECT_EQ((*desktop)["Local path"], kTarget);
  EXPECT_EQ((*desktop)["Command line arguments"], "/locknow /nosmile");
  EXPECT_EQ((*desktop)["Working directory"], "C:\\Program Files\\Vellomar");
  EXPECT_EQ((*desktop)["Drive type"], "Fixed (3)");

  auto setup = LnkInfo(Host("C:\\WINDOWS\\Start Menu\\Programs\\Vellomar\\Vellomar Setup.lnk"));
  ASSERT_TRUE(setup) << "lnkinfo cannot read the Start-menu link";
  EXPECT_EQ((*setup)["Local path"], "C:\\kestrom.exe");
  EXPECT_EQ((*setup)["Command line arguments"], "/setup");
  EXPECT_EQ((*setup)["Working directory"], "C:\\") << "a root folder keeps its backslash";
}

TEST_F(LnkTest, ExistingLinkIsReplacedWholeWithNoTemporaryFileLeft) {
  LnkShellLinks links = Links();
  const fs::path desktop = Host("C:\\WINDOWS\\Desktop");
  ASSERT_EQ(links.fCreateShellLink("..\\..\\Desktop", "Vellomar", kTarget, "/locknow"), 1);
  ASSERT_EQ(links.fCreateShellLink("..\\..\\Desktop", "Vellomar", kTarget, "/locknowfull"), 1);
  auto info = LnkInfo(desktop / "Vellomar.lnk");
  ASSERT_TRUE(info);
  EXPECT_EQ((*info)["Command line arguments"], "/locknowfull");
  EXPECT_EQ(std::distance(fs::directory_iterator(desktop), fs::directory_iterator()), 1);
}

TEST_F(LnkTest, FailureReturnsZeroAndLeavesTheDiskAsItWas) {
  LnkShellLinks links = Links();
  const fs::path desktop = Host("C:\\WINDOWS\\Desktop");

  EXPECT_EQ(links.fCreateShellLink("\\Missing", "Vellomar", kTarget, ""), 0);
  EXPECT_FALSE(fs::exists(Host("C:\\WINDOWS\\Start Menu\\Programs\\Missing")));

  fs::create_directory(desktop / "Folder.lnk");
  EXPECT_EQ(links.fCreateShellLink("..\\..\\Desktop", "Folder", kTarget, ""), 0);
  EXPECT_TRUE(fs::is_directory(desktop / "Folder.lnk"));

  EXPECT_EQ(links.fCreateShellLink("..\\..\\Desktop", "a\\b", kTarget, ""), 0);
  EXPECT_EQ(links.fCreateShellLink("..\\..\\Desktop", "", kTarget, ""), 0);

  // A read-only link is kept as it is.
  ASSERT_EQ(links.fCreateShellLink("..\\..\\Desktop", "Vellomar", kTarget, "/locknow"), 1);
  const std::string before = ReadBytes(desktop / "Vellomar.lnk");
  fs::permissions(desktop / "Vellomar.lnk",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(links.fCreateShellLink("..\\..\\Desktop", "Vellomar", kTarget, "/setup"), 0);
  EXPECT_EQ(ReadBytes(desktop / "Vellomar.lnk"), before);

  // The path mapping failing is a failure too, never an exception.
  LnkShellLinks broken([](const std::string&) -> fs::path { throw std::runtime_error("no drive"); },
                       kProgramsFolder);
  EXPECT_EQ(broken.fCreateShellLink("..\\..\\Desktop", "Vellomar", kTarget, ""), 0);
}

}  // namespace
}  // namespace vellomar::platform
