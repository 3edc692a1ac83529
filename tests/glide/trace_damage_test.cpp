// Traces that were cut, edited or put together by hand: refused with the
// line, or replayed without the board touching memory it does not own.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "glide/glide.h"
#include "glide/presenter.h"
#include "glide/trace.h"

namespace {

const char *const Open640 = "grGlideInit\n"
                            "grSstQueryHardware\n"
                            "grSstWinOpen 0 7 0 1 1 2 0\n";

class DamagedTrace : public ::testing::Test {
protected:
  std::string path = testing::TempDir() + "board-damaged-trace.txt";
  std::string error;
  void SetUp() override {
    boardSetPresenter(nullptr);
    boardSetRetraceWait(false);
    boardSetPresent(true);
  }
  void TearDown() override {
    grGlideShutdown();
    std::remove(path.c_str());
  }
  bool replay(const std::string &text) {
    std::ofstream(path) << text;
    error.clear();
    return boardReplay(path.c_str(), error);
  }
};

// The board reads a texture's whole largest level from the recorded texels.
TEST_F(DamagedTrace, TexelsShorterThanTheirTextureAreRefused) {
  const std::string allocate = "guTexAllocateMemory 0 3 8 8 2 1 8 5 3 1 1 1 1 0 0 0\n"; // 8 x 8, a8
  EXPECT_FALSE(replay(std::string(Open640) + allocate + "texels 00000000000000aa 2 0102\n" +
                      "guTexDownloadMipMap 0 00000000000000aa\n"));
  EXPECT_NE(error.find(":6:"), std::string::npos) << error;
  EXPECT_NE(error.find("fewer than the texture holds"), std::string::npos) << error;

  std::string enough = "texels 00000000000000bb 64 " + std::string(128, '7') + "\n";
  EXPECT_TRUE(replay(std::string(Open640) + allocate + enough + "guTexDownloadMipMap 0 00000000000000bb\n"))
      << error;
}

// Closing or reopening the screen ends a frame-buffer lock; pixels recorded
// after that have nowhere to go and are dropped.
TEST_F(DamagedTrace, PixelsAfterTheLockEndedAreDropped) {
  for (const char *between : {"grSstWinOpen 0 14 0 1 1 2 0\n", "grSstWinClose\n", "grGlideShutdown\n"}) {
    SCOPED_TRACE(between);
    EXPECT_TRUE(replay(std::string(Open640) + "grLfbLock 1 1 0 0 0\n" + between +
                       "lfbWrite 600 400 2 ffff0000\n"
                       "grLfbUnlock 1 1\n"))
        << error;
  }
}

// A folder, an empty file, or a file of comments holds no board call: a replay
// of it has nothing to show and says so, naming the file.
TEST_F(DamagedTrace, AFolderOrAFileWithoutCallsIsNoTrace) {
  EXPECT_FALSE(boardReplay(testing::TempDir().c_str(), error));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  for (const char *text : {"", "\n\n", "# only a comment\n   \n"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(replay(text));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("no board call"), std::string::npos) << error;
  }
}

TEST_F(DamagedTrace, PixelCountsThatDoNotMatchTheirDataAreRefused) {
  for (const char *line : {"lfbWrite 0 0 4611686018427387905 ffff\n", "lfbWrite 0 0 -1 ffff\n",
                           "lfbWrite 0 0 2 ffff\n", "lfbWrite 0 0 1 fffff\n"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(replay(std::string(Open640) + "grLfbLock 1 1 0 0 0\n" + line));
    EXPECT_NE(error.find("bad pixel data"), std::string::npos) << error;
  }
  // Far outside the screen: nothing is written, the replay goes on.
  EXPECT_TRUE(replay(std::string(Open640) + "grLfbLock 1 1 0 0 0\n" +
                     "lfbWrite 9223372036854775807 0 1 ffff\nlfbWrite 639 479 1 ffff\n" +
                     "grLfbUnlock 1 1\n"))
      << error;
}

} // namespace
