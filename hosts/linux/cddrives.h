// The CD drives of this system, as libcdio finds them.
#pragma once

#include <string>
#include <vector>

// The drives by their device paths (such as /dev/sr0), in libcdio's order,
// each drive once even when several names lead to it (/dev/cdrom and the
// /dev/sr0 it points to). Empty when there is none.
std::vector<std::string> systemCdDrives();

// Names, each kept only when no earlier one leads to the same device file.
std::vector<std::string> distinctDrives(const std::vector<std::string> &names);

// From now on the program's drive list (platform/cddevice.h) is this system's.
void useSystemCdDrives();
