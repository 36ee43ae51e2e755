// The registry with the Win32 results of advapi32, on HKEY_LOCAL_MACHINE (the Win32 machine's
// scratch key standing for it): set up through the installer's key creation and RegSetValueExA,
// checked through RegQueryValueExA.

#include "platform/registry.h"
#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::kHkeyLocalMachine;
using platform::kRegDword;
using platform::kRegSz;
using platform::kRunServicesKey;
using platform::LONG;
namespace win32 = platform::win32;

constexpr DWORD kKeyAllAccess = 0xF003F;
constexpr DWORD kKeyQueryValue = 1;
constexpr DWORD kRegExpandSz = 2;

class RegistryTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ASSERT_EQ(platform::KeyCreation::kCreated, machine_->CreateRegistryKey(kRunServicesKey));
    HKEY key = Open();
    ASSERT_EQ(win32::kErrorSuccess, SetString(key, "SystemTray", "SysTray.Exe"));
    ASSERT_EQ(win32::kErrorSuccess, Set(key, "Count", kRegDword, std::string("\x2a\0\0\0", 4)));
    ASSERT_EQ(win32::kErrorSuccess, Set(key, "Wrapped", kRegExpandSz, std::string("ABC\0", 4)));
    registry().RegCloseKey(key);
  }

  HKEY Open(DWORD access = kKeyAllAccess) {
    HKEY key = 0;
    EXPECT_EQ(win32::kErrorSuccess,
              registry().RegOpenKeyExA(kHkeyLocalMachine, kRunServicesKey, 0, access, &key));
    return key;
  }

  LONG Set(HKEY key, const std::string& name, DWORD type, const std::string& data) {
    return registry().RegSetValueExA(key, name, type,
                                     reinterpret_cast<const std::uint8_t*>(data.data()),
                                     static_cast<DWORD>(data.size()));
  }
  LONG SetString(HKEY key, const std::string& name, const std::string& text) {
    return Set(key, name, kRegSz, text + '\0');
  }

  std::string Query(HKEY key, const std::string& name, DWORD* type = nullptr) {
    return QueryValue(registry(), key, name, type);
  }
};

TEST_F(RegistryTest, OpenKeyIgnoresLetterCaseAndNeverCreatesOne) {
  HKEY key = 0;
  EXPECT_EQ(win32::kErrorSuccess,
            registry().RegOpenKeyExA(kHkeyLocalMachine, "software\\microsoft", 0, 63, &key))
      << "a key that only has sub-keys exists";
  registry().RegCloseKey(key);
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(win32::kErrorFileNotFound,
              registry().RegOpenKeyExA(kHkeyLocalMachine, "SOFTWARE\\Vellomar", 0, 63, &key))
        << "opening a missing key does not make it";
  }
}

TEST_F(RegistryTest, QueryFollowsTheBufferContract) {
  HKEY key = Open();
  DWORD type = 0, size = 0;
  EXPECT_EQ(win32::kErrorSuccess,
            registry().RegQueryValueExA(key, "systemtray", &type, nullptr, &size))
      << "no buffer gives type and size; value names ignore letter case";
  EXPECT_EQ(kRegSz, type);
  EXPECT_EQ(12u, size) << "SysTray.Exe and its NUL";
  std::uint8_t buffer[4] = {'?', '?', '?', '?'};
  size = sizeof buffer;
  EXPECT_EQ(win32::kErrorMoreData,
            registry().RegQueryValueExA(key, "SystemTray", &type, buffer, &size));
  EXPECT_EQ(12u, size) << "the size needed";
  EXPECT_EQ(win32::kErrorInvalidParameter,
            registry().RegQueryValueExA(key, "SystemTray", &type, buffer, nullptr))
      << "a buffer without a size";
  registry().RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesReadBackExactly) {
  HKEY key = Open();
  DWORD type = 0;
  EXPECT_EQ(std::string("SysTray.Exe\0", 12), Query(key, "SystemTray", &type));
  EXPECT_EQ(std::string("\x2a\0\0\0", 4), Query(key, "Count", &type));
  EXPECT_EQ(kRegDword, type);
  EXPECT_EQ(std::string("ABC\0", 4), Query(key, "Wrapped", &type));
  EXPECT_EQ(kRegExpandSz, type);
  EXPECT_EQ("error 2", Query(key, "Vellomar")) << "missing value";
  const std::string command = "C:\\Program Files\\Vellomar\\kestrom.exe /SU:*kvd%3u~x\"yrfp9e>4w";
  EXPECT_EQ(win32::kErrorSuccess, SetString(key, "Vellomar", command));
  EXPECT_EQ(command + '\0', Query(key, "VELLOMAR")) << "the data and its NUL, as given";
  registry().RegCloseKey(key);
}

