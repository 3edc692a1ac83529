// The board's screen, swap and presentation, texture memory, frame-buffer
// access, and the call trace with its replay.
#include <cstdio>
#include <fstream>
#include <string>

#include "glide/boardstate.h"
#include "glide/trace.h"
#include "tests/glide/boardtest.h"

namespace {

struct RecordingPresenter : FramePresenter {
  std::vector<std::vector<uint16_t>> frames;
  std::vector<uint8_t> gamma;
  void present(const PresentedFrame &frame) override {
    std::vector<uint16_t> px;
    for (int y = 0; y < frame.height; ++y)
      px.insert(px.end(), frame.pixels + y * frame.strideInPixels,
                frame.pixels + y * frame.strideInPixels + frame.width);
    frames.push_back(std::move(px));
    gamma.assign(frame.gamma, frame.gamma + 256);
  }
};

TEST(BoardHardware, ReportsOneAddOnBoardOrNone) {
  boardSetPresent(true);
  boardSetType(0);
  GrHwConfiguration hw;
  ASSERT_TRUE(grSstQueryHardware(&hw));
  EXPECT_EQ(hw.num_sst, 1);
  EXPECT_EQ(hw.SSTs[0].type, GR_SSTTYPE_VOODOO);
  EXPECT_EQ(hw.SSTs[0].tmuRam, 4);
  boardSetType(GR_SSTTYPE_SST96);
  ASSERT_TRUE(grSstQueryHardware(&hw));
  EXPECT_EQ(hw.SSTs[0].type, GR_SSTTYPE_SST96);
  boardSetPresent(false);
  EXPECT_FALSE(grSstQueryHardware(&hw));
  EXPECT_FALSE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR,
                            GR_ORIGIN_LOWER_LEFT, 2, 0));
  boardSetPresent(true);
  boardSetType(0);
  EXPECT_FALSE(grSstWinOpen(0, 99, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0));
  ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR,
                           GR_ORIGIN_LOWER_LEFT, 2, 0));
  EXPECT_EQ(grSstScreenWidth(), 800u);
  EXPECT_EQ(grSstScreenHeight(), 600u);
  grSstWinClose();
  grSstWinClose(); // a second close does nothing
}

using Board = BoardTest;

TEST_F(Board, AClearFillsEveryPixelWithItsColour) {
  // ABGR colours: black and white (pixels of two equal bytes) and others.
  const struct {
    unsigned colour;
    uint16_t pixel;
  } cases[] = {{0x00000000, 0x0000},
               {0x00FFFFFF, 0xFFFF},
               {0x00302010, rgb565(2, 8, 6)},
               {0x00FF0000, rgb565(0, 0, 31)},
               {0x000000FF, rgb565(31, 0, 0)}};
  for (const auto &c : cases) {
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    quad(0, 0, W, H, 90, 90, 90, 255);
    grBufferClear(c.colour, 0, 0);
    const std::vector<uint16_t> px = backBuffer();
    size_t wrong = 0;
    for (uint16_t p : px) wrong += p != c.pixel;
    EXPECT_EQ(wrong, 0u) << std::hex << c.colour;
  }
}

TEST_F(Board, SwapPresentsTheNewFrontBufferWithTheGammaTable) {
  RecordingPresenter presenter;
  boardSetPresenter(&presenter);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  quad(0, 0, 1, 1, 255, 0, 0, 255); // lowest row first: pixel (0, 0) is the first
  grBufferSwap(0);
  grBufferClear(0x00FF0000, 0, 0); // ABGR: blue, into the other buffer
  grBufferSwap(0);
  boardSetPresenter(nullptr);
  ASSERT_EQ(presenter.frames.size(), 2u);
  EXPECT_EQ(presenter.frames[0][0], rgb565(31, 0, 0));
  EXPECT_EQ(presenter.frames[0][1], 0);
  EXPECT_EQ(presenter.frames[1][5], rgb565(0, 0, 31));
  // The first frame is in the back buffer again: double buffering.
  EXPECT_EQ(pixel(0, 0), rgb565(31, 0, 0));
  // Gamma 1.7: 255 (i / 255)^(1 / 1.7), rounded.
  ASSERT_EQ(presenter.gamma.size(), 256u);
  EXPECT_EQ(presenter.gamma[0], 0);
  EXPECT_EQ(presenter.gamma[64], 113);
  EXPECT_EQ(presenter.gamma[128], 170);
  EXPECT_EQ(presenter.gamma[255], 255);
}

