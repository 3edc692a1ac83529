// The settings records: one per registry group under
// LV_HKEY_LOCAL_MACHINE "\SOFTWARE\Qbn\Lumenveil\1.1". Each constructor sets the
// defaults; load() reads the group's values over them (a missing value keeps
// the field as it was), save() writes every field. Both return 0.
#pragma once

#include <cstdint>

#include "settings/registrykey.h"

// The registry path every group lives below.
inline constexpr const char *LumenveilRegistryPath = "\\SOFTWARE\\Qbn\\Lumenveil\\1.1";

struct Configuration {};

// "\...\Display"
struct DisplayConfiguration : Configuration {
  int32_t Mode = 0;              // "Mode": index into the resolution table (0 = 800 x 600)
  int32_t RefreshRate = 0;       // "RefreshRate": index into the refresh table (0 = 60 Hz)
  int32_t Divisor = 1;           // "Divisor": vertical retraces per buffer swap
  int32_t DitherMode = 0;        // "DitherMode": index into the dither table (0 = off)
  int32_t ImageCenteringAid = 0; // "Image centering aid": grid for the first 90 s

  int load();
  int save();
};

// "\...\Lumenveil": the first scene.
struct LumenveilConfiguration : Configuration {
  int32_t TimeFactor = 100;   // "TimeFactor": speed in percent, clamped to 50..300 on load
  int32_t Trailers = 7;       // "Trailers"
  int32_t Meteors = 1;        // "Meteors"
  int32_t Worms = 2;          // "Worms"
  int32_t Spinners = 2;       // "Spinners"
  int32_t Tubifex = 7;        // "Tubifex"
  int32_t Debris = 200;       // "Debris"
  int32_t StaticCamera = 1;   // "Static Camera": non-zero, fixed camera
  int32_t MebulaBackdrop = 1; // "Mebula Backdrop": non-zero, draw the nebula sky

  int load();
  int save();
};

// "\...\Audio"
struct AudioConfiguration : Configuration {
  int32_t CD_Audio = 0;      // "CD_Audio": play audio CD tracks while the saver runs
  int32_t CD_Random = 0;     // "CD_Random": random track order
  int32_t CD_Continuous = 0; // "CD_Continuous": keep playing

  int load();
  int save();
};

// "\...\Astrel": the second scene.
struct AstrelConfiguration : Configuration {
  int32_t MainStars = 200;            // "MainStars"
  int32_t Neighbours = 3;             // "Neighbours"
  int32_t NeighbourDistance = 650;    // "NeighbourDistance"
  int32_t SuperNovaeFrequency = 60;   // "SuperNovaeFrequency"
  int32_t AccreationDiskDensity = 0;  // "AccreationDiskDensity"

  int load();
  int save();
};

// "\...\Global"
struct GlobalConfiguration : Configuration {
  int32_t ScreenSaver = 2;     // "ScreenSaver": 0 first scene, 1 second, 2 random at each start
  int32_t Priority = 2;        // "Priority": 1 idle, 2 normal, 3 high, 4 real-time, else idle
  int32_t Statistics = 0;      // "Statistics": frame-rate read-out in saver mode
  int32_t MotionBlur = 0;      // "MotionBlur"
  int32_t MotionBlurDelta = 0; // "MotionBlurDelta": added to 145 for the blur fade alpha

  int load();
  int save();
};

// "\...\PowerManagement". With the override off, load takes the four
// power values from the desktop settings instead.
struct PowerConfiguration : Configuration {
  int32_t OverrideWindow95Settings = 0; // "Override Window 95 Settings": run our own power timers
  int32_t LowPowerStandby = 0;          // "Low Power Standby"
  int32_t ShutOffMonitor = 0;           // "Shut Off Monitor"
  int32_t LowPowerTimeout = 10;         // "Low Power Timeout", minutes
  int32_t PowerOffTimeout = 15;         // "Power Off Timeout", minutes

  int load();
  int save();
};

// "\...\About": read only.
struct AboutConfiguration : Configuration {
  int32_t Disable3DInWindow = 0; // "Disable3DInWindow": no 3D output in the control panel

  int load();
};

// Reads the desktop's own monitor power settings (LV_HKEY_CURRENT_USER
// "\Control Panel\Desktop"). A flag is 1 when its value starts with '1';
// a timeout is read only when its flag is 1 (negative becomes 0), else kept.
void readDesktopPowerValues(int32_t *lowPowerActive, int32_t *lowPowerTimeout,
                            int32_t *powerOffActive, int32_t *powerOffTimeout);

// The /d switch: saves the Display, Audio, Global, Lumenveil and Astrel groups
// with their defaults. PowerManagement and About are left alone.
void writeDefaultSettings();
