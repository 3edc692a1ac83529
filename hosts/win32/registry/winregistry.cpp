// The program's registry calls over the Windows registry. The program's key
// handles are small numbers (the predefined keys keep their values); each one
// names a key path below a root and the system keys opened for it.
#include "platform/registry_store.h"

#include <map>
#include <string>

#include "hosts/win32/registry/machineoruser.h"

namespace {

struct OpenKey {
  LvHkey root = 0;
  std::string path;     // below the root, components joined by '\'
  HKEY read[2] = {};    // where values are looked for, in this order
  HKEY write = nullptr; // where values are set (keys made by a create)
};

std::map<LvHkey, OpenKey> Keys;
LvHkey NextHandle = 1;
HKEY MachineRoot = nullptr;
HKEY UserRoot = nullptr;

HKEY machineRoot() { return MachineRoot ? MachineRoot : HKEY_LOCAL_MACHINE; }
HKEY userRoot() { return UserRoot ? UserRoot : HKEY_CURRENT_USER; }

bool predefined(LvHkey key) { return key == LV_HKEY_LOCAL_MACHINE || key == LV_HKEY_CURRENT_USER; }

// The root and path of the key subkey names below parent; false for a handle
// that is not open.
bool resolve(LvHkey parent, const char *subkey, LvHkey &root, std::string &path) {
  if (predefined(parent)) {
    root = parent;
    path.clear();
  } else {
    auto it = Keys.find(parent);
    if (it == Keys.end()) return false;
    root = it->second.root;
    path = it->second.path;
  }
  if (subkey && *subkey) {
    if (!path.empty()) path += '\\';
    path += subkey;
  }
  return true;
}

void closeSystemKey(HKEY key) {
  if (key && key != machineRoot() && key != userRoot()) RegCloseKey(key);
}

// Opens path below a system root; the root itself for an empty path.
LONG openBelow(HKEY base, const std::string &path, REGSAM access, HKEY &out) {
  out = nullptr;
  if (path.empty()) {
    out = base;
    return ERROR_SUCCESS;
  }
  return RegOpenKeyExA(base, path.c_str(), 0, access, &out);
}

LvHkey remember(OpenKey key) {
  while (NextHandle == 0 || predefined(NextHandle) || Keys.count(NextHandle)) ++NextHandle;
  const LvHkey handle = NextHandle++;
  Keys[handle] = std::move(key);
  return handle;
}

OpenKey *find(LvHkey key) {
  auto it = Keys.find(key);
  return it == Keys.end() ? nullptr : &it->second;
}

} // namespace

void setRegistryRootsForTests(HKEY machine, HKEY user) {
  MachineRoot = machine;
  UserRoot = user;
}

