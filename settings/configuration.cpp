#include "settings/configuration.h"

#include <climits>
#include <cstring>
#include <string>

#include "platform/monitorpower.h"

namespace {

std::string groupPath(const char *group) {
  return std::string(LumenveilRegistryPath) + "\\" + group;
}

// A decimal number as the desktop settings store it: leading white space, an
// optional sign, then digits. Anything after the digits is ignored; a number
// beyond the 32-bit range is held at its end.
int32_t decimalValue(const char *s) {
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\f' || *s == '\v') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  long long v = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    v = v * 10 + (*s - '0');
    if (v > (long long)INT32_MAX + 1) v = (long long)INT32_MAX + 1;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  return int32_t(v);
}

// The system keeps its power-down timeouts in seconds; the program counts
// minutes. A part of a minute counts as a whole one, and below 0 is 0.
int32_t secondsToMinutes(int32_t seconds) {
  if (seconds <= 0) return 0;
  return static_cast<int32_t>((static_cast<int64_t>(seconds) + 59) / 60);
}

}  // namespace

int DisplayConfiguration::load() {
  RegistryKey key;
  key.openPath(groupPath("Display").c_str());
  key.readDword("Mode", &Mode);
  key.readDword("RefreshRate", &RefreshRate);
  key.readDword("Divisor", &Divisor);
  key.readDword("DitherMode", &DitherMode);
  key.readDword("Image centering aid", &ImageCenteringAid);
  return 0;
}

int DisplayConfiguration::save() {
  RegistryKey key;
  if (!key.createPath(groupPath("Display").c_str())) return 0;
  key.writeDword("Mode", Mode);
  key.writeDword("RefreshRate", RefreshRate);
  key.writeDword("Divisor", Divisor);
  key.writeDword("DitherMode", DitherMode);
  key.writeDword("Image centering aid", ImageCenteringAid);
  return 0;
}

int LumenveilConfiguration::load() {
  RegistryKey key;
  key.openPath(groupPath("Lumenveil").c_str());
  key.readDword("TimeFactor", &TimeFactor);
  if (TimeFactor > 300) TimeFactor = 300;
  if (TimeFactor < 50) TimeFactor = 50;
  key.readDword("Trailers", &Trailers);
  key.readDword("Spinners", &Spinners);
  key.readDword("Meteors", &Meteors);
  key.readDword("Worms", &Worms);
  key.readDword("Debris", &Debris);
  key.readDword("Tubifex", &Tubifex);
  key.readDword("Static Camera", &StaticCamera);
  key.readDword("Mebula Backdrop", &MebulaBackdrop);
  return 0;
}

int LumenveilConfiguration::save() {
  RegistryKey key;
  if (!key.createPath(groupPath("Lumenveil").c_str())) return 0;
  key.writeDword("TimeFactor", TimeFactor);
  key.writeDword("Trailers", Trailers);
  key.writeDword("Spinners", Spinners);
  key.writeDword("Meteors", Meteors);
  key.writeDword("Worms", Worms);
  key.writeDword("Debris", Debris);
  key.writeDword("Tubifex", Tubifex);
  key.writeDword("Static Camera", StaticCamera);
  key.writeDword("Mebula Backdrop", MebulaBackdrop);
  return 0;
}

int AudioConfiguration::load() {
  RegistryKey key;
  key.openPath(groupPath("Audio").c_str());
  key.readDword("CD_Audio", &CD_Audio);
  key.readDword("CD_Random", &CD_Random);
  key.readDword("CD_Continuous", &CD_Continuous);
  return 0;
}

int AudioConfiguration::save() {
  RegistryKey key;
  if (!key.createPath(groupPath("Audio").c_str())) return 0;
  key.writeDword("CD_Audio", CD_Audio);
  key.writeDword("CD_Random", CD_Random);
  key.writeDword("CD_Continuous", CD_Continuous);
  return 0;
}

int AstrelConfiguration::load() {
  RegistryKey key;
  key.openPath(groupPath("Astrel").c_str());
  key.readDword("MainStars", &MainStars);
  key.readDword("Neighbours", &Neighbours);
  key.readDword("NeighbourDistance", &NeighbourDistance);
  key.readDword("SuperNovaeFrequency", &SuperNovaeFrequency);
  key.readDword("AccreationDiskDensity", &AccreationDiskDensity);
  return 0;
}

