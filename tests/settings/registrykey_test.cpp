// The key wrapper: path walks, value reads and the failure the user sees.
#include <cstring>

#include "tests/registry/registry_fixture.h"
#include "settings/registrykey.h"

namespace {

class RegistryKeyTest : public RegistryFileTest {};

TEST_F(RegistryKeyTest, OpenPathStopsAtTheDeepestExistingKey) {
  writeFile("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:00000001\n\n"
            "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"v\"=dword:00000003\n");
  RegistryKey key;
  EXPECT_FALSE(key.openPath("\\A\\X\\C"));
  int32_t v = 0;
  EXPECT_TRUE(key.readDword("v", &v)); // reads land in \A
  EXPECT_EQ(v, 1);

  RegistryKey deep;
  EXPECT_TRUE(deep.openPath("\\A\\B\\C"));
  EXPECT_TRUE(deep.readDword("v", &v));
  EXPECT_EQ(v, 3);

  RegistryKey implied; // \A\B has no line of its own but exists below \A
  EXPECT_TRUE(implied.openPath("\\A\\B"));
  EXPECT_FALSE(implied.readDword("v", &v));
}

TEST_F(RegistryKeyTest, RootsAreSeparateHives) {
  writeFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
            "\"ScreenSaveUsePassword\"=\"1\"\n");
  RegistryKey machine;
  EXPECT_FALSE(machine.openPath("\\Control Panel\\Desktop"));
  RegistryKey user(LV_HKEY_CURRENT_USER);
  ASSERT_TRUE(user.openPath("\\Control Panel\\Desktop"));
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_TRUE(user.readString("ScreenSaveUsePassword", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "1");
}

TEST_F(RegistryKeyTest, ReadStringNeedsRoomForTheWholeString) {
  writeFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"s\"=\"abcdefgh\"\n\"n\"=dword:00000031\n");
  RegistryKey key(LV_HKEY_CURRENT_USER);
  ASSERT_TRUE(key.openPath("\\K"));
  char small[8] = "keep";
  EXPECT_FALSE(key.readString("s", small, sizeof small));
  EXPECT_STREQ(small, "keep");
  EXPECT_FALSE(key.readString("n", small, sizeof small));
  EXPECT_STREQ(small, "keep");
  char exact[9];
  EXPECT_TRUE(key.readString("s", exact, sizeof exact));
  EXPECT_STREQ(exact, "abcdefgh");
}

TEST_F(RegistryKeyTest, CreatePathFailureNamesTheComponentAndTheError) {
  std::string longName(256, 'k');
  {
    RegistryKey key;
    std::string path = "\\SOFTWARE\\" + longName + "\\Below";
    EXPECT_FALSE(key.createPath(path.c_str()));
  }
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].text, longName);
  EXPECT_EQ(sink.messages[0].caption, "RegCreateKeyEx Failed with Error[87]");
  EXPECT_EQ(readFile().find("Below"), std::string::npos);

  std::string fits(255, 'k');
  RegistryKey ok;
  EXPECT_TRUE(ok.createPath(("\\SOFTWARE\\" + fits).c_str()));
  RegistryKey reader;
  EXPECT_FALSE(reader.openPath(("\\SOFTWARE\\" + longName).c_str()));
}

TEST_F(RegistryKeyTest, WritesAreSavedWhenTheKeyIsClosed) {
  {
    RegistryKey key;
    ASSERT_TRUE(key.createPath("\\SOFTWARE\\Test"));
    EXPECT_TRUE(key.writeDword("a", -1));
    EXPECT_TRUE(key.writeDword("b", 16));
    EXPECT_FALSE(exists(file));
    int32_t v = 0;
    EXPECT_TRUE(key.readDword("a", &v)); // visible before the save
    EXPECT_EQ(v, -1);
  }
  EXPECT_NE(readFile().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\n\"a\"=dword:ffffffff\n"
                            "\"b\"=dword:00000010\n"),
            std::string::npos)
      << readFile();
}

// A string is stored as the registry stores one: REG_SZ, its size counting
// the terminating NUL, and in the file as the editor exports it.
TEST_F(RegistryKeyTest, WriteStringStoresATerminatedString) {
  {
    RegistryKey key;
    ASSERT_TRUE(key.createPath("\\SOFTWARE\\Test"));
    EXPECT_TRUE(key.writeString("disc", "/media/my \"best\" disc.cue"));
    EXPECT_TRUE(key.writeString("empty", ""));
    uint32_t type = LV_REG_NONE, size = 0;
    ASSERT_EQ(registryQueryValue(key.current(), "disc", &type, nullptr, &size), LV_ERROR_SUCCESS);
    EXPECT_EQ(type, LV_REG_SZ);
    EXPECT_EQ(size, std::strlen("/media/my \"best\" disc.cue") + 1);
    ASSERT_EQ(registryQueryValue(key.current(), "empty", &type, nullptr, &size), LV_ERROR_SUCCESS);
    EXPECT_EQ(size, 1u);
  }
  EXPECT_NE(readFile().find("\"disc\"=\"/media/my \\\"best\\\" disc.cue\"\n\"empty\"=\"\"\n"),
            std::string::npos)
      << readFile();
  RegistryKey key;
  ASSERT_TRUE(key.openPath("\\SOFTWARE\\Test"));
  char buffer[64];
  EXPECT_TRUE(key.readString("disc", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "/media/my \"best\" disc.cue");
}

TEST_F(RegistryKeyTest, AReadOnlyWalkCannotWrite) {
  writeFile("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n");
  std::string before = readFile();
  RegistryKey key;
  ASSERT_TRUE(key.openPath("\\K"));
  EXPECT_FALSE(key.writeDword("x", 1));
  RegistryKey root;
  EXPECT_FALSE(root.writeDword("x", 1));
  EXPECT_EQ(readFile(), before);
}

} // namespace