namespace {

long openSystemKey(LvHkey parent, const char *subkey, LvHkey *result) {
  if (!result) return LV_ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (!resolve(parent, subkey, key.root, key.path)) return LV_ERROR_INVALID_HANDLE;
  if (key.root == LV_HKEY_CURRENT_USER) {
    const LONG error = openBelow(userRoot(), key.path, KEY_READ, key.read[0]);
    if (error != ERROR_SUCCESS) return error;
  } else {
    HKEY machine = nullptr, user = nullptr;
    const LONG machineError = openBelow(machineRoot(), key.path, KEY_READ, machine);
    openBelow(userRoot(), key.path, KEY_READ, user);
    if (!machine && !user) return machineError;
    // Where a save of this key would go is read first: the machine's key
    // when this user may change it, else the user's own.
    bool machineWritable = false;
    if (machine) {
      HKEY probe = nullptr;
      if (openBelow(machineRoot(), key.path, KEY_READ | KEY_WRITE, probe) == ERROR_SUCCESS) {
        machineWritable = true;
        closeSystemKey(probe);
      }
    }
    if (machineWritable || !user) {
      key.read[0] = machine;
      key.read[1] = user;
    } else {
      key.read[0] = user;
      key.read[1] = machine;
    }
  }
  *result = remember(std::move(key));
  return LV_ERROR_SUCCESS;
}

long createSystemKey(LvHkey parent, const char *subkey, LvHkey *result) {
  if (!result) return LV_ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (!resolve(parent, subkey, key.root, key.path)) return LV_ERROR_INVALID_HANDLE;
  auto create = [&](HKEY base) -> LONG {
    if (key.path.empty()) {
      key.write = base;
      return ERROR_SUCCESS;
    }
    return RegCreateKeyExA(base, key.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                           nullptr, &key.write, nullptr);
  };
  LONG error = ERROR_SUCCESS;
  if (key.root == LV_HKEY_CURRENT_USER) {
    error = create(userRoot());
  } else {
    error = create(machineRoot());
    // A user who may not change the machine's settings keeps them as their own.
    if (error == ERROR_ACCESS_DENIED) error = create(userRoot());
  }
  if (error != ERROR_SUCCESS) return error;
  key.read[0] = key.write;
  *result = remember(std::move(key));
  return LV_ERROR_SUCCESS;
}

long querySystemValue(LvHkey handle, const char *name, uint32_t *type, void *data, uint32_t *size) {
  // Without a size only the value's presence and type are asked for.
  if (!size && data) return LV_ERROR_INVALID_PARAMETER;
  HKEY places[2] = {};
  if (handle == LV_HKEY_LOCAL_MACHINE)
    places[0] = machineRoot();
  else if (handle == LV_HKEY_CURRENT_USER)
    places[0] = userRoot();
  else if (OpenKey *key = find(handle)) {
    places[0] = key->read[0];
    places[1] = key->read[1];
  } else {
    return LV_ERROR_INVALID_HANDLE;
  }
  LONG error = ERROR_FILE_NOT_FOUND;
  for (HKEY place : places) {
    if (!place) continue;
    DWORD t = REG_NONE;
    DWORD n = size ? *size : 0;
    error = RegQueryValueExA(place, name, nullptr, &t, static_cast<BYTE *>(data), size ? &n : nullptr);
    if (error == ERROR_FILE_NOT_FOUND) continue;
    if (type) *type = t;
    if (size) *size = n;
    return error;
  }
  return error;
}

long setSystemValue(LvHkey handle, const char *name, uint32_t type, const void *data, uint32_t size) {
  HKEY place = nullptr;
  if (handle == LV_HKEY_LOCAL_MACHINE)
    place = machineRoot();
  else if (handle == LV_HKEY_CURRENT_USER)
    place = userRoot();
  else if (OpenKey *key = find(handle))
    place = key->write;
  else
    return LV_ERROR_INVALID_HANDLE;
  // A key opened only for reading takes no values.
  if (!place) return LV_ERROR_ACCESS_DENIED;
  return RegSetValueExA(place, name, 0, type, static_cast<const BYTE *>(data), size);
}

long closeSystemKeyHandle(LvHkey handle) {
  if (predefined(handle)) return LV_ERROR_SUCCESS;
  auto it = Keys.find(handle);
  if (it == Keys.end()) return LV_ERROR_INVALID_HANDLE;
  OpenKey &key = it->second;
  if (key.write != key.read[0]) closeSystemKey(key.write);
  closeSystemKey(key.read[0]);
  closeSystemKey(key.read[1]);
  Keys.erase(it);
  return LV_ERROR_SUCCESS;
}

// The system's registry keeps every write as it is made, and there is no
// settings file.
class WindowsRegistry : public RegistryStore {
public:
  long openKey(LvHkey parent, const char *subkey, LvHkey *result) override {
    return openSystemKey(parent, subkey, result);
  }
  long createKey(LvHkey parent, const char *subkey, LvHkey *result) override {
    return createSystemKey(parent, subkey, result);
  }
  long queryValue(LvHkey key, const char *name, uint32_t *type, void *data, uint32_t *size) override {
    return querySystemValue(key, name, type, data, size);
  }
  long setValue(LvHkey key, const char *name, uint32_t type, const void *data, uint32_t size) override {
    return setSystemValue(key, name, type, data, size);
  }
  long closeKey(LvHkey key) override { return closeSystemKeyHandle(key); }
  bool flush() override { return true; }
  std::string filePath() override { return std::string(); }
};

WindowsRegistry Store;

} // namespace

RegistryStore &windowsRegistryStore() { return Store; }
