// The board: its context, the screen, the two colour buffers, the swap and
// the render state that the pixel pipeline reads.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <thread>

#include "glide/boardstate.h"
#include "glide/texels.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "glide/tracewrite.h"
#include "glide/workers.h"

BoardContext Board;

namespace {

FramePresenter *Presenter = nullptr;
void (*RetraceSleep)(double seconds) = nullptr; // null: the thread sleeps
int OverrideWidth = 0, OverrideHeight = 0;      // 0: screens open at their resolution
double OverrideHz = 0.0;                        // 0: screens open at their refresh rate

// The video output's gamma: the board sets 1.7 when a screen is opened.
uint8_t GammaTable[256];
bool GammaReady = false;

void buildGamma() {
  if (GammaReady) return;
  for (int i = 0; i < 256; ++i) {
    double v = 255.0 * std::pow(i / 255.0, 1.0 / 1.7);
    GammaTable[i] = (uint8_t)std::min(255.0, std::floor(v + 0.5));
  }
  GammaReady = true;
}

double steadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Waits until the interval-th vertical retrace from now. Retraces fall on a
// grid of the refresh period counted from the moment the screen was opened.
void waitRetraces(int interval) {
  if (interval <= 0 || !Board.retraceWait || Board.refreshHz <= 0.0) return;
  double period = 1.0 / Board.refreshHz;
  double now = steadySeconds();
  double since = now - Board.openedAt;
  double next = std::floor(since / period) + 1.0;
  double target = Board.openedAt + (next + interval - 1) * period;
  if (RetraceSleep)
    RetraceSleep(target - now);
  else
    std::this_thread::sleep_for(std::chrono::duration<double>(target - now));
}

void resetRenderState() {
  Board.renderBuffer = GR_BUFFER_BACKBUFFER;
  Board.rgbMask = true;
  Board.alphaMask = false;
  Board.ditherMode = GR_DITHER_4x4;
  Board.depthMode = GR_DEPTHBUFFER_DISABLE;
  Board.cullMode = GR_CULL_DISABLE;
  Board.colorCombine = GR_COLORCOMBINE_ITRGB;
  Board.texCombine = GR_TEXTURECOMBINE_DECAL;
  Board.alphaSource = GR_ALPHASOURCE_ITERATED_ALPHA;
  Board.rgbSrc = GR_BLEND_ONE;
  Board.rgbDst = GR_BLEND_ZERO;
  Board.alphaSrc = GR_BLEND_ONE;
  Board.alphaDst = GR_BLEND_ZERO;
  Board.alphaFunc = GR_CMP_ALWAYS;
  Board.alphaRef = 0;
  Board.lfbDepth = 0;
  Board.currentTexture = -1;
}

// A clear of the rows of one band.
struct ClearJob {
  uint16_t *target;
  int width, height;
  uint16_t pixel;
};

// Fills n pixels with one value: by bytes when its two bytes are the same
// (black), else eight bytes at a time.
void fillPixels(uint16_t *p, size_t n, uint16_t v) {
  if ((v & 0xFF) == (v >> 8)) {
    std::memset(p, v & 0xFF, n * 2);
    return;
  }
  for (; n > 0 && ((uintptr_t)p & 7) != 0; --n) *p++ = v;
  const uint64_t four = 0x0001000100010001ull * v;
  for (; n >= 4; n -= 4, p += 4) std::memcpy(p, &four, 8);
  for (; n > 0; --n) *p++ = v;
}

void clearRows(const ClearJob &c, const Band &band) {
  const int first = std::max(band.first, 0), last = std::min(band.last, c.height - 1);
  if (first <= last)
    fillPixels(c.target + (size_t)first * c.width, (size_t)(last - first + 1) * c.width, c.pixel);
}

void runClearJob(const void *job, const Band &band) { clearRows(*static_cast<const ClearJob *>(job), band); }

void releaseTextures() {
  Board.textures.clear();
  Board.textureBytesUsed = 0;
  Board.currentTexture = -1;
}

} // namespace

uint16_t *boardBuffer(int buffer) {
  if (!Board.open) return nullptr;
  int index = buffer == GR_BUFFER_FRONTBUFFER ? Board.frontIndex : 1 - Board.frontIndex;
  return Board.buffers[index].data();
}

uint16_t *boardRenderTarget() { return boardBuffer(Board.renderBuffer); }

