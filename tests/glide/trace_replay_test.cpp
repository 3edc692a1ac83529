// The trace's writer and its replay work from one table: whatever the board
// writes, a replay reads back into the same calls. Replays can be stopped,
// cut short or shrunk, and refuse input no trace holds.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "glide/boardstate.h"
#include "glide/trace.h"
#include "glide/tracewrite.h"
#include "tests/glide/boardtest.h"

namespace {

std::string readAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CountingPresenter : FramePresenter {
  int frames = 0, width = 0, height = 0;
  void present(const PresentedFrame &frame) override {
    ++frames;
    width = frame.width;
    height = frame.height;
  }
};

// Two frames that make every traced call the board has, with every kind of
// argument: numbers, floats, vertices, vertex lists, texels and locked pixels.
void everyCall() {
  grGlideInit();
  GrHwConfiguration hw;
  grSstQueryBoards(&hw);
  grSstQueryHardware(&hw);
  grSstSelect(0);
  grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0);
  grSstControl(GR_CONTROL_ACTIVATE);
  grSstScreenWidth();
  grSstScreenHeight();
  grHints(GR_HINT_STWHINT, 0xFFFFFFFFu);
  grDepthBufferMode(GR_DEPTHBUFFER_DISABLE);
  grCullMode(GR_CULL_DISABLE);
  grLfbConstantDepth(65535);
  grRenderBuffer(GR_BUFFER_BACKBUFFER);
  std::vector<uint16_t> texels(64 * 32);
  for (size_t i = 0; i < texels.size(); ++i) texels[i] = (uint16_t)(i * 2654435761u >> 7);
  GrMipMapId_t tex =
      guTexAllocateMemory(GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, 64, 32, GR_TEXFMT_RGB_565, GR_MIPMAP_DISABLE,
                          GR_LOD_64, GR_LOD_64, GR_ASPECT_2x1, GR_TEXTURECLAMP_WRAP, GR_TEXTURECLAMP_CLAMP,
                          GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR, -0.25f, FXFALSE);
  for (int frame = 0; frame < 2; ++frame) {
    grBufferClear(0x00102030u + frame, 0, 0xFFFF);
    grDitherMode(frame ? GR_DITHER_2x2 : GR_DITHER_4x4);
    grColorMask(FXTRUE, FXFALSE);
    guTexDownloadMipMap(tex, texels.data(), nullptr); // the same texels twice: written once
    guTexSource(tex);
    guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
    grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
    guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
    grAlphaTestFunction(GR_CMP_GREATER);
    grAlphaTestReferenceValue(3);
    GrVertex v[5] = {
        screenVertex(10.3f, 20.7f, 255, 10, 0, 200, 0, 0), screenVertex(300.1f, 30, 0, 255, 10, 120, 64, 0),
        screenVertex(320, 400.5f, 10, 0, 255, 255, 64, 32), screenVertex(40, 380, 128, 128, 128, 90, 0, 32),
        screenVertex(5, 200, 1, 2, 3, 4, 1.0f / 3, 7)};
    int index[5] = {4, 0, 1, 2, 3};
    grDrawPolygon(5, index, v);
    grDrawPlanarPolygon(4, index + 1, v);
    grDrawLine(&v[0], &v[2]);
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    grAADrawLine(&v[1], &v[3]);
    grAADrawPoint(&v[4]);
    GrLfbInfo_t info{};
    info.size = sizeof info;
    if (grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_UPPER_LEFT,
                  frame ? FXTRUE : FXFALSE, &info)) {
      for (int x = 0; x < 7; ++x)
        ((uint16_t *)((uint8_t *)info.lfbPtr + 5 * info.strideInBytes))[100 + x] = (uint16_t)(0xF00F + x);
      grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER);
    }
    uint16_t region[4 * 3];
    grLfbReadRegion(GR_BUFFER_BACKBUFFER, 2, 3, 4, 3, 8, region);
    grBufferSwap(1);
  }
  grSstWinClose();
  grGlideShutdown();
}

