// The screen sizes and refresh rates the board's codes stand for, indexed by
// GR_RESOLUTION_* and GR_REFRESH_* code. The board opens its screens by them,
// and the display layer sizes its render area by them before a screen is open.
#pragma once

struct BoardResolutionSize {
  int width, height;
};

inline constexpr BoardResolutionSize BoardResolutions[] = {
    {320, 200}, {320, 240}, {400, 256},  {512, 384},   {640, 200},   {640, 350},
    {640, 400}, {640, 480}, {800, 600},  {960, 720},   {856, 480},   {512, 256},
    {1024, 768}, {1280, 1024}, {1600, 1200}, {400, 300}};

inline constexpr int BoardRefreshHz[] = {60, 70, 72, 75, 80, 90, 100, 85, 120};
