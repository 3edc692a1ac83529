// The board's drawing threads: work that has been recorded but not yet drawn
// must be drawn before anything reads the buffers, replaces a texture it
// reads, or lets go of tables it holds. Each case runs on one, two and three
// threads and must give the same pixels, and the same values through locks.
#include <cstdlib>
#include <vector>

#include "glide/pipeline.h"
#include "glide/workers.h"
#include "tests/glide/boardtest.h"

namespace {

class BoardThreads : public BoardTest {
protected:
  void TearDown() override {
    BoardTest::TearDown();
    boardSetThreads(0);
  }

  GrMipMapId_t texture(GrTextureFormat_t format, uint32_t seed) {
    GrMipMapId_t id =
        guTexAllocateMemory(GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, 64, 64, format, GR_MIPMAP_NEAREST, GR_LOD_64,
                            GR_LOD_64, GR_ASPECT_1x1, GR_TEXTURECLAMP_CLAMP, GR_TEXTURECLAMP_WRAP,
                            GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
    download(id, seed);
    return id;
  }
  void download(GrMipMapId_t id, uint32_t seed) {
    std::vector<uint16_t> texels(64 * 64);
    for (auto &t : texels) t = (uint16_t)((seed = seed * 1664525u + 1013904223u) >> 9);
    guTexDownloadMipMap(id, texels.data(), nullptr);
  }
  void texturedQuad(float x0, float y0, float x1, float y1, float c, float a) {
    GrVertex v[4] = {screenVertex(x0, y0, c, c * 0.5f, 255, a, 0, 0, 1.0f / 65500),
                     screenVertex(x1, y0, c, c * 0.5f, 255, a, 256, 0, 1.0f / 65500),
                     screenVertex(x1, y1, c, c * 0.5f, 255, a, 256, 256, 0.5f / 65500),
                     screenVertex(x0, y1, c, c * 0.5f, 255, a, 0, 256, 0.5f / 65500)};
    int index[4] = {0, 1, 2, 3};
    grDrawPolygon(4, index, v);
  }

  // Draws the cases on `threads` threads; the back buffer, then what the locks read.
  std::vector<uint16_t> run(int threads) {
    boardSetThreads(threads);
    grDitherMode(GR_DITHER_4x4);
    grBufferClear(0x00102030, 0, 0);
    // More large flat areas of different colours than the board keeps tables for.
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    grAlphaBlendFunction(GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
    for (int k = 0; k < 80; ++k) quad(0, (float)(k * 5), 640, (float)(k * 5 + 90), 0, 0, 0, (float)(120 + k));
    // More grey-textured colours than it keeps tables for, over every band.
    grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
    guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO, GR_BLEND_ZERO);
    GrMipMapId_t grey = texture(GR_TEXFMT_INTENSITY_8, 5);
    guTexSource(grey);
    for (int k = 0; k < 80; ++k)
      texturedQuad((float)(k * 7 % 600), 0, (float)(k * 7 % 600 + 40), 480, (float)(100 + k), 200);
    // A texture drawn with, then given new texels and drawn again; more
    // textures made while draws that read the first are waiting.
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
    GrMipMapId_t colour = texture(GR_TEXFMT_RGB_565, 9);
    guTexSource(colour);
    texturedQuad(20, 20, 300, 460, 255, 180);
    download(colour, 10);
    texturedQuad(200, 10, 620, 300, 200, 160);
    for (int k = 0; k < 6; ++k) texture(GR_TEXFMT_RGB_565, 20 + k);
    texturedQuad(100, 100, 500, 470, 150, 140);
    // Lines and points across every band, textured and not.
    const GrVertex top = screenVertex(5, 2, 255, 255, 255, 255, 0, 0);
    const GrVertex bottom = screenVertex(40, 478, 255, 90, 30, 200, 256, 256);
    grAADrawLine(&top, &bottom);
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    for (int k = 0; k < 50; ++k) {
      GrVertex a = screenVertex((float)(k * 13 % 640), (float)(k * 29 % 480), 200, 255, 90, 220);
      GrVertex b = screenVertex((float)(k * 31 % 640), (float)(k * 17 % 480), 90, 100, 255, 120);
      grDrawLine(&a, &b);
      grAADrawPoint(&b);
    }
    // A lock reads what was drawn before it; pixels written through it stay.
    std::vector<uint16_t> seen;
    GrLfbInfo_t info{};
    info.size = sizeof info;
    EXPECT_TRUE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_LOWER_LEFT,
                          FXFALSE, &info));
    uint16_t *row = (uint16_t *)((uint8_t *)info.lfbPtr + 240 * info.strideInBytes);
    for (int x = 0; x < W; x += 7) seen.push_back(row[x]);
    row[3] = 0x1234;
    EXPECT_TRUE(grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
    quad(0, 230, 10, 250, 255, 255, 255, 40); // over the written pixel
    std::vector<uint16_t> pixels = backBuffer();
    pixels.insert(pixels.end(), seen.begin(), seen.end());
    return pixels;
  }
};

TEST_F(BoardThreads, RecordedWorkIsDrawnBeforeItsBuffersTexturesOrTablesChange) {
  const std::vector<uint16_t> one = run(1);
  for (int threads : {2, 3}) {
    grGlideShutdown();
    SetUp();
    const std::vector<uint16_t> many = run(threads);
    ASSERT_EQ(many.size(), one.size());
    int differing = 0;
    for (size_t i = 0; i < one.size(); ++i) differing += one[i] != many[i];
    EXPECT_EQ(differing, 0) << threads << " threads";
  }
}

// More draws between two drains than one block of the threads' log holds,
// additive so that a draw lost or drawn twice shows; then the screen opened
// again at another size, whose bands are cut anew.
TEST_F(BoardThreads, LongLogsAndANewScreenSizeDrawTheSameOnAnyNumberOfThreads) {
  auto draw = [this](int threads) {
    boardSetThreads(threads);
    std::vector<uint16_t> pixels;
    for (GrScreenResolution_t resolution : {GR_RESOLUTION_640x480, GR_RESOLUTION_800x600}) {
      EXPECT_TRUE(
          grSstWinOpen(0, resolution, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0));
      const int w = (int)grSstScreenWidth(), h = (int)grSstScreenHeight();
      grDitherMode(GR_DITHER_4x4);
      grBufferClear(0x00101010, 0, 0);
      GrMipMapId_t glow = texture(GR_TEXFMT_RGB_565, 3);
      guTexSource(glow);
      grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
      guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
      grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
      for (int k = 0; k < 9000; ++k) {
        const float x = (float)(k * 37 % (w - 24)), y = (float)(k * 53 % (h - 24));
        texturedQuad(x, y, x + 5 + (float)(k % 19), y + 4 + (float)(k % 17), (float)(k % 256), 40);
      }
      std::vector<uint16_t> screen((size_t)w * h);
      EXPECT_TRUE(grLfbReadRegion(GR_BUFFER_BACKBUFFER, 0, 0, w, h, w * 2, screen.data()));
      pixels.insert(pixels.end(), screen.begin(), screen.end());
    }
    return pixels;
  };
  const std::vector<uint16_t> one = draw(1);
  for (int threads : {2, 3}) {
    const std::vector<uint16_t> many = draw(threads);
    ASSERT_EQ(many.size(), one.size());
    int differing = 0;
    for (size_t i = 0; i < one.size(); ++i) differing += one[i] != many[i];
    EXPECT_EQ(differing, 0) << threads << " threads";
  }
}

// Paced frames go to one thread after a run of frames that used under a third
// of their time, and back to every thread as soon as one uses over two thirds.
TEST(PaceState, FramesWithTimeToSpareGoToOneThreadAndALateOneBringsTheOthersBack) {
  PaceState pace;
  const double period = 1.0 / 60;
  for (int i = 1; i < PaceState::CalmFrames; ++i) pace.frameTook(period / 4, period);
  EXPECT_FALSE(pace.alone) << "one calm frame short";
  pace.frameTook(period / 2, period); // neither calm nor late: the run starts again
  for (int i = 1; i < PaceState::CalmFrames; ++i) pace.frameTook(period / 4, period);
  EXPECT_FALSE(pace.alone);
  pace.frameTook(period / 4, period);
  EXPECT_TRUE(pace.alone);
  pace.frameTook(period / 2, period); // a frame in between keeps one thread
  EXPECT_TRUE(pace.alone);
  pace.frameTook(period * 0.7, period);
  EXPECT_FALSE(pace.alone);
  for (int i = 0; i < PaceState::CalmFrames; ++i) pace.frameTook(period / 4, period);
  EXPECT_TRUE(pace.alone);
  pace.frameTook(0.0, 0.0); // frames no longer paced
  EXPECT_FALSE(pace.alone);
}

void noSleep(double) {}

// Frames held to the screen's pace that draw quickly stop recording their
// draws (they land at once, on the calling thread) unless the number of
// threads was chosen; headless frames always use every thread.
TEST_F(BoardThreads, QuickPacedFramesAreDrawnOnTheCallingThreadUnlessAThreadCountWasChosen) {
  if (std::getenv("LUMENVEIL_THREADS") || boardThreadCount() < 2)
    GTEST_SKIP() << "needs the default number of threads, more than one";
  boardSetRetraceSleep(noSleep);
  boardSetRetraceWait(true);
  auto frames = [](int count) {
    for (int i = 0; i < count; ++i) {
      grBufferClear(0, 0, 0);
      grBufferSwap(1);
    }
  };
  EXPECT_TRUE(boardRecording());
  frames(PaceState::CalmFrames + 2);
  EXPECT_FALSE(boardRecording()) << "quick paced frames";
  boardSetRetraceWait(false);
  frames(2);
  EXPECT_TRUE(boardRecording()) << "frames no longer paced";
  boardSetRetraceWait(true);
  boardSetThreads(2);
  frames(PaceState::CalmFrames + 2);
  EXPECT_TRUE(boardRecording()) << "two threads chosen";
  boardSetRetraceSleep(nullptr);
  boardSetRetraceWait(false);
}

} // namespace
