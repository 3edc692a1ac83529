// The settings records: one per registry group under
// LV_HKEY_LOCAL_MACHINE "\SOFTWARE\Qbn\Lumenveil\1.1". Each record is described
// once, by its table below (DisplayFields, ...): the value name as stored, the
// field, its default and what load does with it. The constructors, load, save
// and the control panel's controls all read the tables.
//
// The constructor sets every field to its table default. load() reads the
// group's values over the fields in table order (a missing or mistyped value
// keeps the field as it was) and returns 0. save() writes every field in table
// order and returns 0 when the values reached the settings file, or
// SettingsNotSaved when they did not: it stops at the first failure, and the
// user has been told about it once.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "settings/registrykey.h"

// The registry path every group lives below.
inline constexpr const char *LumenveilRegistryPath = "\\SOFTWARE\\Qbn\\Lumenveil\\1.1";

// What save() returns when the group was not saved (the registry's own "cannot write").
inline constexpr int SettingsNotSaved = int(LV_ERROR_CANTWRITE);

// How load reads a value.
enum class SettingKind : uint8_t {
  // The program's own LV_REG_DWORD (or 4-byte binary) value. The field is then
  // held to min..max, whether or not the value was there.
  Dword,
  // The desktop's string flag: 1 when it starts with '1', else 0 (also when missing).
  DesktopFlag,
  // The desktop's timeout in seconds as a decimal string (leading blanks, a
  // sign, digits, anything after them ignored), kept as whole minutes rounded
  // up and held to min..max; a missing one keeps the field.
  DesktopSeconds,
};

// One value of a record's group.
template <class Record> struct SettingField {
  const char *name; // the value name as stored
  int32_t Record::*field;
  int32_t initial = 0;     // the default the constructor sets
  int32_t min = INT32_MIN; // load holds the field to min..max
  int32_t max = INT32_MAX;
  int32_t Record::*onlyIf = nullptr; // when set, load reads the value only while that field
                                     // is non-zero (save writes it regardless)
  SettingKind kind = SettingKind::Dword;
};

struct Configuration {};

struct DisplayConfiguration : Configuration {
  static constexpr const char *Group = "Display";
  int32_t Mode, RefreshRate, Divisor, DitherMode, ImageCenteringAid, Monitors;

  DisplayConfiguration();
  static constexpr std::span<const SettingField<DisplayConfiguration>> fields();
  int load();
  int save();
};

inline constexpr SettingField<DisplayConfiguration> DisplayFields[] = {
    {"Mode", &DisplayConfiguration::Mode,
     0}, // resolution table index (0 = 800 x 600), 6 = the window's own size
    {"RefreshRate", &DisplayConfiguration::RefreshRate, 0}, // refresh table index (0 = 60 Hz)
    {"Divisor", &DisplayConfiguration::Divisor, 1},         // vertical retraces per buffer swap
    {"DitherMode", &DisplayConfiguration::DitherMode, 0},   // dither table index (0 = off)
    // Non-zero: a grid for the first 90 s.
    {"Image centering aid", &DisplayConfiguration::ImageCenteringAid, 0},
    // Several monitors: 0 each its own scene at its own shape, 1 the same
    // picture on all, 2 the primary alone (the others black).
    {"Monitors", &DisplayConfiguration::Monitors, 0, 0, 2},
};

inline constexpr int32_t MonitorsEachOwnScene = 0;
inline constexpr int32_t MonitorsSamePicture = 1;
inline constexpr int32_t MonitorsPrimaryOnly = 2;

// The display mode a record takes where none is stored: the table's (0,
// 800 x 600) unless the host names another for this run (a screen-saver
// daemon's window: 6, the window's own size). A stored mode, whichever it is,
// is read over it as always; saving writes whatever the record holds.
void setRunDefaultDisplayMode(int32_t mode);
int32_t runDefaultDisplayMode();

// Whether a group holds a value of that name, of whatever type: whether the
// user has chosen it (a record reads its default where it has not).
bool settingStored(const char *group, const char *name);

// The first scene.
struct LumenveilConfiguration : Configuration {
  static constexpr const char *Group = "Lumenveil";
  int32_t TimeFactor, Trailers, Meteors, Worms, Spinners, Tubifex, Debris, StaticCamera, MebulaBackdrop;

  LumenveilConfiguration();
  static constexpr std::span<const SettingField<LumenveilConfiguration>> fields();
  int load();
  int save();
};