std::vector<double> Sleeps;
void recordSleep(double seconds) { Sleeps.push_back(seconds); }

TEST_F(Board, SwapWaitsForTheGivenNumberOfRetraces) {
  // 60 Hz: a retrace every 1/60 s from the moment the screen was opened.
  boardSetRetraceSleep(recordSleep);
  boardSetRetraceWait(true);
  Sleeps.clear();
  grBufferSwap(0); // at once
  EXPECT_TRUE(Sleeps.empty());
  grBufferSwap(1); // until the next retrace
  grBufferSwap(3); // until the third from now
  boardSetRetraceWait(false);
  grBufferSwap(2); // a run that does not wait
  boardSetRetraceSleep(nullptr);
  const double period = 1.0 / 60;
  ASSERT_EQ(Sleeps.size(), 2u);
  EXPECT_GT(Sleeps[0], 0.0);
  EXPECT_LE(Sleeps[0], period + 1e-9);
  EXPECT_GT(Sleeps[1], 2 * period);
  EXPECT_LE(Sleeps[1], 3 * period + 1e-9);
}

TEST_F(Board, TextureMemoryRunsOutAtFourMegabytes) {
  auto allocate = [] {
    return guTexAllocateMemory(GR_TMU0, 3, 256, 256, GR_TEXFMT_RGB_565, GR_MIPMAP_NEAREST, GR_LOD_256,
                               GR_LOD_256, GR_ASPECT_1x1, 1, 1, 1, 1, 0.0f, FXFALSE);
  };
  // 32 textures of 128 KB fill the 4 MB; the next one gets no memory.
  std::vector<GrMipMapId_t> ids;
  for (int i = 0; i < 32; ++i) ids.push_back(allocate());
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_NE(ids[i], GR_NULL_MIPMAP_HANDLE) << i;
  EXPECT_EQ(allocate(), GR_NULL_MIPMAP_HANDLE);
  // A format the board has no tables for is refused.
  EXPECT_EQ(guTexAllocateMemory(GR_TMU0, 3, 8, 8, GR_TEXFMT_P_8, 0, GR_LOD_8, GR_LOD_8, GR_ASPECT_1x1, 1, 1,
                                1, 1, 0.0f, FXFALSE),
            GR_NULL_MIPMAP_HANDLE);
}

TEST_F(Board, SelectingNoTextureKeepsThePreviousOne) {
  std::vector<uint16_t> red(256 * 256, rgb565(31, 0, 0)), green(256 * 256, rgb565(0, 63, 0));
  GrMipMapId_t a =
      guTexAllocateMemory(GR_TMU0, 3, 256, 256, GR_TEXFMT_RGB_565, 1, 0, 0, 3, 1, 1, 1, 1, 0.0f, FXFALSE);
  GrMipMapId_t b =
      guTexAllocateMemory(GR_TMU0, 3, 256, 256, GR_TEXFMT_RGB_565, 1, 0, 0, 3, 1, 1, 1, 1, 0.0f, FXFALSE);
  guTexDownloadMipMap(a, red.data(), nullptr);
  guTexDownloadMipMap(b, green.data(), nullptr);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  guTexSource(a);
  guTexSource(GR_NULL_MIPMAP_HANDLE);
  GrVertex v[3] = {screenVertex(0, 0, 255, 255, 255, 255, 0, 0), screenVertex(8, 0, 255, 255, 255, 255, 8, 0),
                   screenVertex(0, 8, 255, 255, 255, 255, 0, 8)};
  int index[3] = {0, 1, 2};
  grDrawPolygon(3, index, v);
  EXPECT_EQ(pixel(1, 1), rgb565(31, 0, 0));
  // A download replaces the texels of a handle.
  guTexDownloadMipMap(a, green.data(), nullptr);
  grDrawPolygon(3, index, v);
  EXPECT_EQ(pixel(1, 1), rgb565(0, 63, 0));
}

