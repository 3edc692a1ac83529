#include "settings/configuration.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/messagebox.h"
#include "platform/monitorpower.h"

namespace {

std::string groupPath(const char *group) { return std::string(LumenveilRegistryPath) + "\\" + group; }

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

template <class Record> void setDefaults(Record &record) {
  for (const SettingField<Record> &f : Record::fields()) record.*f.field = f.initial;
}

template <class Record>
void readFields(RegistryKey &key, std::span<const SettingField<Record>> fields, Record &record) {
  for (const SettingField<Record> &f : fields) {
    if (f.onlyIf && record.*f.onlyIf == 0) continue;
    int32_t &value = record.*f.field;
    char text[64] = {}; // a desktop string longer than this is not read
    switch (f.kind) {
    case SettingKind::Dword:
      key.readDword(f.name, &value);
      value = std::clamp(value, f.min, f.max);
      break;
    case SettingKind::DesktopFlag:
      key.readString(f.name, text, sizeof text);
      value = text[0] == '1' ? 1 : 0;
      break;
    case SettingKind::DesktopSeconds:
      if (key.readString(f.name, text, sizeof text))
        value = std::clamp(secondsToMinutes(decimalValue(text)), f.min, f.max);
      break;
    }
  }
}

struct SettingOverride {
  std::string group, name;
  int32_t value;
};
std::vector<SettingOverride> Overrides;

template <class Record> void applyOverrides(Record &record) {
  for (const SettingOverride &o : Overrides) {
    if (o.group != Record::Group) continue;
    for (const SettingField<Record> &f : Record::fields())
      if (o.name == f.name) record.*f.field = o.value;
  }
}

// Reads a record's own group. A missing key leaves the walk at the deepest
// key that exists, and the values are looked for there.
template <class Record> int loadRecord(Record &record) {
  RegistryKey key;
  key.openPath(groupPath(Record::Group).c_str());
  readFields(key, Record::fields(), record);
  applyOverrides(record);
  return 0;
}

template <class Record> void describe(std::vector<SettingDescription> &rows) {
  for (const SettingField<Record> &f : Record::fields())
    rows.push_back({Record::Group, f.name, f.option, f.about, f.initial, f.low, f.high});
}

template <class Record> int saveRecord(const Record &record) {
  return saveSettingFields(record, Record::Group, Record::fields());
}

void loadDesktopPowerValues(PowerConfiguration &power) {
  // Where the system has its own power-down settings (the X server's), they
  // are the desktop's; otherwise the desktop group of the settings file.
  DesktopPowerTimeouts system;
  if (monitorPower().desktopTimeouts(system)) {
    power.LowPowerStandby = system.lowPowerActive ? 1 : 0;
    if (system.lowPowerActive) power.LowPowerTimeout = secondsToMinutes(system.lowPowerSeconds);
    power.ShutOffMonitor = system.powerOffActive ? 1 : 0;
    if (system.powerOffActive) power.PowerOffTimeout = secondsToMinutes(system.powerOffSeconds);
    return;
  }
  RegistryKey key(LV_HKEY_CURRENT_USER);
  key.openPath("\\Control Panel\\Desktop");
  readFields<PowerConfiguration>(key, PowerDesktopFields, power);
}

} // namespace

std::span<const SettingDescription> settingDescriptions() {
  static const std::vector<SettingDescription> rows = [] {
    std::vector<SettingDescription> r;
    describe<DisplayConfiguration>(r);
    describe<LumenveilConfiguration>(r);
    describe<AudioConfiguration>(r);
    describe<AstrelConfiguration>(r);
    describe<GlobalConfiguration>(r);
    describe<PowerConfiguration>(r);
    describe<AboutConfiguration>(r);
    return r;
  }();
  return rows;
}

void overrideSetting(const std::string &group, const std::string &name, int32_t value) {
  for (SettingOverride &o : Overrides)
    if (o.group == group && o.name == name) {
      o.value = value;
      return;
    }
  Overrides.push_back({group, name, value});
}

void clearSettingOverrides() { Overrides.clear(); }

template <class Record>
int saveSettingFields(const Record &record, const char *group, std::span<const SettingField<Record>> fields) {
  RegistryKey key;
  // createPath has told the user which key could not be made.
  if (!key.createPath(groupPath(group).c_str())) return SettingsNotSaved;
  for (const SettingField<Record> &f : fields) {
    if (!key.writeDword(f.name, record.*f.field)) {
      std::string text =
          "Lumenveil could not save the setting \"" + std::string(f.name) + "\" of " + group + ".";
      messageBox(text.c_str(), "Error", LV_MB_OK);
      return SettingsNotSaved;
    }
  }
  // Saved now rather than when the key closes, so that a file that cannot be
  // written is seen here; the store has told the user why.
  return registryFlush() ? 0 : SettingsNotSaved;
}

template int saveSettingFields(const DisplayConfiguration &, const char *,
                               std::span<const SettingField<DisplayConfiguration>>);
template int saveSettingFields(const LumenveilConfiguration &, const char *,
                               std::span<const SettingField<LumenveilConfiguration>>);
template int saveSettingFields(const AudioConfiguration &, const char *,
                               std::span<const SettingField<AudioConfiguration>>);
template int saveSettingFields(const AstrelConfiguration &, const char *,
                               std::span<const SettingField<AstrelConfiguration>>);
