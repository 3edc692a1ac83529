#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "assets/textures.h"
#include "glide/glide.h"
#include "glide/tracewrite.h"

namespace {

// Runs with a fresh board and an empty table, recording the board calls.
class TextureTable : public ::testing::Test {
protected:
  void SetUp() override {
    grGlideInit();
    clearTextureTable();
    BoardTraceFile = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(BoardTraceFile);
    BoardTraceFile = nullptr;
    clearTextureTable();
    grGlideShutdown();
  }
  // The recorded calls whose name starts with `call`, one string each.
  std::vector<std::string> calls(const std::string &call) {
    std::fflush(BoardTraceFile);
    std::rewind(BoardTraceFile);
    std::vector<std::string> out;
    char line[4096];
    while (std::fgets(line, sizeof line, BoardTraceFile)) {
      std::string s(line);
      if (s.rfind(call + " ", 0) == 0) out.push_back(s.substr(0, s.find('\n')));
    }
    std::fseek(BoardTraceFile, 0, SEEK_END);
    return out;
  }
};

TEST_F(TextureTable, LoadsTheSevenTexturesInOrder) {
  EXPECT_TRUE(loadTextures());
  ASSERT_EQ(textureTableCount(), 7);
  const int order[] = {101, 102, 103, 104, 105, 109, 110};
  std::vector<int32_t> handles;
  for (int i = 0; i < 7; ++i) {
    const TextureSlot s = textureTableSlot(i);
    EXPECT_EQ(s.id, order[i]);
    EXPECT_GE(s.handle, 0);
    EXPECT_EQ(findTexture(order[i]), s.handle);
    handles.push_back(s.handle);
  }
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(std::unique(handles.begin(), handles.end()), handles.end()) << "distinct handles";
  EXPECT_EQ(textureTableSlot(7).id, 0);
  EXPECT_EQ(textureTableSlot(7).handle, 0);
  // Every texture is allocated as one bilinear, clamped level on the first unit.
  const std::vector<std::string> allocations = calls("guTexAllocateMemory");
  ASSERT_EQ(allocations.size(), 7u);
  EXPECT_EQ(allocations[0].substr(0, allocations[0].rfind(' ')),
            "guTexAllocateMemory 0 3 256 256 10 1 0 0 3 1 1 1 1 0 0");
  EXPECT_EQ(allocations[4].substr(0, allocations[4].rfind(' ')),
            "guTexAllocateMemory 0 3 256 128 3 1 0 0 2 1 1 1 1 0 0");
  EXPECT_EQ(calls("guTexDownloadMipMap").size(), 7u);
}

TEST_F(TextureTable, ReloadingStartsFromAnEmptyTable) {
  ASSERT_TRUE(loadTextures());
  grGlideShutdown(); // the board forgets every texture
  grGlideInit();
  ASSERT_TRUE(loadTextures());
  EXPECT_EQ(textureTableCount(), 7);
  const std::vector<std::string> allocations = calls("guTexAllocateMemory");
  ASSERT_EQ(allocations.size(), 14u);
  const std::string &last = allocations.back();
  EXPECT_EQ(last.substr(last.rfind(' ') + 1), std::to_string(findTexture(110)));
}

TEST_F(TextureTable, UnknownIdsAndFailedLoadsSelectNoTexture) {
  EXPECT_EQ(findTexture(101), -1);
  EXPECT_EQ(findTexture(0), -1) << "empty slots do not answer for id 0";
  EXPECT_EQ(loadTexture(106), -1);
  EXPECT_TRUE(registerTexture(106));
  EXPECT_EQ(textureTableSlot(0).id, 106);
  EXPECT_EQ(textureTableSlot(0).handle, -1);
  EXPECT_EQ(findTexture(106), -1);
  EXPECT_EQ(loadTexture(108), -1) << "the font is not a texture";
  selectTexture(777);
  selectTexture(106);
  EXPECT_EQ(calls("guTexSource"), (std::vector<std::string>{"guTexSource -1", "guTexSource -1"}));
}

TEST_F(TextureTable, SelectingPassesTheRegisteredHandle) {
  ASSERT_TRUE(registerTexture(109));
  ASSERT_TRUE(registerTexture(101));
  const int32_t h101 = findTexture(101);
  ASSERT_GE(h101, 0);
  selectTexture(101);
  selectTextureHandle(findTexture(109));
  EXPECT_EQ(calls("guTexSource"),
            (std::vector<std::string>{"guTexSource " + std::to_string(h101),
                                      "guTexSource " + std::to_string(findTexture(109))}));
}

TEST_F(TextureTable, TwelveSlotsAndNoMore) {
  for (int i = 0; i < TextureTableSlots; ++i) EXPECT_TRUE(registerTexture(200 + i)) << i;
  EXPECT_FALSE(registerTexture(101));
  EXPECT_EQ(textureTableCount(), TextureTableSlots);
  EXPECT_EQ(findTexture(101), -1);
  EXPECT_EQ(findTexture(211), -1);
  EXPECT_EQ(textureTableSlot(11).id, 211);
}

TEST_F(TextureTable, OnlyTheLargestLevelIsAllocatedAndDownloaded) {
  // 256 down to 64: three levels in the record, one on the board.
  std::string file = "3df v1.1\nrgb565\nlod range: 64 256\naspect ratio: 1 1\n";
  std::vector<unsigned char> bytes(file.begin(), file.end());
  bytes.resize(bytes.size() + 86016 * 2, 0x42);
  TextureInfo t;
  ASSERT_TRUE(parseTexture3df(bytes.data(), bytes.size(), t));
  const int32_t handle = downloadTexture(t);
  EXPECT_GE(handle, 0);
  EXPECT_EQ(t.texels, nullptr) << "the texel buffer is given up";
  const std::vector<std::string> allocations = calls("guTexAllocateMemory");
  ASSERT_EQ(allocations.size(), 1u);
  EXPECT_EQ(allocations[0],
            "guTexAllocateMemory 0 3 256 256 10 1 0 0 3 1 1 1 1 0 0 " + std::to_string(handle));
}

TEST_F(TextureTable, OutOfTextureMemoryGivesMinusOne) {
  // 8:1 textures of 256 x 32 in 16 bits; the board's memory runs out at some point.
  std::string file = "3df v1.1\nargb4444\nlod range: 256 256\naspect ratio: 8 1\n";
  std::vector<unsigned char> bytes(file.begin(), file.end());
  bytes.resize(bytes.size() + 256 * 32 * 2, 0);
  int32_t handle = 0;
  int loaded = 0;
  while (handle != -1 && loaded < 10000) {
    TextureInfo t;
    ASSERT_TRUE(parseTexture3df(bytes.data(), bytes.size(), t));
    handle = downloadTexture(t);
    EXPECT_EQ(t.texels, nullptr);
    ++loaded;
  }
  EXPECT_EQ(handle, -1);
  EXPECT_GT(loaded, 7);
}

} // namespace
