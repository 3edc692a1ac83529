// The CD drives of this system, as Windows names them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The CD drives among `roots`, a list as GetLogicalDriveStrings gives it (roots
// such as "C:\" each ended by a NUL, the list by one more), by the names the
// CD-audio device opens them with ("D:"), in the list's order; `typeOf` tells
// a root's drive type as GetDriveType does.
std::vector<std::string> cdDrivesAmong(const char *roots, UINT (*typeOf)(const char *root));

// The system's CD drives (GetLogicalDriveStrings, GetDriveType); empty when
// there is none.
std::vector<std::string> systemCdDrives();

// From now on the program's drive list (platform/cddevice.h) is this system's.
void useSystemCdDrives();