template int saveSettingFields(const GlobalConfiguration &, const char *,
                               std::span<const SettingField<GlobalConfiguration>>);
template int saveSettingFields(const PowerConfiguration &, const char *,
                               std::span<const SettingField<PowerConfiguration>>);

namespace {
static_assert(DisplayFields[0].field == &DisplayConfiguration::Mode);
int32_t RunDefaultDisplayMode = DisplayFields[0].initial;
} // namespace

void setRunDefaultDisplayMode(int32_t mode) { RunDefaultDisplayMode = mode; }
int32_t runDefaultDisplayMode() { return RunDefaultDisplayMode; }

bool settingStored(const char *group, const char *name) {
  RegistryKey key;
  return key.openPath(groupPath(group).c_str()) &&
         registryQueryValue(key.current(), name, nullptr, nullptr, nullptr) == LV_ERROR_SUCCESS;
}

DisplayConfiguration::DisplayConfiguration() {
  setDefaults(*this);
  Mode = RunDefaultDisplayMode;
}
int DisplayConfiguration::load() { return loadRecord(*this); }
int DisplayConfiguration::save() { return saveRecord(*this); }

LumenveilConfiguration::LumenveilConfiguration() { setDefaults(*this); }
int LumenveilConfiguration::load() { return loadRecord(*this); }
int LumenveilConfiguration::save() { return saveRecord(*this); }

AudioConfiguration::AudioConfiguration() { setDefaults(*this); }
int AudioConfiguration::load() { return loadRecord(*this); }
int AudioConfiguration::save() { return saveRecord(*this); }

bool readCdDeviceName(std::string &name) {
  name.clear();
  RegistryKey key;
  if (!key.openPath(groupPath(AudioConfiguration::Group).c_str())) return true;
  std::string buffer(LongestCdDeviceName, '\0');
  if (key.readString(CdDeviceValue, buffer.data(), LongestCdDeviceName)) {
    name = buffer.c_str();
    return true;
  }
  // Missing means the first drive; anything else there names no device we can use.
  return registryQueryValue(key.current(), CdDeviceValue, nullptr, nullptr, nullptr) ==
         LV_ERROR_FILE_NOT_FOUND;
}

int saveCdDeviceName(const std::string &name) {
  RegistryKey key;
  if (!key.createPath(groupPath(AudioConfiguration::Group).c_str())) return SettingsNotSaved;
  if (!key.writeString(CdDeviceValue, name.c_str())) {
    messageBox("Lumenveil could not save the setting \"CD_Device\" of Audio.", "Error", LV_MB_OK);
    return SettingsNotSaved;
  }
  return registryFlush() ? 0 : SettingsNotSaved;
}

AstrelConfiguration::AstrelConfiguration() { setDefaults(*this); }
int AstrelConfiguration::load() { return loadRecord(*this); }
int AstrelConfiguration::save() { return saveRecord(*this); }

GlobalConfiguration::GlobalConfiguration() { setDefaults(*this); }
int GlobalConfiguration::load() { return loadRecord(*this); }
int GlobalConfiguration::save() { return saveRecord(*this); }

PowerConfiguration::PowerConfiguration() { setDefaults(*this); }

int PowerConfiguration::load() {
  loadRecord(*this);
  if (OverrideWindow95Settings == 0) loadDesktopPowerValues(*this);
  return 0;
}

int PowerConfiguration::save() { return saveRecord(*this); }

AboutConfiguration::AboutConfiguration() { setDefaults(*this); }
int AboutConfiguration::load() { return loadRecord(*this); }

void readDesktopPowerValues(int32_t *lowPowerActive, int32_t *lowPowerTimeout, int32_t *powerOffActive,
                            int32_t *powerOffTimeout) {
  PowerConfiguration power;
  power.LowPowerStandby = *lowPowerActive;
  power.LowPowerTimeout = *lowPowerTimeout;
  power.ShutOffMonitor = *powerOffActive;
  power.PowerOffTimeout = *powerOffTimeout;
  loadDesktopPowerValues(power);
  *lowPowerActive = power.LowPowerStandby;
  *lowPowerTimeout = power.LowPowerTimeout;
  *powerOffActive = power.ShutOffMonitor;
  *powerOffTimeout = power.PowerOffTimeout;
}

namespace {

// The disc goes back to the first drive with the rest of the Audio group. A
// group without one already has the default, and its file keeps its bytes.
int resetCdDeviceName() {
  RegistryKey key;
  if (!key.openPath(groupPath(AudioConfiguration::Group).c_str()) ||
      registryQueryValue(key.current(), CdDeviceValue, nullptr, nullptr, nullptr) == LV_ERROR_FILE_NOT_FOUND)
    return 0;
  key.close();
  return saveCdDeviceName("");
}

} // namespace

int writeDefaultSettings() {
  // One file that cannot be written is told once, not once per group.
  // The table's defaults, whatever this run would take where nothing is stored.
  DisplayConfiguration display;
  display.Mode = DisplayFields[0].initial;
  if (int r = display.save()) return r;
  if (int r = AudioConfiguration().save()) return r;
  if (int r = resetCdDeviceName()) return r;
  if (int r = GlobalConfiguration().save()) return r;
  if (int r = LumenveilConfiguration().save()) return r;
  return AstrelConfiguration().save();
}
