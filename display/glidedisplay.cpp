#include "display/glidedisplay.h"

#include <algorithm>
#include <vector>

#include "glide/extension.h"
#include "math/camera.h"
#include "platform/application.h"

namespace {
// Sizes and rates come from the board's own tables.
constexpr DisplayModeEntry mode(int code) {
  return {code, BoardResolutions[code].width, BoardResolutions[code].height};
}
constexpr RefreshEntry refresh(int code) { return {code, BoardRefreshHz[code]}; }
} // namespace

// The order of the settings' mode and refresh numbers.
const DisplayModeEntry ResolutionTable[6] = {
    mode(GR_RESOLUTION_800x600),  mode(GR_RESOLUTION_640x480),   mode(GR_RESOLUTION_512x384),
    mode(GR_RESOLUTION_1024x768), mode(GR_RESOLUTION_1280x1024), mode(GR_RESOLUTION_1600x1200),
};
const RefreshEntry RefreshTable[9] = {
    refresh(GR_REFRESH_60Hz), refresh(GR_REFRESH_70Hz),  refresh(GR_REFRESH_72Hz),
    refresh(GR_REFRESH_75Hz), refresh(GR_REFRESH_80Hz),  refresh(GR_REFRESH_85Hz),
    refresh(GR_REFRESH_90Hz), refresh(GR_REFRESH_100Hz), refresh(GR_REFRESH_120Hz),
};
const int DitherTable[3] = {GR_DITHER_DISABLE, GR_DITHER_2x2, GR_DITHER_4x4};

SelectedDisplayMode SelectedMode = {
    GR_RESOLUTION_800x600, GR_REFRESH_60Hz, GR_DITHER_DISABLE, 800, 600, 60, 0.0, 0, false};

WindowHandle RenderWindow = 0;

namespace {
bool AddOnBoard = false;
bool IntegratedBoard = false;
bool Open = false;
bool FullScreen = false;
bool Disable3DInWindow = false;
GrHwConfiguration Hardware{};
double MonitorHz = 0.0;
std::vector<uint16_t> CopyBuffer; // the control panel's frame copy, allocated once

template <typename T, int N> int tableIndex(const T (&)[N], int index) {
  return (index >= 0 && index < N) ? index : 0;
}

// Opens the board's screen at the selected mode's size and rate.
bool openScreen(int width, int height) {
  if (SelectedMode.native) boardSetScreenOverride(width, height);
  boardSetRefreshOverride(SelectedMode.exactHz);
  const bool opened = grSstWinOpen(static_cast<FxU32>(RenderWindow), SelectedMode.resolution,
                                   SelectedMode.refresh, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0);
  boardSetScreenOverride(0, 0);
  boardSetRefreshOverride(0.0);
  return opened;
}
} // namespace

void setMonitorRefreshHz(double hz) { MonitorHz = hz > 0.0 ? hz : 0.0; }

void setDisable3DInWindow(bool disable) { Disable3DInWindow = disable; }

void setRenderWindow(WindowHandle window) {
  RenderWindow = window;
  int w = 0, h = 0;
  if (window && haveApplication() && application().windowSize(window, w, h)) setRenderSize(w, h);
}

void nativeRenderSize(int &width, int &height) {
  int w = 0, h = 0;
  if (haveApplication()) {
    if (!RenderWindow || !application().windowSize(RenderWindow, w, h) || w <= 0 || h <= 0)
      application().screenSize(w, h);
  }
  if (w <= 0 || h <= 0) {
    w = 800;
    h = 600;
  }
  static_assert(NativeMaxSide <= BoardMaxScreenSide);
  width = std::clamp(w, NativeMinWidth, NativeMaxSide);
  height = std::clamp(h, NativeMinHeight, NativeMaxSide);
}

