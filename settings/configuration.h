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
  int32_t initial = 0; // the default the constructor sets
  // What a user may set it to: the range the control panel offers (and a
  // command-line override takes), the option that sets it for one run (its
  // name without "--"; nullptr: none) and what it means, for --help.
  int32_t low = 0, high = 0;
  const char *option = nullptr;
  const char *about = "";
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
    {"Mode", &DisplayConfiguration::Mode, 0, 0, 6, "mode",
     "display mode: 0 800x600, 1 640x480, 2 512x384, 3 1024x768, 4 1280x1024, 5 1600x1200, "
     "6 native (the window's own size)"},
    {"RefreshRate", &DisplayConfiguration::RefreshRate, 0, 0, 8, nullptr,
     "refresh rate: 0 60 Hz, 1 70, 2 72, 3 75, 4 80, 5 85, 6 90, 7 100, 8 120 Hz"},
    {"Divisor", &DisplayConfiguration::Divisor, 1, 0, 6, nullptr,
     "screen refreshes per frame (0: as fast as it draws)"},
    {"DitherMode", &DisplayConfiguration::DitherMode, 0, 0, 2, "dither", "dithering: 0 off, 1 2x2, 2 4x4"},
    {"Image centering aid", &DisplayConfiguration::ImageCenteringAid, 0, 0, 1, nullptr,
     "1: a grid over the picture for the first 90 s"},
    {"Monitors", &DisplayConfiguration::Monitors, 0, 0, 2, "monitors",
     "several monitors: 0 each its own scene, 1 the same picture on all, 2 the primary alone", 0, 2},
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
    {"TimeFactor", &LumenveilConfiguration::TimeFactor, 100, 50, 300, "time-factor",
     "the first scene's speed in percent", 50, 300},
    {"Trailers", &LumenveilConfiguration::Trailers, 7, 0, 15, "trailers", "the first scene's trailers"},
    {"Spinners", &LumenveilConfiguration::Spinners, 2, 0, 5, "spinners", "the first scene's spinners"},
    {"Meteors", &LumenveilConfiguration::Meteors, 1, 0, 5, "meteors", "the first scene's meteors"},
    {"Worms", &LumenveilConfiguration::Worms, 2, 0, 5, "worms", "the first scene's worms"},
    {"Debris", &LumenveilConfiguration::Debris, 200, 0, 2000, "debris", "the first scene's drifting debris"},
    {"Tubifex", &LumenveilConfiguration::Tubifex, 7, 0, 24, "tubifex", "the first scene's tubifex"},
    {"Static Camera", &LumenveilConfiguration::StaticCamera, 1, 0, 1, "static-camera",
     "the first scene's camera: 1 still, 0 orbiting"},
    {"Mebula Backdrop", &LumenveilConfiguration::MebulaBackdrop, 1, 0, 1, "nebula",
     "the nebula sky behind the first scene (the second always has it): 1 on, 0 off"},
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
    {"CD_Audio", &AudioConfiguration::CD_Audio, 0, 0, 1, nullptr, "1: play an audio CD while saving"},
    {"CD_Random", &AudioConfiguration::CD_Random, 0, 0, 1, nullptr, "1: the tracks in random order"},
    {"CD_Continuous", &AudioConfiguration::CD_Continuous, 0, 0, 1, nullptr,
     "1: start the disc over when it is done"},
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
    {"MainStars", &AstrelConfiguration::MainStars, 200, 100, 500, "main-stars",
     "the most main stars the second scene shows"},
    {"Neighbours", &AstrelConfiguration::Neighbours, 3, 0, 5, "neighbours",
     "the neighbours each main star is linked to"},
    {"NeighbourDistance", &AstrelConfiguration::NeighbourDistance, 650, 200, 1000, "neighbour-distance",
     "how far a main star reaches for its neighbours"},
    {"SuperNovaeFrequency", &AstrelConfiguration::SuperNovaeFrequency, 60, 20, 180, "supernovae",
     "seconds between supernovae"},
    {"AccreationDiskDensity", &AstrelConfiguration::AccreationDiskDensity, 0, 0, 200, "disk-density",
     "the accretion disk's particles beyond 100"},
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
    {"ScreenSaver", &GlobalConfiguration::ScreenSaver, RandomScene, 0, 2, nullptr,
     "the scene: 0 the first, 1 the second, 2 one at random at each start"},
    // Anything outside 1..4 is idle.
    {"Priority", &GlobalConfiguration::Priority, 2, 1, 4, nullptr,
     "task priority: 1 idle, 2 normal, 3 and 4 high"},
    {"Statistics", &GlobalConfiguration::Statistics, 0, 0, 1, "statistics",
     "the frame-rate read-out: 1 shown, 0 hidden"},
    {"MotionBlur", &GlobalConfiguration::MotionBlur, 0, 0, 1, "motion-blur", "motion blur: 1 on, 0 off"},
    // Added to 145 for the blur fade alpha.
    {"MotionBlurDelta", &GlobalConfiguration::MotionBlurDelta, 0, -30, 10, "motion-blur-amount",
     "how much motion blur, from less to more"},
    {"ScreenSaver idle minutes", &GlobalConfiguration::IdleMinutes, 10, 1, 720, nullptr,
     "minutes without input before lumenveil --idle starts the saver", 1, 720},
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
    {"Override Window 95 Settings", &PowerConfiguration::OverrideWindow95Settings, 0, 0, 1, nullptr,
     "1: the program's own monitor power timers, with the values below"},
    {.name = "Low Power Standby",
     .field = &PowerConfiguration::LowPowerStandby,
     .initial = 0,
     .high = 1,
     .about = "1: the monitor to standby after the low power timeout",
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings},
    {.name = "Shut Off Monitor",
     .field = &PowerConfiguration::ShutOffMonitor,
     .initial = 0,
     .high = 1,
     .about = "1: the monitor off after the power off timeout",
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings},
    {.name = "Low Power Timeout",
     .field = &PowerConfiguration::LowPowerTimeout,
     .initial = 10,
     .low = 1,
     .high = 120,
     .about = "minutes before standby",
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings},
    {.name = "Power Off Timeout",
     .field = &PowerConfiguration::PowerOffTimeout,
     .initial = 15,
     .low = 1,
     .high = 120,
     .about = "minutes before the monitor is switched off",
     .onlyIf = &PowerConfiguration::OverrideWindow95Settings},
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
    {"Disable3DInWindow", &AboutConfiguration::Disable3DInWindow, 0, 0, 1, nullptr,
     "1: no live preview in the control panel (read only)"},
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

// One row of the records' tables as a user sees it (every writable group's,
// and About's), for the command line's options and the settings' listing.
struct SettingDescription {
  const char *group, *name, *option, *about;
  int32_t initial, low, high;
};
// Group by group (Display, Lumenveil, Audio, Astrel, Global, PowerManagement,
// About), each in its table's order.
std::span<const SettingDescription> settingDescriptions();

// A value for this run alone: every load() of its record from now on reads it
// over the stored one (after the stored one is read and held to its range).
// save() writes what the record holds, so a run with overrides must save
// nothing; the command line allows them only to runs of the saver.
void overrideSetting(const std::string &group, const std::string &name, int32_t value);
void clearSettingOverrides();

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
