#include "hosts/win32/cddrives.h"

#include "platform/cddevice.h"

namespace {

UINT systemDriveType(const char *root) { return GetDriveTypeA(root); }

} // namespace

std::vector<std::string> cdDrivesAmong(const char *roots, UINT (*typeOf)(const char *root)) {
  std::vector<std::string> drives;
  for (const char *root = roots; root && *root; root += std::string(root).size() + 1) {
    if (typeOf(root) != DRIVE_CDROM) continue;
    // "D:\" is opened as "D:".
    std::string name(root);
    if (name.size() > 2 && name[1] == ':') name.resize(2);
    drives.push_back(name);
  }
  return drives;
}

std::vector<std::string> systemCdDrives() {
  // 26 letters of four characters each ("A:\" and its NUL), and the list's end.
  std::string roots(26 * 4 + 1, '\0');
  const DWORD length = GetLogicalDriveStringsA(static_cast<DWORD>(roots.size() - 1), roots.data());
  if (length == 0 || length >= roots.size()) return {};
  roots.resize(length + 1);
  return cdDrivesAmong(roots.c_str(), systemDriveType);
}

void useSystemCdDrives() { setCdDriveLister(systemCdDrives); }
