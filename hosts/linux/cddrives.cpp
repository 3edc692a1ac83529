#include "hosts/linux/cddrives.h"

#include <cdio/cdio.h>

#include <filesystem>

#include "platform/cddevice.h"

std::vector<std::string> distinctDrives(const std::vector<std::string> &names) {
  std::vector<std::string> drives;
  std::vector<std::filesystem::path> seen; // where each kept name leads
  for (const std::string &name : names) {
    if (name.empty()) continue;
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(name, error);
    if (error) target = name;
    bool known = false;
    for (const auto &s : seen) known = known || s == target;
    if (known) continue;
    seen.push_back(target);
    drives.push_back(name);
  }
  return drives;
}

std::vector<std::string> systemCdDrives() {
  std::vector<std::string> names;
  char **list = cdio_get_devices(DRIVER_DEVICE);
  if (!list) return names;
  for (char **name = list; *name; ++name) names.emplace_back(*name);
  cdio_free_device_list(list);
  return distinctDrives(names);
}

void useSystemCdDrives() { setCdDriveLister(systemCdDrives); }
