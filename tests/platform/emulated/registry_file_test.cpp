// The emulated registry file: HKEY_LOCAL_MACHINE kept as REGEDIT4 text in C:\WINDOWS\SYSTEM.REG,
// read afresh by every call, damaged files reported as such, writers of two processes serialised.

#include <sys/wait.h>
#include <unistd.h>

#include "emulated_fixture.h"
#include "platform/regedit4.h"
#include "platform/registry.h"

namespace vellomar::testing {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::kHkeyLocalMachine;
using platform::kRegDword;
using platform::kRegSz;
using platform::LONG;
namespace win32 = platform::win32;

constexpr char kRunServices[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICES";

class RegistryFileTest : public EmulatedPlatformTest {
 protected:
  void SetUp() override {
    EmulatedPlatformTest::SetUp();
    Put("WINDOWS/SYSTEM.REG",
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices]\r\n"
        "\"SystemTray\"=\"SysTray.Exe\"\r\n"
        "\"Quoted\"=\"C:\\\\A \\\"B\\\"\"\r\n"
        "\"Count\"=dword:0000002a\r\n"
        "\"Wrapped\"=hex(2):41,42,\\\r\n"
        "  43,00\r\n\r\n");
  }

  HKEY Open(DWORD access = 63) {
    HKEY key = 0;
    EXPECT_EQ(win32::kErrorSuccess,
              registry().RegOpenKeyExA(kHkeyLocalMachine, kRunServices, 0, access, &key));
    return key;
  }

  LONG SetString(HKEY key, const std::string& name, const std::string& text) {
    const std::string data = text + '\0';
    return registry().RegSetValueExA(key, name, kRegSz,
                                     reinterpret_cast<const std::uint8_t*>(data.data()),
                                     static_cast<DWORD>(data.size()));
  }

  std::string Query(HKEY key, const std::string& name, DWORD* type = nullptr) {
    return QueryValue(registry(), key, name, type);
  }
};

TEST_F(RegistryFileTest, OpenKeyIgnoresLetterCaseAndNeverCreatesOne) {
  const std::string before = Get("WINDOWS/SYSTEM.REG");
  HKEY key = Open();
  EXPECT_NE(0u, key);
  EXPECT_EQ(win32::kErrorSuccess, registry().RegCloseKey(key));
  EXPECT_EQ(win32::kErrorSuccess,
            registry().RegOpenKeyExA(kHkeyLocalMachine, "software\\microsoft", 0, 63, &key))
      << "a key that only has sub-keys exists";
  registry().RegCloseKey(key);
  EXPECT_EQ(win32::kErrorFileNotFound,
            registry().RegOpenKeyExA(kHkeyLocalMachine, "SOFTWARE\\Vellomar", 0, 63, &key));
  EXPECT_EQ(before, Get("WINDOWS/SYSTEM.REG")) << "keys are never created";
  fs::remove(Host("WINDOWS/SYSTEM.REG"));
  EXPECT_EQ(win32::kErrorFileNotFound,
            registry().RegOpenKeyExA(kHkeyLocalMachine, kRunServices, 0, 63, &key))
      << "no registry file means no key";
  EXPECT_FALSE(fs::exists(Host("WINDOWS/SYSTEM.REG")));
}

TEST_F(RegistryFileTest, DamagedFileIsBadDb) {
  HKEY key = 0;
  for (const std::string text :
       {"REGEDIT5\r\n", "", "REGEDIT4\r\n\"orphan\"=\"value\"\r\n",
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:zz\r\n",
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"unterminated\r\n"}) {
    Put("WINDOWS/SYSTEM.REG", text);
    EXPECT_EQ(win32::kErrorBadDb, registry().RegOpenKeyExA(kHkeyLocalMachine, "A", 0, 63, &key))
        << "file: " << text;
  }
}

TEST_F(RegistryFileTest, SetStringIsStoredAsRegedit4Text) {
  HKEY key = Open();
  const std::string command = "C:\\Program Files\\Vellomar\\kestrom.exe /SU:*kvd%3u~x\"yrfp9e>4w";
  EXPECT_EQ(win32::kErrorSuccess, SetString(key, "Vellomar", command));
  EXPECT_EQ(command + '\0', Query(key, "VELLOMAR")) << "the data and its NUL, as given";
  const std::string file = Get("WINDOWS/SYSTEM.REG");
  EXPECT_EQ(0u, file.find("REGEDIT4\r\n"));
  EXPECT_NE(std::string::npos,
            file.find("\"Vellomar\"=\"C:\\\\Program Files\\\\Vellomar\\\\kestrom.exe "
                      "/SU:*kvd%3u~x\\\"yrfp9e>4w\"\r\n"))
      << file;
  EXPECT_NE(std::string::npos, file.find("\"SystemTray\"=\"SysTray.Exe\"\r\n"))
      << "other values are kept";
  registry().RegCloseKey(key);
}

TEST_F(RegistryFileTest, SetOverwritesInPlaceAndKeepsExactBytes) {
  HKEY key = Open();
  EXPECT_EQ(win32::kErrorSuccess, SetString(key, "Vellomar", "first"));
  EXPECT_EQ(win32::kErrorSuccess, SetString(key, "VELLOMAR", "second"));
  EXPECT_EQ(std::string("second\0", 7), Query(key, "Vellomar"));
  const std::uint8_t no_nul[] = {'a', 'b'};
  EXPECT_EQ(win32::kErrorSuccess, registry().RegSetValueExA(key, "Raw", kRegSz, no_nul, 2));
  EXPECT_EQ("ab", Query(key, "Raw")) << "a string without its NUL stays without";
  const std::uint32_t number = 0x01020304;
  EXPECT_EQ(win32::kErrorSuccess,
            registry().RegSetValueExA(key, "Number", kRegDword,
                                      reinterpret_cast<const std::uint8_t*>(&number), 4));
  EXPECT_EQ(std::string("\x04\x03\x02\x01", 4), Query(key, "Number"));
  const std::string file = Get("WINDOWS/SYSTEM.REG");
  platform::RegFile parsed = *platform::ParseRegedit4(file);
  const auto& values = parsed.FindKey(std::string("HKEY_LOCAL_MACHINE\\") + kRunServices)->values;
  EXPECT_EQ(1, std::count_if(values.begin(), values.end(),
                             [](const platform::RegValue& v) { return v.name == "Vellomar"; }))
      << "one Vellomar value, keeping the spelling it was made with";
  EXPECT_NE(std::string::npos, file.find("\"Number\"=dword:01020304\r\n"));
  EXPECT_NE(std::string::npos, file.find("\"Raw\"=hex(1):61,62\r\n"));
  registry().RegCloseKey(key);
}

TEST_F(RegistryFileTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 30;
  std::vector<pid_t> children;
  for (const char* prefix : {"A", "B"}) {
    const pid_t pid = fork();
    ASSERT_NE(-1, pid);
    if (pid == 0) {
      platform::EmulatedMachine machine(drive_c_, drive_c_);
      HKEY key = 0;
      int failures = machine.registry().RegOpenKeyExA(kHkeyLocalMachine, kRunServices, 0, 63, &key);
      for (int i = 0; i < kWrites; ++i) {
        const std::string data = std::string(prefix) + std::to_string(i) + '\0';
        failures += machine.registry().RegSetValueExA(
            key, prefix + std::to_string(i), kRegSz,
            reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<DWORD>(data.size()));
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
  HKEY key = Open();
  for (const char* prefix : {"A", "B"}) {
    for (int i = 0; i < kWrites; ++i) {
      const std::string name = prefix + std::to_string(i);
      EXPECT_EQ(name + '\0', Query(key, name)) << "lost value " << name;
    }
  }
  registry().RegCloseKey(key);
}

TEST(Regedit4Test, SerializedFileParsesBackToTheSameValues) {
  platform::RegFile file;
  platform::RegKey& key = file.SectionFor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Test");
  key.values = {{"", 1, std::string("default\0", 8)},
                {"bin", 3, std::string("\x00\xff", 2)},
                {"multi", 7, std::string("a\0b\0\0", 5)},
                {"line", 1, std::string("two\r\nlines\0", 11)},
                {"empty", 1, std::string("\0", 1)}};
  const std::optional<platform::RegFile> back =
      platform::ParseRegedit4(platform::SerializeRegedit4(file));
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(1u, back->keys.size());
  ASSERT_EQ(key.values.size(), back->keys[0].values.size());
  for (std::size_t i = 0; i < key.values.size(); ++i) {
    EXPECT_EQ(key.values[i].name, back->keys[0].values[i].name);
    EXPECT_EQ(key.values[i].type, back->keys[0].values[i].type) << key.values[i].name;
    EXPECT_EQ(key.values[i].data, back->keys[0].values[i].data) << key.values[i].name;
  }
}

}  // namespace
}  // namespace vellomar::testing
