#include "platform/cddevice.h"

#include <mutex>

namespace {
std::mutex Lock;
CdDeviceMaker Maker;
CdDriveLister Lister;
} // namespace

void setCdDeviceMaker(CdDeviceMaker maker) {
  std::lock_guard<std::mutex> g(Lock);
  Maker = std::move(maker);
}

CdDeviceMaker cdDeviceMaker() {
  std::lock_guard<std::mutex> g(Lock);
  return Maker;
}

void setCdDriveLister(CdDriveLister lister) {
  std::lock_guard<std::mutex> g(Lock);
  Lister = std::move(lister);
}

std::vector<std::string> cdDriveNames() {
  CdDriveLister lister;
  {
    std::lock_guard<std::mutex> g(Lock);
    lister = Lister;
  }
  return lister ? lister() : std::vector<std::string>{};
}