// ---- The board's own controls -------------------------------------------------

void boardSetPresenter(FramePresenter *presenter) { Presenter = presenter; }
void boardSetRetraceWait(bool wait) { Board.retraceWait = wait; }
void boardSetPresent(bool present) { Board.present = present; }
void boardSkipFrames(int frames) { Board.skipSwaps = frames > 0 ? frames : 0; }
void boardSetType(int type) { Board.boardType = type; }
void boardSetRetraceSleep(void (*sleep)(double seconds)) { RetraceSleep = sleep; }
void boardSetRefreshOverride(double hz) { OverrideHz = hz > 0.0 && hz <= 1000.0 ? hz : 0.0; }
BoardRenderState boardRenderState() {
  const BoardContext &b = Board;
  return BoardRenderState{b.renderBuffer, b.ditherMode,  b.depthMode, b.cullMode,       b.colorCombine,
                          b.texCombine,   b.alphaSource, b.rgbSrc,    b.rgbDst,         b.alphaSrc,
                          b.alphaDst,     b.alphaFunc,   b.alphaRef,  b.currentTexture, b.rgbMask,
                          b.alphaMask,    b.lfbDepth};
}
void boardSetScreenOverride(int width, int height) {
  const bool valid = width > 0 && height > 0 && width <= BoardMaxScreenSide && height <= BoardMaxScreenSide;
  OverrideWidth = valid ? width : 0;
  OverrideHeight = valid ? height : 0;
}

// ---- Board and display ----------------------------------------------------------

void grGlideInit(void) {
  if (BoardTraceFile) traceCall(TraceCall::GrGlideInit, {});
  buildGamma();
  Board.initialised = true;
}

void grGlideShutdown(void) {
  if (BoardTraceFile) traceCall(TraceCall::GrGlideShutdown, {});
  boardDrain();
  if (Board.open) grSstWinClose();
  releaseTextures();
  Board.initialised = false;
}

FxBool grSstQueryBoards(GrHwConfiguration *hwconfig) {
  if (BoardTraceFile) traceCall(TraceCall::GrSstQueryBoards, {});
  if (!hwconfig) return FXFALSE;
  std::memset(hwconfig, 0, sizeof(*hwconfig));
  hwconfig->num_sst = Board.present ? 1 : 0;
  return FXTRUE;
}

FxBool grSstQueryHardware(GrHwConfiguration *hwconfig) {
  if (BoardTraceFile) traceCall(TraceCall::GrSstQueryHardware, {});
  if (!hwconfig) return FXFALSE;
  std::memset(hwconfig, 0, sizeof(*hwconfig));
  if (!Board.present) return FXFALSE;
  hwconfig->num_sst = 1;
  hwconfig->SSTs[0].type = Board.boardType;
  hwconfig->SSTs[0].fbRam = 4;
  hwconfig->SSTs[0].fbiRev = 2;
  hwconfig->SSTs[0].nTexelfx = 1;
  hwconfig->SSTs[0].tmuRam = (int)(BoardTextureMemory / (1024 * 1024));
  return FXTRUE;
}

void grSstSelect(int which_sst) {
  if (BoardTraceFile) traceCall(TraceCall::GrSstSelect, {which_sst});
}

FxBool grSstWinOpen(FxU32 hWnd, GrScreenResolution_t screen_resolution, GrScreenRefresh_t refresh_rate,
                    GrColorFormat_t color_format, GrOriginLocation_t origin_location, int nColBuffers,
                    int nAuxBuffers) {
  if (BoardTraceFile && OverrideWidth) traceCall(TraceCall::ScreenSize, {OverrideWidth, OverrideHeight});
  if (BoardTraceFile)
    traceCall(TraceCall::GrSstWinOpen, {hWnd, screen_resolution, refresh_rate, color_format, origin_location,
                                        nColBuffers, nAuxBuffers});
  if (!Board.present) return FXFALSE;
  if (screen_resolution < 0 || screen_resolution >= (int)std::size(BoardResolutions)) return FXFALSE;
  if (refresh_rate < 0 || refresh_rate >= (int)std::size(BoardRefreshHz)) return FXFALSE;
  if (nColBuffers < 2 || nColBuffers > 3 || nAuxBuffers < 0 || nAuxBuffers > 1) return FXFALSE;
  boardDrain();
  if (Board.open) grSstWinClose();
  buildGamma();
  Board.width = OverrideWidth ? OverrideWidth : BoardResolutions[screen_resolution].width;
  Board.height = OverrideHeight ? OverrideHeight : BoardResolutions[screen_resolution].height;
  Board.refreshHz = OverrideHz > 0.0 ? OverrideHz : BoardRefreshHz[refresh_rate];
  Board.colorFormat = color_format;
  Board.origin = origin_location == GR_ORIGIN_UPPER_LEFT ? GR_ORIGIN_UPPER_LEFT : GR_ORIGIN_LOWER_LEFT;
  for (auto &buffer : Board.buffers) buffer.assign((size_t)Board.width * Board.height, 0);
  Board.frontIndex = 0;
  Board.open = true;
  Board.outputActive = true;
  Board.openedAt = steadySeconds();
  Board.frameStartedAt = 0.0;
  Board.lfb = BoardLfbLock();
  resetRenderState();
  return FXTRUE;
}

