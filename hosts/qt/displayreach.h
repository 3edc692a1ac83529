// Whether the window system the toolkit is about to use can be reached, asked
// before the toolkit is started: it ends the process when it cannot connect.
#pragma once

#include <string>

// Empty when the display can be opened (or when this build cannot tell);
// otherwise why not, naming the display.
std::string displayUnreachable();

// While it lives, a failure of the toolkit to start on the display ends the
// program with a message and exit code 2 instead of an abort.
class DisplayStartGuard {
public:
  DisplayStartGuard();
  ~DisplayStartGuard();
  DisplayStartGuard(const DisplayStartGuard &) = delete;
  DisplayStartGuard &operator=(const DisplayStartGuard &) = delete;
};