class TraceReplay : public ::testing::Test {
protected:
  std::string first = ::testing::TempDir() + "board-trace-first.txt";
  std::string again = ::testing::TempDir() + "board-trace-again.txt";
  std::string error;
  void SetUp() override {
    boardSetPresenter(nullptr);
    boardSetRetraceWait(false);
    boardSetPresent(true);
    boardSetType(0);
  }
  void TearDown() override {
    boardSetPresenter(nullptr);
    grGlideShutdown();
    std::remove(first.c_str());
    std::remove(again.c_str());
  }
  // The trace of everyCall, as text.
  std::string recordEveryCall() {
    EXPECT_TRUE(boardStartTrace(first.c_str(), error)) << error;
    everyCall();
    EXPECT_TRUE(boardStopTrace(error)) << error;
    return readAll(first);
  }
};

TEST_F(TraceReplay, AReplayTracedAgainWritesTheSameTrace) {
  const std::string recorded = recordEveryCall();
  for (const char *call : {"grSstScreenWidth\n", "grHints 0 4294967295\n", "texels ", "lfbWrite ",
                           "grDrawPolygon 5 ", "grLfbReadRegion 1 2 3 4 3 8\n", "grBufferSwap 1\n"})
    EXPECT_NE(recorded.find(call), std::string::npos) << call;
  EXPECT_EQ(recorded.find("texels "), recorded.rfind("texels ")); // once per content

  // From the file, then from memory: both go through the same reader.
  ASSERT_TRUE(boardStartTrace(again.c_str(), error)) << error;
  ASSERT_TRUE(boardReplay(first.c_str(), error)) << error;
  ASSERT_TRUE(boardStopTrace(error)) << error;
  EXPECT_TRUE(readAll(again) == recorded);

  ASSERT_TRUE(boardStartTrace(again.c_str(), error)) << error;
  ASSERT_TRUE(boardReplayText(recorded.data(), recorded.size(), "memory", error)) << error;
  ASSERT_TRUE(boardStopTrace(error)) << error;
  EXPECT_EQ(readAll(again), recorded);
}

TEST_F(TraceReplay, ATraceReadAheadReplaysTheSameCallsAndNamesTheLinesThatFail) {
  const std::string recorded = recordEveryCall();
  BoardTrace trace;
  ASSERT_TRUE(boardReadTrace(first.c_str(), trace, error)) << error;
  // Read twice, replayed twice: the same calls each time.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(boardStartTrace(again.c_str(), error)) << error;
    ASSERT_TRUE(boardReplayTrace(trace, error)) << error;
    ASSERT_TRUE(boardStopTrace(error)) << error;
    EXPECT_TRUE(readAll(again) == recorded) << "round " << round;
  }
  CountingPresenter shown;
  boardSetPresenter(&shown);
  BoardReplayControl control;
  control.frameLimit = 1;
  EXPECT_TRUE(boardReplayTrace(trace, error, control)) << error;
  EXPECT_EQ(shown.frames, 1);

  // A line that does not read fails the reading; a call that fails in the
  // replay (texels never recorded) fails the replay; both name their line.
  {
    std::ofstream out(again, std::ios::binary);
    out << "grGlideInit\ngrBufferSwap x\n";
  }
  EXPECT_FALSE(boardReadTrace(again.c_str(), trace, error));
  EXPECT_NE(error.find(again + ":2: "), std::string::npos) << error;
  {
    std::ofstream out(again, std::ios::binary);
    out << "grGlideInit\n# a note\nguTexDownloadMipMap 0 00000000000000aa\n";
  }
  ASSERT_TRUE(boardReadTrace(again.c_str(), trace, error)) << error;
  EXPECT_FALSE(boardReplayTrace(trace, error));
  EXPECT_NE(error.find(again + ":3: no texels recorded"), std::string::npos) << error;
}

TEST_F(TraceReplay, AStopRequestEndsTheReplayAfterTheFrameAsAFailure) {
  const std::string recorded = recordEveryCall();
  CountingPresenter shown;
  boardSetPresenter(&shown);
  BoardReplayControl control;
  control.stopRequested = [] { return true; };
  EXPECT_FALSE(boardReplay(first.c_str(), error, control));
  EXPECT_EQ(shown.frames, 1);
  EXPECT_NE(error.find(first), std::string::npos) << error;
  EXPECT_NE(error.find("stopped after 1 frame"), std::string::npos) << error;
}

