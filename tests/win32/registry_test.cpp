// The settings in the Windows registry: records saved and loaded through the
// system's registry calls, values as the system sees them, and the user's own
// copy when the machine's key cannot be written. Runs in a scratch Wine prefix
// (or a test machine): it writes the program's keys.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstring>
#include <string>

#include "hosts/win32/registry/machineoruser.h"
#include "settings/configuration.h"
#include "settings/registrykey.h"

namespace {

const char *const DisplayKey = "SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display";
const char *const Scratch = "Software\\LumenveilTests";

bool systemDword(HKEY root, const char *path, const char *name, DWORD &value) {
  DWORD type = 0, size = sizeof value;
  return RegGetValueA(root, path, name, RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS &&
         type == REG_DWORD && size == 4;
}

class WindowsRegistry : public ::testing::Test {
protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Qbn");
    RegDeleteTreeA(HKEY_CURRENT_USER, Scratch);
  }
  void TearDown() override {
    setRegistryRootsForTests(nullptr, nullptr);
    for (HKEY k : opened_) RegCloseKey(k);
    RegDeleteTreeA(HKEY_CURRENT_USER, Scratch);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Qbn");
  }
  // A scratch key below HKEY_CURRENT_USER, opened with the access given.
  HKEY scratchKey(const std::string &name, REGSAM access) {
    HKEY made = nullptr, key = nullptr;
    const std::string path = std::string(Scratch) + "\\" + name;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(made);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key), ERROR_SUCCESS);
    opened_.push_back(key);
    return key;
  }
  std::vector<HKEY> opened_;
};

} // namespace

TEST_F(WindowsRegistry, ASavedRecordIsTheMachinesAndLoadsBack) {
  DisplayConfiguration saved;
  saved.Mode = 3;
  saved.DitherMode = 2;
  saved.ImageCenteringAid = -7;
  ASSERT_EQ(saved.save(), 0);

  // The system sees typed numbers under the program's key.
  DWORD mode = 0, aid = 0;
  ASSERT_TRUE(systemDword(HKEY_LOCAL_MACHINE, DisplayKey, "Mode", mode));
  EXPECT_EQ(mode, 3u);
  ASSERT_TRUE(systemDword(HKEY_LOCAL_MACHINE, DisplayKey, "Image centering aid", aid));
  EXPECT_EQ(aid, 0xFFFFFFF9u);

  DisplayConfiguration loaded;
  loaded.load();
  EXPECT_EQ(loaded.Mode, 3);
  EXPECT_EQ(loaded.DitherMode, 2);
  EXPECT_EQ(loaded.ImageCenteringAid, -7);
  EXPECT_EQ(loaded.Divisor, 1); // saved as the default it had
}

TEST_F(WindowsRegistry, MissingKeysLeaveTheDefaultsAndValuesOfOtherTypesAreNotNumbers) {
  LumenveilConfiguration first;
  first.load();
  EXPECT_EQ(first.TimeFactor, 100);

  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn\\Lumenveil\\1.1\\Lumenveil", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char text[] = "250";
  RegSetValueExA(key, "TimeFactor", 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text);
  const DWORD big = 1000;
  RegSetValueExA(key, "Trailers", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&big), 4);
  RegSetValueExA(key, "Debris", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&big), 4);
  RegCloseKey(key);

  LumenveilConfiguration second;
  second.load();
  EXPECT_EQ(second.TimeFactor, 100); // a string is not read as a number
  EXPECT_EQ(second.Trailers, 1000);
  EXPECT_EQ(second.Debris, 1000);
}

TEST_F(WindowsRegistry, StringsOfTheDesktopKeyAreReadThroughTheSystem) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char on[] = "1", timeout[] = "-5", off[] = "0";
  RegSetValueExA(key, "ScreenSaveLowPowerActive", 0, REG_SZ, reinterpret_cast<const BYTE *>(on), 2);
  RegSetValueExA(key, "ScreenSaveLowPowerTimeout", 0, REG_SZ, reinterpret_cast<const BYTE *>(timeout), 3);
  RegSetValueExA(key, "ScreenSavePowerOffActive", 0, REG_SZ, reinterpret_cast<const BYTE *>(off), 2);
  RegCloseKey(key);

  PowerConfiguration power;
  power.load();
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveLowPowerActive");
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveLowPowerTimeout");
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSavePowerOffActive");
  EXPECT_EQ(power.LowPowerStandby, 1);
  EXPECT_EQ(power.LowPowerTimeout, 0);
  EXPECT_EQ(power.ShutOffMonitor, 0);
  EXPECT_EQ(power.PowerOffTimeout, 15);
}