void selectDisplayMode(int modeIndex, int refreshIndex, int swapInterval, int ditherIndex) {
  const RefreshEntry &refresh = RefreshTable[tableIndex(RefreshTable, refreshIndex)];
  DisplayModeEntry mode;
  SelectedMode.native = modeIndex == NativeDisplayMode;
  if (SelectedMode.native) {
    // The board opens its screen at this size rather than the code's (see openGlide).
    mode.code = GR_RESOLUTION_800x600;
    nativeRenderSize(mode.width, mode.height);
    setCameraAspect(static_cast<float>(mode.height) / static_cast<float>(mode.width));
  } else {
    mode = ResolutionTable[tableIndex(ResolutionTable, modeIndex)];
    setCameraAspect(0.75f);
  }
  SelectedMode.resolution = mode.code;
  SelectedMode.width = mode.width;
  SelectedMode.height = mode.height;
  SelectedMode.refresh = refresh.code;
  SelectedMode.hz = refresh.hz;
  SelectedMode.exactHz = 0.0;
  if (refreshIndex == MonitorRefreshRate && MonitorHz > 0.0) {
    SelectedMode.exactHz = MonitorHz;
    SelectedMode.hz = static_cast<int>(MonitorHz + 0.5);
  }
  SelectedMode.dither = DitherTable[tableIndex(DitherTable, ditherIndex)];
  // The frame-rate list runs from "Maximum" (no wait) to a sixth of the
  // refresh rate; a hand-edited divisor beyond it would hold every swap for
  // minutes, with the saver deaf to input all the while.
  SelectedMode.swapInterval = std::clamp(swapInterval, 0, MaxSwapInterval);
  setRenderSize(mode.width, mode.height);
}

bool queryBoard() {
  grSstQueryBoards(&Hardware);
  if (!grSstQueryHardware(&Hardware)) return false;
  int type = Hardware.SSTs[0].type;
  AddOnBoard = (type == 0 || type == 3);
  IntegratedBoard = !AddOnBoard;
  return true;
}

bool openGlide(bool saver) {
  grGlideInit();
  if (!queryBoard()) return false;
  grSstSelect(0);
  if (!saver && (IntegratedBoard || Disable3DInWindow)) return false;
  if (!openScreen(SelectedMode.width, SelectedMode.height)) return false;
  if (!saver) setGlideOutput(false);
  grDitherMode(SelectedMode.dither);
  grDepthBufferMode(GR_DEPTHBUFFER_DISABLE);
  grRenderBuffer(GR_BUFFER_BACKBUFFER);
  grCullMode(GR_CULL_DISABLE);
  grHints(GR_HINT_ALLOW_MIPMAP_DITHER, 0);
  guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
  grAlphaTestFunction(GR_CMP_GREATER);
  grAlphaTestReferenceValue(5);
  FullScreen = saver;
  Open = true;
  return true;
}

bool followNativeSize() {
  if (!SelectedMode.native || !Open || !FullScreen) return false;
  int w = 0, h = 0;
  nativeRenderSize(w, h);
  if (w == SelectedMode.width && h == SelectedMode.height) return false;
  // What opening the screen resets, to be set again through the board's calls
  // (so that a trace of the run replays it too).
  const BoardRenderState state = boardRenderState();
  if (!openScreen(w, h)) {
    Open = false;
    return false;
  }
  SelectedMode.width = w;
  SelectedMode.height = h;
  setRenderSize(w, h);
  setCameraAspect(static_cast<float>(h) / static_cast<float>(w));
  grRenderBuffer(state.renderBuffer);
  grColorMask(state.rgbMask, state.alphaMask);
  grDitherMode(state.ditherMode);
  grDepthBufferMode(state.depthMode);
  grCullMode(state.cullMode);
  grHints(GR_HINT_ALLOW_MIPMAP_DITHER, 0);
  guColorCombineFunction(state.colorCombine);
  grTexCombineFunction(GR_TMU0, state.texCombine);
  guAlphaSource(state.alphaSource);
  grAlphaBlendFunction(state.rgbSrc, state.rgbDst, state.alphaSrc, state.alphaDst);
  grAlphaTestFunction(state.alphaFunc);
  grAlphaTestReferenceValue(static_cast<GrAlpha_t>(state.alphaRef));
  grLfbConstantDepth(state.lfbDepth);
  if (state.texture >= 0) guTexSource(state.texture);
  return true;
}

bool startDisplay(bool saver) {
  if (!openGlide(saver)) return false;
  setGlideOutput(saver);
  int w = 0, h = 0;
  if (!saver && RenderWindow && haveApplication() && application().windowSize(RenderWindow, w, h))
    setRenderSize(w, h);
  return true;
}

void setGlideOutput(bool active) {
  if (IntegratedBoard) return;
  grSstControl(active ? GR_CONTROL_ACTIVATE : GR_CONTROL_DEACTIVATE);
}