TEST_F(Board, FrameBufferReadsAndWrites) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  quad(10, 20, 11, 21, 255, 255, 255, 255);
  grBufferSwap(0);
  // Region reads count rows from the top (the screen is 640 x 480 here):
  // rows 458..460 from the top are rows 21..19 from the bottom, and the
  // pixel at row 20 from the bottom is in the middle one.
  uint16_t region[4 * 3] = {};
  ASSERT_TRUE(grLfbReadRegion(GR_BUFFER_FRONTBUFFER, 9, 458, 4, 3, 8, region));
  EXPECT_EQ(region[1 * 4 + 1], 0xFFFF);
  EXPECT_EQ(region[0], 0);
  EXPECT_FALSE(grLfbReadRegion(GR_BUFFER_FRONTBUFFER, 630, 0, 20, 1, 40, region));

  // A write lock through the pixel pipeline with the text blend (one, source
  // alpha): written pixels saturate to white, the rest stay as they were.
  fill(rgb565(4, 8, 4));
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  GrLfbInfo_t info{};
  info.size = sizeof info;
  ASSERT_TRUE(
      grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY, FXTRUE, &info));
  EXPECT_EQ(info.strideInBytes, (FxU32)(W * 2));
  uint16_t *row = (uint16_t *)((uint8_t *)info.lfbPtr + 5 * info.strideInBytes);
  row[7] = 0xFFFF;
  row[8] = rgb565(8, 0, 0); // 66 + 33 (dst 33 * 256 >> 8) = 99 red, 0 + 32 green, 0 + 33 blue
  ASSERT_TRUE(grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
  EXPECT_EQ(pixel(7, 5), 0xFFFF);
  EXPECT_EQ(pixel(8, 5), rgb565(99 >> 3, 32 >> 2, 33 >> 3));
  EXPECT_EQ(pixel(6, 5), rgb565(4, 8, 4));
  EXPECT_EQ(pixel(7, 6), rgb565(4, 8, 4));
  // Unlocking twice fails the second time.
  EXPECT_FALSE(grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
}

TEST_F(Board, LocksWithoutThePipelineAndWithTheOtherOrigin) {
  // A plain write lock stores the pixels as they are, blend or no blend.
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  fill(rgb565(4, 8, 4));
  GrLfbInfo_t info{};
  info.size = sizeof info;
  ASSERT_TRUE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_LOWER_LEFT,
                        FXFALSE, &info));
  ((uint16_t *)((uint8_t *)info.lfbPtr + 2 * info.strideInBytes))[3] = rgb565(1, 2, 3);
  ASSERT_TRUE(grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
  EXPECT_EQ(pixel(3, 2), rgb565(1, 2, 3));
  // With the upper-left origin row 0 of the lock is the top row of the screen.
  ASSERT_TRUE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_UPPER_LEFT,
                        FXFALSE, &info));
  EXPECT_EQ(info.origin, GR_ORIGIN_UPPER_LEFT);
  ((uint16_t *)info.lfbPtr)[5] = rgb565(7, 7, 7);
  ASSERT_TRUE(grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
  EXPECT_EQ(pixel(5, H - 1), rgb565(7, 7, 7));
  EXPECT_EQ(pixel(5, 0), rgb565(4, 8, 4));
  // A read lock sees the buffer; a second lock while one is held is refused.
  ASSERT_TRUE(
      grLfbLock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_ANY, GR_ORIGIN_ANY, FXFALSE, &info));
  const uint16_t *rows = (const uint16_t *)info.lfbPtr;
  EXPECT_EQ(rows[2 * (info.strideInBytes / 2) + 3], rgb565(1, 2, 3));
  GrLfbInfo_t other{};
  EXPECT_FALSE(
      grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY, FXTRUE, &other));
  ASSERT_TRUE(grLfbUnlock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER));
  // Only RGB 565 writes are offered.
  EXPECT_FALSE(
      grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_888, GR_ORIGIN_ANY, FXTRUE, &info));
}

