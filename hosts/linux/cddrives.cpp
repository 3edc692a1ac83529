#include "hosts/linux/cddrives.h"

#include <cdio/cdio.h>

#include <filesystem>

#include "platform/cddevice.h"

std::vector<std::string> systemCdDrives() {
  std::vector<std::string> drives;
  std::vector<std::filesystem::path> seen; // where each listed name leads
  char **list = cdio_get_devices(DRIVER_DEVICE);
  if (!list) return drives;
  for (char **name = list; *name; ++name) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(*name, error);
    if (error) target = *name;
    bool known = false;
    for (const auto &s : seen) known = known || s == target;
    if (known) continue;
    seen.push_back(target);
    drives.emplace_back(*name);
  }
  cdio_free_device_list(list);
  return drives;
}

void useSystemCdDrives() { setCdDriveLister(systemCdDrives); }
