// Every test program starts with the host's settings ports installed, as the
// program's main installs them: the settings file on disk and the registry
// store over it (the system's registry on Windows). A test may install fakes
// of its own and put these back.
#ifdef _WIN32
#include "hosts/win32/registry/machineoruser.h"
#else
#include "hosts/posix/settingsfile.h"
#include "registry/registrystore.h"
#endif

namespace {
const bool Installed = [] {
#ifdef _WIN32
  setRegistryStore(&windowsRegistryStore());
#else
  setSettingsFiles(&posixSettingsFiles());
  setRegistryStore(&fileRegistryStore());
#endif
  return true;
}();
} // namespace