// Draws a little of everything: state, textures, polygons, lines, points, text.
void drawSample(int frame) {
  std::vector<uint16_t> texels(256 * 256);
  for (int i = 0; i < 256 * 256; ++i) texels[i] = (uint16_t)(i * 40503u);
  GrMipMapId_t id =
      guTexAllocateMemory(GR_TMU0, 3, 256, 256, GR_TEXFMT_RGB_565, 1, 0, 0, 3, 1, 1, 1, 1, 0.0f, FXFALSE);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  for (int f = 0; f < 2; ++f) {
    guTexSource(id);
    grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
    guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
    grDitherMode(GR_DITHER_4x4);
    GrVertex v[4] = {screenVertex(30.3f + frame, 40.7f, 200, 100, 50, 180, 0, 0),
                     screenVertex(130.1f, 44.2f, 20, 255, 90, 120, 256, 0, 0.5f / 65500),
                     screenVertex(120.9f, 150.4f, 255, 255, 255, 255, 256, 256),
                     screenVertex(25.5f, 140.5f, 0, 0, 255, 60, 0, 256)};
    int index[4] = {0, 1, 2, 3};
    grDrawPolygon(4, index, v);
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    GrVertex a = screenVertex(200.25f, 100.5f, 255, 128, 0, 255),
             b = screenVertex(260.75f, 130.125f, 0, 128, 255, 100);
    grAADrawLine(&a, &b);
    grDrawLine(&a, &b);
    grAADrawPoint(&b);
    grLfbConstantDepth(0xFFFF);
    grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
    GrLfbInfo_t info{};
    info.size = sizeof info;
    if (grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY, FXTRUE,
                  &info)) {
      for (int x = 0; x < 9; ++x)
        ((uint16_t *)((uint8_t *)info.lfbPtr + 3 * info.strideInBytes))[x + 1] = 0xFFFF;
      grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER);
    }
    grBufferSwap(0);
    grColorMask(FXTRUE, FXFALSE);
    GrVertex fade[4] = {screenVertex(0, 0, 0, 0, 0, 145), screenVertex(640, 0, 0, 0, 0, 145),
                        screenVertex(640, 480, 0, 0, 0, 145), screenVertex(0, 480, 0, 0, 0, 145)};
    grAlphaBlendFunction(GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
    grDrawPlanarPolygon(4, index, fade);
  }
}

TEST(BoardTrace, AReplayedTraceReproducesEveryFrame) {
  std::string path = testing::TempDir() + "board-trace.txt";
  boardSetRetraceWait(false);
  boardSetPresent(true);
  RecordingPresenter recorded, replayed;
  std::string error;
  ASSERT_TRUE(boardStartTrace(path.c_str(), error)) << error;
  boardSetPresenter(&recorded);
  grGlideInit();
  GrHwConfiguration hw;
  grSstQueryHardware(&hw);
  grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0);
  drawSample(0);
  drawSample(1);
  grGlideShutdown();
  ASSERT_TRUE(boardStopTrace(error)) << error;

  boardSetPresenter(&replayed);
  ASSERT_TRUE(boardReplay(path.c_str(), error)) << error;
  boardSetPresenter(nullptr);
  ASSERT_EQ(recorded.frames.size(), 4u);
  ASSERT_EQ(replayed.frames.size(), recorded.frames.size());
  for (size_t i = 0; i < recorded.frames.size(); ++i)
    EXPECT_TRUE(recorded.frames[i] == replayed.frames[i]) << "frame " << i;

  // The trace is readable text: names, arguments, floats with nine digits.
  std::ifstream in(path);
  std::string line, all;
  while (std::getline(in, line))
    if (line.rfind("texels", 0) != 0) all += line + "\n";
  EXPECT_NE(all.find("grSstWinOpen 0 7 0 1 1 2 0\n"), std::string::npos);
  EXPECT_NE(all.find("grAADrawPoint 524548.75 524418.125 0 128 255 100 1.52671764e-05 0 0\n"),
            std::string::npos);
  EXPECT_NE(all.find("lfbWrite 1 3 9 ffff"), std::string::npos);
  std::remove(path.c_str());
}

TEST(BoardTrace, BadTracesAreRefusedWithTheLine) {
  std::string path = testing::TempDir() + "board-bad-trace.txt";
  {
    std::ofstream out(path);
    out << "grGlideInit\n# a comment\ngrDitherMode 2\ngrFrobnicate 1\n";
  }
  std::string error;
  EXPECT_FALSE(boardReplay(path.c_str(), error));
  EXPECT_NE(error.find(":4:"), std::string::npos) << error;
  EXPECT_NE(error.find("grFrobnicate"), std::string::npos) << error;
  EXPECT_FALSE(boardReplay((path + ".missing").c_str(), error));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  {
    std::ofstream out(path);
    out << "grDrawLine 1 2 3\n";
  }
  EXPECT_FALSE(boardReplay(path.c_str(), error));
  EXPECT_NE(error.find(":1:"), std::string::npos) << error;
  grGlideShutdown();
  std::remove(path.c_str());
}

} // namespace