TEST_F(RegistryTest, SetOverwritesAndKeepsExactBytes) {
  HKEY key = Open();
  EXPECT_EQ(win32::kErrorSuccess, SetString(key, "Vellomar", "first"));
  EXPECT_EQ(win32::kErrorSuccess, SetString(key, "VELLOMAR", "second"));
  EXPECT_EQ(std::string("second\0", 7), Query(key, "Vellomar")) << "one value, any case";
  // A string given without its NUL: the emulation keeps the bytes as given; Windows NT (and
  // Wine) add the NUL when the byte after the data is one. The system always passes the NUL.
  const std::string raw("ab\0", 3);
  EXPECT_EQ(win32::kErrorSuccess,
            registry().RegSetValueExA(key, "Raw", kRegSz,
                                      reinterpret_cast<const std::uint8_t*>(raw.data()), 2));
  const std::string stored = Query(key, "Raw");
  EXPECT_TRUE(stored == "ab" || stored == raw) << stored;
  EXPECT_EQ(win32::kErrorSuccess, Set(key, "Number", kRegDword, "\x04\x03\x02\x01"));
  EXPECT_EQ(std::string("\x04\x03\x02\x01", 4), Query(key, "Number"));
  registry().RegCloseKey(key);
  key = Open();
  EXPECT_EQ(std::string("second\0", 7), Query(key, "Vellomar")) << "kept past the handle";
  registry().RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteValue) {
  HKEY key = Open();
  EXPECT_EQ(win32::kErrorFileNotFound, registry().RegDeleteValueA(key, "Vellomar"))
      << "deleting a value that is not there";
  EXPECT_EQ(win32::kErrorSuccess, registry().RegDeleteValueA(key, "systemtray"));
  EXPECT_EQ("error 2", Query(key, "SystemTray"));
  EXPECT_EQ(std::string("\x2a\0\0\0", 4), Query(key, "Count")) << "the others stay";
  registry().RegCloseKey(key);
}

TEST_F(RegistryTest, HandlesFollowTheRules) {
  HKEY key = Open(kKeyQueryValue);
  if (RegistryHandlesKeepTheirAccess()) {
    EXPECT_EQ(win32::kErrorAccessDenied, SetString(key, "Vellomar", "x")) << "a read-only handle";
    EXPECT_EQ(win32::kErrorAccessDenied, registry().RegDeleteValueA(key, "SystemTray"));
  }
  EXPECT_EQ(win32::kErrorSuccess, registry().RegCloseKey(key));
  EXPECT_EQ(win32::kErrorInvalidHandle, registry().RegCloseKey(key)) << "closed twice";
  EXPECT_EQ(win32::kErrorInvalidHandle, registry().RegCloseKey(12345));
  DWORD size = 0;
  EXPECT_EQ(win32::kErrorInvalidHandle,
            registry().RegQueryValueExA(key, "SystemTray", nullptr, nullptr, &size));
  EXPECT_EQ(win32::kErrorInvalidHandle, SetString(key, "Vellomar", "x"));
  EXPECT_EQ(win32::kErrorInvalidHandle, registry().RegDeleteValueA(key, "SystemTray"));
  HKEY other = 0;
  EXPECT_EQ(win32::kErrorInvalidHandle, registry().RegOpenKeyExA(0x80000001u, "", 0, 63, &other))
      << "only HKEY_LOCAL_MACHINE is there";
}

TEST_F(RegistryTest, InstallerKeepsAnExistingKey) {
  HKEY key = Open();
  EXPECT_EQ(win32::kErrorSuccess, SetString(key, "Vellomar", "x"));
  EXPECT_EQ(
      platform::KeyCreation::kExisted,
      machine_->CreateRegistryKey("software\\microsoft\\windows\\currentversion\\runservices"));
  EXPECT_EQ(std::string("x\0", 2), Query(key, "Vellomar"));
  registry().RegCloseKey(key);
}

}  // namespace
}  // namespace vellomar::testing