int AstrelConfiguration::save() {
  RegistryKey key;
  if (!key.createPath(groupPath("Astrel").c_str())) return 0;
  key.writeDword("MainStars", MainStars);
  key.writeDword("Neighbours", Neighbours);
  key.writeDword("NeighbourDistance", NeighbourDistance);
  key.writeDword("SuperNovaeFrequency", SuperNovaeFrequency);
  key.writeDword("AccreationDiskDensity", AccreationDiskDensity);
  return 0;
}

int GlobalConfiguration::load() {
  RegistryKey key;
  key.openPath(groupPath("Global").c_str());
  key.readDword("ScreenSaver", &ScreenSaver);
  key.readDword("Priority", &Priority);
  key.readDword("Statistics", &Statistics);
  key.readDword("MotionBlur", &MotionBlur);
  key.readDword("MotionBlurDelta", &MotionBlurDelta);
  return 0;
}

int GlobalConfiguration::save() {
  RegistryKey key;
  if (!key.createPath(groupPath("Global").c_str())) return 0;
  key.writeDword("ScreenSaver", ScreenSaver);
  key.writeDword("Priority", Priority);
  key.writeDword("Statistics", Statistics);
  key.writeDword("MotionBlur", MotionBlur);
  key.writeDword("MotionBlurDelta", MotionBlurDelta);
  return 0;
}

int PowerConfiguration::load() {
  RegistryKey key;
  key.openPath(groupPath("PowerManagement").c_str());
  key.readDword("Override Window 95 Settings", &OverrideWindow95Settings);
  if (OverrideWindow95Settings != 0) {
    key.readDword("Low Power Standby", &LowPowerStandby);
    key.readDword("Shut Off Monitor", &ShutOffMonitor);
    key.readDword("Low Power Timeout", &LowPowerTimeout);
    key.readDword("Power Off Timeout", &PowerOffTimeout);
  } else {
    readDesktopPowerValues(&LowPowerStandby, &LowPowerTimeout, &ShutOffMonitor, &PowerOffTimeout);
  }
  return 0;
}

int PowerConfiguration::save() {
  RegistryKey key;
  if (!key.createPath(groupPath("PowerManagement").c_str())) return 0;
  key.writeDword("Override Window 95 Settings", OverrideWindow95Settings);
  key.writeDword("Low Power Standby", LowPowerStandby);
  key.writeDword("Shut Off Monitor", ShutOffMonitor);
  key.writeDword("Low Power Timeout", LowPowerTimeout);
  key.writeDword("Power Off Timeout", PowerOffTimeout);
  return 0;
}

int AboutConfiguration::load() {
  RegistryKey key;
  key.openPath(groupPath("About").c_str());
  key.readDword("Disable3DInWindow", &Disable3DInWindow);
  return 0;
}

void readDesktopPowerValues(int32_t *lowPowerActive, int32_t *lowPowerTimeout,
                            int32_t *powerOffActive, int32_t *powerOffTimeout) {
  // Where the system has its own power-down settings (the X server's), they
  // are the desktop's; otherwise the desktop group of the settings file.
  DesktopPowerTimeouts system;
  if (monitorPower().desktopTimeouts(system)) {
    *lowPowerActive = system.lowPowerActive ? 1 : 0;
    if (system.lowPowerActive) *lowPowerTimeout = secondsToMinutes(system.lowPowerSeconds);
    *powerOffActive = system.powerOffActive ? 1 : 0;
    if (system.powerOffActive) *powerOffTimeout = secondsToMinutes(system.powerOffSeconds);
    return;
  }
  RegistryKey key(LV_HKEY_CURRENT_USER);
  key.openPath("\\Control Panel\\Desktop");
  char buffer[64];

  auto readPair = [&](const char *flagName, const char *timeoutName, int32_t *flag,
                      int32_t *timeout) {
    std::memset(buffer, 0, sizeof buffer);
    key.readString(flagName, buffer, sizeof buffer);
    *flag = buffer[0] == '1' ? 1 : 0;
    if (*flag == 1) {
      std::memset(buffer, 0, sizeof buffer);
      if (key.readString(timeoutName, buffer, sizeof buffer)) {
        *timeout = secondsToMinutes(decimalValue(buffer));
      }
    }
  };
  readPair("ScreenSaveLowPowerActive", "ScreenSaveLowPowerTimeout", lowPowerActive,
           lowPowerTimeout);
  readPair("ScreenSavePowerOffActive", "ScreenSavePowerOffTimeout", powerOffActive,
           powerOffTimeout);
}

void writeDefaultSettings() {
  DisplayConfiguration().save();
  AudioConfiguration().save();
  GlobalConfiguration().save();
  LumenveilConfiguration().save();
  AstrelConfiguration().save();
}