void grSstWinClose(void) {
  if (BoardTraceFile) traceCall(TraceCall::GrSstWinClose, {});
  if (!Board.open) return;
  boardDrain();
  Board.open = false;
  for (auto &buffer : Board.buffers) {
    buffer.clear();
    buffer.shrink_to_fit();
  }
  Board.lfb = BoardLfbLock();
  Board.width = Board.height = 0;
}

FxBool grSstControl(GrControl_t code) {
  if (BoardTraceFile) traceCall(TraceCall::GrSstControl, {code});
  if (code == GR_CONTROL_ACTIVATE)
    Board.outputActive = true;
  else if (code == GR_CONTROL_DEACTIVATE)
    Board.outputActive = false;
  return Board.open ? FXTRUE : FXFALSE;
}

FxU32 grSstScreenWidth(void) {
  if (BoardTraceFile) traceCall(TraceCall::GrSstScreenWidth, {});
  return (FxU32)Board.width;
}

FxU32 grSstScreenHeight(void) {
  if (BoardTraceFile) traceCall(TraceCall::GrSstScreenHeight, {});
  return (FxU32)Board.height;
}

// ---- Frame ------------------------------------------------------------------------

void boardColorChannels(GrColor_t color, GrColorFormat_t format, unsigned &r, unsigned &g, unsigned &b) {
  switch (format) {
  case GR_COLORFORMAT_ABGR:
    r = color & 0xFF;
    g = (color >> 8) & 0xFF;
    b = (color >> 16) & 0xFF;
    break;
  case GR_COLORFORMAT_RGBA:
    r = (color >> 24) & 0xFF;
    g = (color >> 16) & 0xFF;
    b = (color >> 8) & 0xFF;
    break;
  case GR_COLORFORMAT_BGRA:
    b = (color >> 24) & 0xFF;
    g = (color >> 16) & 0xFF;
    r = (color >> 8) & 0xFF;
    break;
  default:
    r = (color >> 16) & 0xFF;
    g = (color >> 8) & 0xFF;
    b = color & 0xFF;
    break;
  }
}

void grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth) {
  if (BoardTraceFile && !Board.skipSwaps) traceCall(TraceCall::GrBufferClear, {color, alpha, depth});
  uint16_t *target = boardRenderTarget();
  if (!target || !Board.rgbMask || !boardDrawing()) return;
  unsigned r, g, b;
  boardColorChannels(color, Board.colorFormat, r, g, b);
  ClearJob job;
  job.target = target;
  job.width = Board.width;
  job.height = Board.height;
  job.pixel = (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
  if (boardRecording())
    new (boardRecordJob(runClearJob, sizeof job, 0, job.height - 1)) ClearJob(job);
  else
    clearRows(job, Band());
}

void grBufferSwap(int swap_interval) {
  if (BoardTraceFile && !Board.skipSwaps) traceCall(TraceCall::GrBufferSwap, {swap_interval});
  if (!Board.open) return;
  if (Board.skipSwaps > 0) {
    // A frame worked out without drawing: the buffers keep what they hold.
    --Board.skipSwaps;
    Board.frameStartedAt = 0.0;
    return;
  }
  boardDrain();
  // Frames held to the screen's pace need the other drawing threads only
  // while they would be late without them.
  const double drawnAt = steadySeconds();
  const bool paced = Board.retraceWait && swap_interval > 0 && Board.refreshHz > 0.0;
  if (Board.frameStartedAt > 0.0)
    boardPaceFrame(drawnAt - Board.frameStartedAt, paced ? swap_interval / Board.refreshHz : 0.0);
  waitRetraces(swap_interval);
  Board.frontIndex = 1 - Board.frontIndex;
  if (Presenter) {
    PresentedFrame frame;
    frame.pixels = Board.buffers[Board.frontIndex].data();
    frame.width = Board.width;
    frame.height = Board.height;
    frame.strideInPixels = Board.width;
    frame.gamma = GammaTable;
    Presenter->present(frame);
  }
  Board.frameStartedAt = steadySeconds();
}

void grRenderBuffer(GrBuffer_t buffer) {
  if (BoardTraceFile) traceCall(TraceCall::GrRenderBuffer, {buffer});
  if (buffer == GR_BUFFER_FRONTBUFFER || buffer == GR_BUFFER_BACKBUFFER) Board.renderBuffer = buffer;
}

void grColorMask(FxBool rgb, FxBool a) {
  if (BoardTraceFile) traceCall(TraceCall::GrColorMask, {rgb, a});
  Board.rgbMask = rgb != 0;
  Board.alphaMask = a != 0;
}

void grDitherMode(GrDitherMode_t mode) {
  if (BoardTraceFile) traceCall(TraceCall::GrDitherMode, {mode});
  if (mode >= GR_DITHER_DISABLE && mode <= GR_DITHER_4x4) Board.ditherMode = mode;
}

void grDepthBufferMode(GrDepthBufferMode_t mode) {
  if (BoardTraceFile) traceCall(TraceCall::GrDepthBufferMode, {mode});
  Board.depthMode = mode; // there is no depth buffer: accepted and ignored
}

void grCullMode(GrCullMode_t mode) {
  if (BoardTraceFile) traceCall(TraceCall::GrCullMode, {mode});
  if (mode >= GR_CULL_DISABLE && mode <= GR_CULL_POSITIVE) Board.cullMode = mode;
}

void grHints(GrHint_t hintType, FxU32 hintMask) {
  if (BoardTraceFile) traceCall(TraceCall::GrHints, {hintType, hintMask});
}

// ---- Combine and blend state ----------------------------------------------------

void guColorCombineFunction(GrColorCombineFunction_t fnc) {
  if (BoardTraceFile) traceCall(TraceCall::GuColorCombineFunction, {fnc});
  if (fnc >= GR_COLORCOMBINE_ZERO && fnc <= GR_COLORCOMBINE_ONE) Board.colorCombine = fnc;
}

void grTexCombineFunction(GrChipID_t tmu, GrTextureCombineFnc_t fnc) {
  if (BoardTraceFile) traceCall(TraceCall::GrTexCombineFunction, {tmu, fnc});
  if (tmu == GR_TMU0 && fnc >= GR_TEXTURECOMBINE_ZERO && fnc <= GR_TEXTURECOMBINE_ONE) Board.texCombine = fnc;
}

void guAlphaSource(GrAlphaSource_t mode) {
  if (BoardTraceFile) traceCall(TraceCall::GuAlphaSource, {mode});
  if (mode >= GR_ALPHASOURCE_CC_ALPHA && mode <= GR_ALPHASOURCE_TEXTURE_ALPHA_TIMES_ITERATED_ALPHA)
    Board.alphaSource = mode;
}

void grAlphaBlendFunction(GrAlphaBlendFnc_t rgb_sf, GrAlphaBlendFnc_t rgb_df, GrAlphaBlendFnc_t alpha_sf,
                          GrAlphaBlendFnc_t alpha_df) {
  if (BoardTraceFile) traceCall(TraceCall::GrAlphaBlendFunction, {rgb_sf, rgb_df, alpha_sf, alpha_df});
  Board.rgbSrc = rgb_sf;
  Board.rgbDst = rgb_df;
  Board.alphaSrc = alpha_sf;
  Board.alphaDst = alpha_df;
}

void grAlphaTestFunction(GrCmpFnc_t function) {
  if (BoardTraceFile) traceCall(TraceCall::GrAlphaTestFunction, {function});
  if (function >= GR_CMP_NEVER && function <= GR_CMP_ALWAYS) Board.alphaFunc = function;
}

void grAlphaTestReferenceValue(GrAlpha_t value) {
  if (BoardTraceFile) traceCall(TraceCall::GrAlphaTestReferenceValue, {value});
  Board.alphaRef = value;
}