bool isAddOnBoard() { return AddOnBoard; }
bool isIntegratedBoard() { return IntegratedBoard; }
bool isDisplayOpen() { return Open; }
int refreshRateHz() { return SelectedMode.hz; }
void swapBuffers() { grBufferSwap(SelectedMode.swapInterval); }
void applyDitherMode() { grDitherMode(SelectedMode.dither); }

void presentFrame() {
  if (RenderWindow && !FullScreen && AddOnBoard && haveApplication() && ScreenWidth > 0 && ScreenHeight > 0) {
    const size_t pixels = static_cast<size_t>(ScreenWidth) * static_cast<size_t>(ScreenHeight);
    if (CopyBuffer.size() < pixels) CopyBuffer.assign(pixels, 0);
    // The control panel runs the 640 x 480 mode with the origin at the lower
    // left, so a panel-sized render area occupies the bottom rows. A panel
    // taller than the mode is clipped to it rather than read out of bounds.
    const int rows = ScreenHeight > 480 ? 480 : ScreenHeight;
    const int cols = ScreenWidth > 640 ? 640 : ScreenWidth;
    if (grLfbReadRegion(GR_BUFFER_FRONTBUFFER, 0, static_cast<FxU32>(480 - rows), static_cast<FxU32>(cols),
                        static_cast<FxU32>(rows), static_cast<FxU32>(ScreenWidth * 2), CopyBuffer.data()))
      application().drawImage565(RenderWindow, CopyBuffer.data(), ScreenWidth, rows);
  }
  swapBuffers();
}

void clearFrame(bool colourWrite, bool alphaWrite, bool blur, int blurDelta) {
  grColorMask(colourWrite, alphaWrite);
  if (!blur) {
    grBufferClear(0, 0, 0);
    return;
  }
  GrVertex v[4] = {};
  const float corners[4][2] = {
      {0.0f, 0.0f}, {ScreenWidthF, 0.0f}, {ScreenWidthF, ScreenHeightF}, {0.0f, ScreenHeightF}};
  for (int i = 0; i < 4; ++i) {
    // Screen coordinates carry the board's snap bias.
    v[i].x = corners[i][0] + BoardSnapBias;
    v[i].y = corners[i][1] + BoardSnapBias;
    v[i].a = static_cast<float>(blurDelta) + 145.0f;
    v[i].oow = 1.0f;
  }
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grDitherMode(GR_DITHER_4x4);
  grAlphaBlendFunction(GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grDitherMode(GR_DITHER_4x4);
  const int indices[4] = {0, 1, 2, 3};
  grDrawPlanarPolygon(4, indices, v);
  applyDitherMode();
}

void drawCenteringAid() {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  GrVertex a{}, b{};
  a.r = a.g = a.b = a.a = 255.0f;
  b.r = b.g = b.b = b.a = 255.0f;
  a.oow = b.oow = 1.0f;
  const float w = static_cast<float>(grSstScreenWidth());
  const float h = static_cast<float>(grSstScreenHeight());
  for (int i = 0; i <= 4; ++i) {
    float x = (w - 1.0f) * static_cast<float>(i) * 0.25f + 0.5f;
    a.x = x + BoardSnapBias;
    a.y = 0.5f + BoardSnapBias;
    b.x = x + BoardSnapBias;
    b.y = h - 0.5f + BoardSnapBias;
    grDrawLine(&a, &b);
    float y = (h - 1.0f) * static_cast<float>(i) * 0.25f + 0.5f;
    a.x = 0.5f + BoardSnapBias;
    a.y = y + BoardSnapBias;
    b.x = w - 0.5f + BoardSnapBias;
    b.y = y + BoardSnapBias;
    grDrawLine(&a, &b);
  }
}

bool closeDisplay() {
  if (Open) {
    setGlideOutput(false);
    grSstWinClose();
    grGlideShutdown();
    Open = false;
  }
  return true;
}

void shutdownDisplay() {
  closeDisplay();
  restoreDesktopMode();
}

// The desktop's own display mode is only changed for integrated boards, which
// draw into the desktop's display; our board is an add-on board with its own
// output, so there is nothing to change on this system.
void changeDesktopMode(int, int, int) {}
void restoreDesktopMode() {}
