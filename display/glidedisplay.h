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
extern const RefreshEntry RefreshTable[9];
extern const int DitherTable[3];

struct SelectedDisplayMode {
  int resolution;   // board resolution code
  int refresh;      // board refresh code
  int dither;       // board dither mode
  int width, height;
  int hz;
  int swapInterval; // vertical retraces grBufferSwap waits for; 0 swaps at once
};
extern SelectedDisplayMode SelectedMode;

extern WindowHandle RenderWindow;

void setDisable3DInWindow(bool disable);
void setRenderWindow(WindowHandle window);
// Longest swap interval: the slowest entry of the control panel's frame-rate list.
constexpr int MaxSwapInterval = 6;
// Indices outside the tables fall back to the first entry; the swap interval
// is held to 0..MaxSwapInterval.
void selectDisplayMode(int modeIndex, int refreshIndex, int swapInterval, int ditherIndex);
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