// In the order the group has always been read and written, not the fields' order.
inline constexpr SettingField<LumenveilConfiguration> LumenveilFields[] = {
    {"TimeFactor", &LumenveilConfiguration::TimeFactor, 100, 50, 300}, // speed in percent
    {"Trailers", &LumenveilConfiguration::Trailers, 7},
    {"Spinners", &LumenveilConfiguration::Spinners, 2},
    {"Meteors", &LumenveilConfiguration::Meteors, 1},
    {"Worms", &LumenveilConfiguration::Worms, 2},
    {"Debris", &LumenveilConfiguration::Debris, 200},
    {"Tubifex", &LumenveilConfiguration::Tubifex, 7},
    {"Static Camera", &LumenveilConfiguration::StaticCamera, 1},     // non-zero: fixed camera
    {"Mebula Backdrop", &LumenveilConfiguration::MebulaBackdrop, 1}, // non-zero: nebula sky
};

struct AudioConfiguration : Configuration {
  static constexpr const char *Group = "Audio";
  int32_t CD_Audio, CD_Random, CD_Continuous;

  AudioConfiguration();
  static constexpr std::span<const SettingField<AudioConfiguration>> fields();
  int load();
  int save();
};

inline constexpr SettingField<AudioConfiguration> AudioFields[] = {
    {"CD_Audio", &AudioConfiguration::CD_Audio, 0},           // play audio CD tracks while saving
    {"CD_Random", &AudioConfiguration::CD_Random, 0},         // random track order
    {"CD_Continuous", &AudioConfiguration::CD_Continuous, 0}, // keep playing
};

// Beside the Audio record, which holds numbers only: the string "CD_Device",
// the drive or disc image the CD player plays by its full path (empty or
// missing: the system's first CD drive). The player and the control panel
// both read it here.
inline constexpr const char *CdDeviceValue = "CD_Device";
// The longest name read, with its terminator: a path.
inline constexpr uint32_t LongestCdDeviceName = 4096;
// Reads "CD_Device" into name (empty when missing). False when the value is
// there but is not a usable name (not a string, or longer than a path can be).
bool readCdDeviceName(std::string &name);
// Writes "CD_Device" to the Audio group: 0 when it reached the settings file,
// else SettingsNotSaved (the user has been told).
int saveCdDeviceName(const std::string &name);

// The second scene.
struct AstrelConfiguration : Configuration {
  static constexpr const char *Group = "Astrel";
  int32_t MainStars, Neighbours, NeighbourDistance, SuperNovaeFrequency, AccreationDiskDensity;

  AstrelConfiguration();
  static constexpr std::span<const SettingField<AstrelConfiguration>> fields();
  int load();
  int save();
};

inline constexpr SettingField<AstrelConfiguration> AstrelFields[] = {
    {"MainStars", &AstrelConfiguration::MainStars, 200},
    {"Neighbours", &AstrelConfiguration::Neighbours, 3},
    {"NeighbourDistance", &AstrelConfiguration::NeighbourDistance, 650},
    {"SuperNovaeFrequency", &AstrelConfiguration::SuperNovaeFrequency, 60},
    {"AccreationDiskDensity", &AstrelConfiguration::AccreationDiskDensity, 0},
};

// The "ScreenSaver" choices: the first scene, the second, or one of them at
// random at each start.
inline constexpr int32_t FirstScene = 0;
inline constexpr int32_t SecondScene = 1;
inline constexpr int32_t RandomScene = 2;

struct GlobalConfiguration : Configuration {
  static constexpr const char *Group = "Global";
  int32_t ScreenSaver, Priority, Statistics, MotionBlur, MotionBlurDelta, IdleMinutes;

  GlobalConfiguration();
  static constexpr std::span<const SettingField<GlobalConfiguration>> fields();
  int load();
  int save();
};

inline constexpr SettingField<GlobalConfiguration> GlobalFields[] = {
    // 0 first scene, 1 second, 2 random at each start.
    {"ScreenSaver", &GlobalConfiguration::ScreenSaver, RandomScene},
    // 1 idle, 2 normal, 3 high, 4 real-time, anything else idle.
    {"Priority", &GlobalConfiguration::Priority, 2},
    {"Statistics", &GlobalConfiguration::Statistics, 0}, // frame-rate read-out in saver mode
    {"MotionBlur", &GlobalConfiguration::MotionBlur, 0},
    // Added to 145 for the blur fade alpha.
    {"MotionBlurDelta", &GlobalConfiguration::MotionBlurDelta, 0},
    // Minutes without input before `lumenveil --idle` starts the saver.
    {"ScreenSaver idle minutes", &GlobalConfiguration::IdleMinutes, 10, 1, 720},
};

// With the override off, load takes the four power values from the desktop's
// own settings instead (PowerDesktopFields).
struct PowerConfiguration : Configuration {
  static constexpr const char *Group = "PowerManagement";
  int32_t OverrideWindow95Settings, LowPowerStandby, ShutOffMonitor, LowPowerTimeout, PowerOffTimeout;