TEST_F(WindowsRegistry, AMachineKeyThatCannotBeWrittenSendsTheSaveToTheUsersKey) {
  // Stand-ins for the two hives. The machine's group was made by someone
  // else and may only be read: everyone is granted reading, nothing more.
  HKEY machine = scratchKey("machine", KEY_ALL_ACCESS);
  HKEY user = scratchKey("user", KEY_ALL_ACCESS);
  const char *const global = "SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global";
  HKEY key = nullptr;
  const DWORD adminScene = 0, adminPriority = 3;
  ASSERT_EQ(RegCreateKeyExA(machine, global, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "ScreenSaver", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&adminScene), 4);
  RegSetValueExA(key, "Priority", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&adminPriority), 4);
  PSECURITY_DESCRIPTOR readOnly = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                                   &readOnly, nullptr));
  ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
  LocalFree(readOnly);
  RegCloseKey(key);
  if (RegOpenKeyExA(machine, global, 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    GTEST_SKIP() << "this registry does not hold keys to their access rights";
  }
  setRegistryRootsForTests(machine, user);

  GlobalConfiguration before;
  before.load();
  EXPECT_EQ(before.ScreenSaver, 0); // the machine's values where the user has none
  EXPECT_EQ(before.Priority, 3);

  GlobalConfiguration saved;
  saved.load();
  saved.ScreenSaver = 1;
  saved.MotionBlurDelta = -30;
  ASSERT_EQ(saved.save(), 0);
  DWORD scene = 0;
  ASSERT_TRUE(systemDword(user, global, "ScreenSaver", scene));
  EXPECT_EQ(scene, 1u);

  // What the user saved is what the next run reads, not the machine's.
  GlobalConfiguration loaded;
  loaded.load();
  EXPECT_EQ(loaded.ScreenSaver, 1);
  EXPECT_EQ(loaded.MotionBlurDelta, -30);
  EXPECT_EQ(loaded.Priority, 3);
}

TEST_F(WindowsRegistry, TheMachinesValuesComeFirstWhereTheyCanBeWrittenAndTheUsersFillTheGaps) {
  HKEY machine = scratchKey("machine", KEY_ALL_ACCESS);
  HKEY user = scratchKey("user", KEY_ALL_ACCESS);
  HKEY key = nullptr;
  const DWORD machineMode = 4, userMode = 1, userDither = 2;
  RegCreateKeyExA(machine, DisplayKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, "Mode", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&machineMode), 4);
  RegCloseKey(key);
  RegCreateKeyExA(user, DisplayKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, "Mode", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&userMode), 4);
  RegSetValueExA(key, "DitherMode", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&userDither), 4);
  RegCloseKey(key);
  setRegistryRootsForTests(machine, user);

  DisplayConfiguration loaded;
  loaded.load();
  EXPECT_EQ(loaded.Mode, 4);
  EXPECT_EQ(loaded.DitherMode, 2);

  // A save goes where it was read from: the machine's key.
  loaded.Mode = 5;
  ASSERT_EQ(loaded.save(), 0);
  DWORD mode = 0;
  ASSERT_TRUE(systemDword(machine, DisplayKey, "Mode", mode));
  EXPECT_EQ(mode, 5u);
  ASSERT_TRUE(systemDword(user, DisplayKey, "Mode", mode));
  EXPECT_EQ(mode, 1u);
}

TEST_F(WindowsRegistry, HandlesThatWereNeverOpenedOrAreClosedAreRefused) {
  LvHkey key = 0;
  ASSERT_EQ(registryCreateKey(LV_HKEY_CURRENT_USER, "Software\\LumenveilTests\\h", &key), LV_ERROR_SUCCESS);
  const char value[] = "x";
  EXPECT_EQ(registrySetValue(key, "v", LV_REG_SZ, value, 2), LV_ERROR_SUCCESS);
  EXPECT_EQ(registryCloseKey(key), LV_ERROR_SUCCESS);
  EXPECT_EQ(registrySetValue(key, "v", LV_REG_SZ, value, 2), LV_ERROR_INVALID_HANDLE);
  EXPECT_EQ(registryCloseKey(key), LV_ERROR_INVALID_HANDLE);
  uint32_t size = 4;
  char data[4];
  EXPECT_EQ(registryQueryValue(12345, "v", nullptr, data, &size), LV_ERROR_INVALID_HANDLE);

  // A key opened for reading takes no values.
  LvHkey reading = 0;
  ASSERT_EQ(registryOpenKey(LV_HKEY_CURRENT_USER, "Software\\LumenveilTests\\h", &reading), LV_ERROR_SUCCESS);
  EXPECT_EQ(registrySetValue(reading, "v", LV_REG_SZ, value, 2), LV_ERROR_ACCESS_DENIED);
  size = sizeof data;
  uint32_t type = 0;
  EXPECT_EQ(registryQueryValue(reading, "v", &type, data, &size), LV_ERROR_SUCCESS);
  EXPECT_EQ(type, LV_REG_SZ);
  EXPECT_STREQ(data, "x");
  // Without a size only the value's presence and type are asked for; data
  // without a size is refused.
  type = 0;
  EXPECT_EQ(registryQueryValue(reading, "v", &type, nullptr, nullptr), LV_ERROR_SUCCESS);
  EXPECT_EQ(type, LV_REG_SZ);
  EXPECT_EQ(registryQueryValue(reading, "w", nullptr, nullptr, nullptr), LV_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registryQueryValue(reading, "v", nullptr, data, nullptr), LV_ERROR_INVALID_PARAMETER);
  registryCloseKey(reading);
}