TEST_F(TraceReplay, AFrameLimitEndsTheReplayAndAScreenSizeReplacesTheRecordedOne) {
  const std::string recorded = recordEveryCall();
  CountingPresenter shown;
  boardSetPresenter(&shown);
  BoardReplayControl control;
  control.frameLimit = 1;
  control.screenWidth = 52;
  control.screenHeight = 30;
  EXPECT_TRUE(boardReplayText(recorded.data(), recorded.size(), "memory", error, control)) << error;
  EXPECT_EQ(shown.frames, 1);
  EXPECT_EQ(shown.width, 52);
  EXPECT_EQ(shown.height, 30);
  // The next screen opens at its own size again.
  EXPECT_TRUE(boardReplayText(recorded.data(), recorded.size(), "memory", error)) << error;
  EXPECT_EQ(shown.width, 640);
}

// An endless line (a device of zeros, a file with no newline) is refused once
// it outgrows any line a trace holds, without reading on.
TEST_F(TraceReplay, LinesLongerThanAnyTraceLineAreRefused) {
  const std::string zeros(BoardTraceMaxLine + 1, '\0');
  EXPECT_FALSE(boardReplayText(zeros.data(), zeros.size(), "zeros", error));
  EXPECT_NE(error.find("zeros:1: a line longer than"), std::string::npos) << error;

  {
    std::ofstream out(first, std::ios::binary);
    out << "grGlideInit\n" << std::string(3 * BoardTraceMaxLine, '0');
  }
  EXPECT_FALSE(boardReplay(first.c_str(), error));
  EXPECT_NE(error.find(first + ":2: a line longer than"), std::string::npos) << error;

  // The longest real line, the texels of a 256 x 256 texture of 2 bytes, fits.
  const std::string texels = "texels 00000000000000aa 131072 " + std::string(262144, 'c') + "\n";
  EXPECT_TRUE(boardReplayText(texels.data(), texels.size(), "texels", error)) << error;
}

TEST_F(TraceReplay, ArgumentsTheTableDoesNotHaveAreRefused) {
  for (const char *line :
       {"grBufferSwap 1 2\n", "grBufferSwap\n", "grBufferSwap x\n", "grBufferSwap 99999999999999999999\n",
        "guTexDownloadMipMap 0 12345678901234567\n", "guTexDownloadMipMap 0 zz\n", "texels 1 4194305 00\n"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(boardReplayText(line, std::strlen(line), "bad", error));
    EXPECT_EQ(error.rfind("bad:1: ", 0), 0u) << error;
  }
}

// The trace is written through a large buffer: a disk that fills before the
// buffer does fails only when the trace is finished, and that is reported.
TEST_F(TraceReplay, AWriteThatFailsWhenTheTraceIsFinishedIsReported) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100, 100}; // bytes any file may hold
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string message;
    bool started = boardStartTrace(first.c_str(), message);
    for (int i = 0; i < 50; ++i) grSstSelect(i);
    bool stopped = boardStopTrace(message);
    _exit(started && !stopped && message.find(first) != std::string::npos &&
                  message.find("cannot write") != std::string::npos
              ? 0
              : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Nothing runs afterwards, and finishing again is no failure.
  EXPECT_TRUE(boardStopTrace(error)) << error;
}

} // namespace

// A screen opened at a size of its own (frames at a window's size) is traced
// with that size, so that its replay draws at it, and traces again the same.
TEST_F(TraceReplay, AScreenOpenedAtItsOwnSizeReplaysAtThatSize) {
  ASSERT_TRUE(boardStartTrace(first.c_str(), error)) << error;
  boardSetScreenOverride(320, 200);
  grGlideInit();
  grSstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0);
  boardSetScreenOverride(0, 0);
  grBufferClear(0x00102030u, 0, 0);
  grBufferSwap(0);
  grSstWinClose();
  // A later screen at its code's size carries no size of its own.
  grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0);
  grBufferSwap(0);
  grSstWinClose();
  grGlideShutdown();
  ASSERT_TRUE(boardStopTrace(error)) << error;
  const std::string recorded = readAll(first);
  EXPECT_NE(recorded.find("screenSize 320 200\ngrSstWinOpen "), std::string::npos) << recorded;
  EXPECT_EQ(recorded.find("screenSize"), recorded.rfind("screenSize"));

  CountingPresenter shown;
  boardSetPresenter(&shown);
  BoardReplayControl control;
  control.frameLimit = 1;
  ASSERT_TRUE(boardReplayText(recorded.data(), recorded.size(), "memory", error, control)) << error;
  EXPECT_EQ(shown.width, 320);
  EXPECT_EQ(shown.height, 200);
  // The replay's own size still comes first.
  control.screenWidth = 52;
  control.screenHeight = 30;
  ASSERT_TRUE(boardReplayText(recorded.data(), recorded.size(), "memory", error, control)) << error;
  EXPECT_EQ(shown.width, 52);

  grGlideShutdown(); // the cut-short replays left a screen open
  ASSERT_TRUE(boardStartTrace(again.c_str(), error)) << error;
  ASSERT_TRUE(boardReplay(first.c_str(), error)) << error;
  ASSERT_TRUE(boardStopTrace(error)) << error;
  EXPECT_EQ(shown.frames, 4);
  EXPECT_EQ(shown.width, 640); // the second screen at its code's size
  EXPECT_EQ(readAll(again), recorded);
}

