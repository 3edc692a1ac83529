#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/resources.h"

namespace {

TEST(Resources, FoundByNumberNameAndType) {
  const struct {
    const char *name;
    std::size_t size;
  } expected[] = {{"#101", 131125}, {"#102", 131125}, {"#103", 131125}, {"#104", 131125}, {"#105", 32817},
                  {"#108", 5760},   {"#109", 131125}, {"#110", 131125}, {"#111", 51072},  {"#112", 51072}};
  for (const auto &e : expected) {
    const ResourceBytes r = findResource(e.name, "TEXTUREDATA");
    ASSERT_NE(r.data, nullptr) << e.name;
    EXPECT_EQ(r.size, e.size) << e.name;
  }
  // The control panel's pictures are PNG images.
  for (const char *name : {"#120", "#121", "#122"}) {
    const ResourceBytes r = findResource(name, "TEXTUREDATA");
    ASSERT_NE(r.data, nullptr) << name;
    ASSERT_GT(r.size, 8u) << name;
    EXPECT_EQ(std::memcmp(r.data, "\x89PNG\r\n\x1a\n", 8), 0) << name;
  }
  // The same bytes every time: they are used in place.
  EXPECT_EQ(findResource("#101", "TEXTUREDATA").data, findResource("#101", "TEXTUREDATA").data);
  // Types compare without regard to case, as the system's do.
  EXPECT_NE(findResource("#101", "texturedata").data, nullptr);
  std::size_t count = 0;
  const int *ids = resourceIds(count);
  EXPECT_EQ(count, 13u);
  EXPECT_EQ(std::vector<int>(ids, ids + count),
            (std::vector<int>{101, 102, 103, 104, 105, 108, 109, 110, 111, 112, 120, 121, 122}));
}

TEST(Resources, UnknownNamesAndTypesFindNothing) {
  for (const char *name : {"#100", "#106", "101", "#", "#101x", "#-101", "# 101", "", "#99999999999"}) {
    const ResourceBytes r = findResource(name, "TEXTUREDATA");
    EXPECT_EQ(r.data, nullptr) << name;
    EXPECT_EQ(r.size, 0u) << name;
  }
  EXPECT_EQ(findResource(nullptr, "TEXTUREDATA").data, nullptr);
  EXPECT_EQ(findResource("#101", nullptr).data, nullptr);
  EXPECT_EQ(findResource("#101", "BITMAP").data, nullptr);
  EXPECT_EQ(findResource("#101", "TEXTUREDAT").data, nullptr);
}

// The generator is deterministic: a second run writes exactly the bytes the
// program was built with.
TEST(Resources, GeneratorReproducesTheBuiltResources) {
  const std::string tool = std::string(LV_BINARY_DIR) + "/resources/tools/lv_makeresources";
  if (!std::filesystem::exists(tool)) GTEST_SKIP() << "no generator at " << tool;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("lv-resources-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  // The typeface folder the build found.
  std::string typefaces = "/usr/share/fonts/truetype/dejavu";
  std::ifstream cache(std::string(LV_BINARY_DIR) + "/CMakeCache.txt");
  for (std::string line; std::getline(cache, line);) {
    const std::string key = "LV_TYPEFACE_DIR:PATH=";
    if (line.rfind(key, 0) == 0) typefaces = line.substr(key.size());
  }
  const std::string command = tool + " --font-text " + LV_SOURCE_DIR + "/resources/font9x15.txt" +
                              " --typefaces " + typefaces + " --out-cpp " + (dir / "out.cpp").string() +
                              " --out-dir " + dir.string();
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::size_t count = 0;
  const int *ids = resourceIds(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::ifstream in(dir / (std::to_string(ids[i]) + ".bin"), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    const ResourceBytes r = findResource(("#" + std::to_string(ids[i])).c_str(), "TEXTUREDATA");
    ASSERT_EQ(bytes.size(), r.size) << ids[i];
    EXPECT_EQ(std::memcmp(bytes.data(), r.data, r.size), 0) << ids[i];
  }
  std::filesystem::remove_all(dir);
}

} // namespace