  PowerConfiguration();
  static constexpr std::span<const SettingField<PowerConfiguration>> fields();
  int load();
  int save();
};

inline constexpr SettingField<PowerConfiguration> PowerFields[] = {
    // Non-zero: the program runs its own power timers with the values below.
    {"Override Window 95 Settings", &PowerConfiguration::OverrideWindow95Settings, 0},
    {.name = "Low Power Standby",
     .field = &PowerConfiguration::LowPowerStandby,
     .initial = 0,
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings},
    {.name = "Shut Off Monitor",
     .field = &PowerConfiguration::ShutOffMonitor,
     .initial = 0,
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings},
    {.name = "Low Power Timeout",
     .field = &PowerConfiguration::LowPowerTimeout,
     .initial = 10,
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings}, // minutes
    {.name = "Power Off Timeout",
     .field = &PowerConfiguration::PowerOffTimeout,
     .initial = 15,
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings}, // minutes
};

// The desktop's own monitor power settings (LV_HKEY_CURRENT_USER
// "\Control Panel\Desktop"), read while the override is off. Never written.
// A timeout is read only when its flag is 1, and a negative one becomes 0.
inline constexpr SettingField<PowerConfiguration> PowerDesktopFields[] = {
    {.name = "ScreenSaveLowPowerActive",
     .field = &PowerConfiguration::LowPowerStandby,
     .kind = SettingKind::DesktopFlag},
    {.name = "ScreenSaveLowPowerTimeout",
     .field = &PowerConfiguration::LowPowerTimeout,
     .min = 0,
     .onlyIf = &PowerConfiguration::LowPowerStandby,
     .kind = SettingKind::DesktopSeconds},
    {.name = "ScreenSavePowerOffActive",
     .field = &PowerConfiguration::ShutOffMonitor,
     .kind = SettingKind::DesktopFlag},
    {.name = "ScreenSavePowerOffTimeout",
     .field = &PowerConfiguration::PowerOffTimeout,
     .min = 0,
     .onlyIf = &PowerConfiguration::ShutOffMonitor,
     .kind = SettingKind::DesktopSeconds},
};

// Read only: the program never writes this group.
struct AboutConfiguration : Configuration {
  static constexpr const char *Group = "About";
  int32_t Disable3DInWindow;

  AboutConfiguration();
  static constexpr std::span<const SettingField<AboutConfiguration>> fields();
  int load();
};

inline constexpr SettingField<AboutConfiguration> AboutFields[] = {
    // Non-zero: no 3D output in the control panel.
    {"Disable3DInWindow", &AboutConfiguration::Disable3DInWindow, 0},
};

constexpr std::span<const SettingField<DisplayConfiguration>> DisplayConfiguration::fields() {
  return DisplayFields;
}
constexpr std::span<const SettingField<LumenveilConfiguration>> LumenveilConfiguration::fields() {
  return LumenveilFields;
}
constexpr std::span<const SettingField<AudioConfiguration>> AudioConfiguration::fields() {
  return AudioFields;
}
constexpr std::span<const SettingField<AstrelConfiguration>> AstrelConfiguration::fields() {
  return AstrelFields;
}
constexpr std::span<const SettingField<GlobalConfiguration>> GlobalConfiguration::fields() {
  return GlobalFields;
}
constexpr std::span<const SettingField<PowerConfiguration>> PowerConfiguration::fields() {
  return PowerFields;
}
constexpr std::span<const SettingField<AboutConfiguration>> AboutConfiguration::fields() {
  return AboutFields;
}

// Writes fields of record, which must be dword values, to the key
// LumenveilRegistryPath\group, as save() does with a record's own table:
// 0 when they reached the file, else SettingsNotSaved at the first failure
// (the values written before it are still saved). Made for the six writable records.
template <class Record>
int saveSettingFields(const Record &record, const char *group, std::span<const SettingField<Record>> fields);

// Reads the desktop's own monitor power settings into the four fields pointed
// to: the system's own (the X server's) where it has them, else the desktop
// group (PowerDesktopFields). A flag is 1 when its value starts with '1', else
// 0; a timeout, in seconds there, is read only when its flag is 1 and kept in
// whole minutes rounded up (negative becomes 0), else the field is kept.
void readDesktopPowerValues(int32_t *lowPowerActive, int32_t *lowPowerTimeout, int32_t *powerOffActive,
                            int32_t *powerOffTimeout);

// The /d switch: saves the Display, Audio, Global, Lumenveil and Astrel groups
// with their defaults ("CD_Device" back to empty when there is one), stopping
// at the first group not saved. PowerManagement and About are left alone.
// Returns 0, or SettingsNotSaved (the user has been told).
int writeDefaultSettings();