namespace {
// What a visitor saw: the calls in order, and some arguments of a few.
struct Seen {
  std::vector<int> calls;
  std::vector<GrVertex> polygon; // the first grDrawPolygon's vertices
  long long swapInterval = -1;
  size_t texelBytes = 0;
  std::vector<uint16_t> pixels; // the first lfbWrite's
  int stopAfter = -1;           // calls to accept before refusing one
};
bool seeCall(void *context, int call, const BoardTraceArgs &a) {
  Seen &s = *static_cast<Seen *>(context);
  if (s.stopAfter >= 0 && (int)s.calls.size() == s.stopAfter) return false;
  s.calls.push_back(call);
  switch ((TraceCall)call) {
  case TraceCall::GrDrawPolygon:
    if (s.polygon.empty()) s.polygon = a.list;
    break;
  case TraceCall::GrBufferSwap: s.swapInterval = a.number[0]; break;
  case TraceCall::Texels: s.texelBytes = a.bytes.size(); break;
  case TraceCall::LfbWrite:
    if (s.pixels.empty()) s.pixels = a.pixels;
    break;
  default: break;
  }
  return true;
}
} // namespace

TEST_F(TraceReplay, AVisitorIsHandedEveryCallInOrderWithItsArgumentsAndNoBoardCallIsMade) {
  const std::string recorded = recordEveryCall();
  BoardTrace trace;
  ASSERT_TRUE(boardReadTrace(first.c_str(), trace, error)) << error;
  CountingPresenter shown;
  boardSetPresenter(&shown);
  Seen seen;
  EXPECT_TRUE(boardVisitTrace(trace, seeCall, &seen));
  EXPECT_EQ(shown.frames, 0); // the board drew nothing
  // One call a line of the trace, in its order.
  size_t lines = 0;
  for (char c : recorded) lines += c == '\n';
  ASSERT_EQ(seen.calls.size(), lines);
  EXPECT_EQ(seen.calls.front(), (int)TraceCall::GrGlideInit);
  EXPECT_EQ(seen.calls.back(), (int)TraceCall::GrGlideShutdown);
  EXPECT_EQ(std::count(seen.calls.begin(), seen.calls.end(), (int)TraceCall::GrBufferSwap), 2);
  EXPECT_EQ(seen.swapInterval, 1);
  EXPECT_EQ(seen.texelBytes, 64u * 32u * 2u);
  // The polygon as drawn: index order 4, 0, 1, 2, 3 of everyCall's vertices.
  ASSERT_EQ(seen.polygon.size(), 5u);
  EXPECT_FLOAT_EQ(seen.polygon[0].x - BoardSnapBias, 5.0f);
  EXPECT_FLOAT_EQ(seen.polygon[0].a, 4.0f);
  EXPECT_FLOAT_EQ(seen.polygon[1].r, 255.0f);
  EXPECT_FLOAT_EQ(seen.polygon[3].b, 255.0f);
  EXPECT_EQ(seen.pixels, (std::vector<uint16_t>{0xF00F, 0xF010, 0xF011, 0xF012, 0xF013, 0xF014, 0xF015}));

  // A visitor that refuses a call ends the walk there.
  Seen cut;
  cut.stopAfter = 3;
  EXPECT_FALSE(boardVisitTrace(trace, seeCall, &cut));
  EXPECT_EQ(cut.calls.size(), 3u);
}
