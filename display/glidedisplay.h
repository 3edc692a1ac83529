// The display layer: the only place that opens, configures and closes the
// board, switches the monitor between the board and the desktop, and offers
// the per-frame services (swap, clear or motion-blur fade, centering grid,
// the control panel's frame copy).
#pragma once

#include "frame/framestate.h"
#include "glide/glide.h"
#include "platform/window.h"

struct DisplayModeEntry {
  int code;
  int width;
  int height;
};
struct RefreshEntry {
  int code;
  int hz;
};

extern const DisplayModeEntry ResolutionTable[6];

// The mode after the table's six: frames at the size of the window they are
// shown in (the saver's window, else the screen), held to the range below;
// 800 x 600 when neither size is known.
constexpr int NativeDisplayMode = 6;
constexpr int DisplayModeCount = 7;
constexpr int NativeMinWidth = 64, NativeMinHeight = 48;
constexpr int NativeMaxSide = 4096;
// The render size mode 6 would take now.
void nativeRenderSize(int &width, int &height);
extern const RefreshEntry RefreshTable[9];
extern const int DitherTable[3];

struct SelectedDisplayMode {
  int resolution; // board resolution code
  int refresh;    // board refresh code
  int dither;     // board dither mode
  int width, height;
  int hz;           // the refresh rate, whole
  double exactHz;   // the monitor's own rate where it is paced to it (0: the table's)
  int swapInterval; // vertical retraces grBufferSwap waits for; 0 swaps at once
  bool native;      // mode 6: the board's screen opens at width x height
};
extern SelectedDisplayMode SelectedMode;

extern WindowHandle RenderWindow;

// The refresh rate of the monitor the saver shows on, as the host knows it
// (0: not known). The refresh index MonitorRefreshRate paces the frames to
// it, else to the table's first rate; the saver takes it where the user
// stored no "RefreshRate".
void setMonitorRefreshHz(double hz);
constexpr int MonitorRefreshRate = -1;

void setDisable3DInWindow(bool disable);
void setRenderWindow(WindowHandle window);
// Longest swap interval: the slowest entry of the control panel's frame-rate list.
constexpr int MaxSwapInterval = 6;
// Indices outside the tables fall back to the first entry (the refresh index
// MonitorRefreshRate: the monitor's own rate where known); the swap interval
// is held to 0..MaxSwapInterval. Also sets the camera's aspect: 0.75 for the
// table's modes, height over width for mode 6.
void selectDisplayMode(int modeIndex, int refreshIndex, int swapInterval, int ditherIndex);
// Mode 6 follows its window between frames: when the size mode 6 would take
// now (nativeRenderSize) is not the size the board's screen was opened at, the
// screen is opened again at the new size, with the render state the scenes
// left (opening resets it), and the render size and the camera's shape follow.
// True when it reopened. Nothing for the table's modes, a closed display or
// the control panel.
bool followNativeSize();
bool queryBoard();
bool openGlide(bool saver);
bool startDisplay(bool saver);
void setGlideOutput(bool active);
bool isAddOnBoard();
bool isIntegratedBoard();
bool isDisplayOpen();
int refreshRateHz();
void swapBuffers();
void applyDitherMode();
void presentFrame();
void clearFrame(bool colourWrite, bool alphaWrite, bool blur, int blurDelta);
void drawCenteringAid();
bool closeDisplay();
void shutdownDisplay();
void changeDesktopMode(int width, int height, int hz);
void restoreDesktopMode();
