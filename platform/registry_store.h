// The registry store: keys and typed values of the registry hives the program
// uses. The calls mirror the registry's own: open or create a key below an
// open key, query and set values, close the key. A host installs the store
// (the settings file of registry/ on Linux, the system's registry on
// Windows); without one every key is missing and nothing can be saved.
#pragma once

#include <cstdint>
#include <string>

using LvHkey = uint32_t;
inline constexpr LvHkey LV_HKEY_CURRENT_USER = 0x80000001u;
inline constexpr LvHkey LV_HKEY_LOCAL_MACHINE = 0x80000002u;

// Results, with the registry's own codes.
inline constexpr long LV_ERROR_SUCCESS = 0;
inline constexpr long LV_ERROR_FILE_NOT_FOUND = 2;
inline constexpr long LV_ERROR_ACCESS_DENIED = 5;
inline constexpr long LV_ERROR_INVALID_HANDLE = 6;
inline constexpr long LV_ERROR_INVALID_PARAMETER = 87;
inline constexpr long LV_ERROR_MORE_DATA = 234;
inline constexpr long LV_ERROR_CANTWRITE = 1013;

// Value types.
inline constexpr uint32_t LV_REG_NONE = 0;
inline constexpr uint32_t LV_REG_SZ = 1;
inline constexpr uint32_t LV_REG_EXPAND_SZ = 2;
inline constexpr uint32_t LV_REG_BINARY = 3;
inline constexpr uint32_t LV_REG_DWORD = 4;
inline constexpr uint32_t LV_REG_MULTI_SZ = 7;

// Longest key-name component and value name, in characters.
inline constexpr size_t RegistryMaxNameLength = 255;

// A store of keys and values; handles are small numbers, the predefined keys
// keep their values.
class RegistryStore {
public:
  virtual ~RegistryStore() = default;
  virtual long openKey(LvHkey parent, const char *subkey, LvHkey *result) = 0;
  virtual long createKey(LvHkey parent, const char *subkey, LvHkey *result) = 0;
  virtual long queryValue(LvHkey key, const char *name, uint32_t *type, void *data, uint32_t *size) = 0;
  virtual long setValue(LvHkey key, const char *name, uint32_t type, const void *data, uint32_t size) = 0;
  virtual long closeKey(LvHkey key) = 0;
  virtual bool flush() = 0;
  virtual std::string filePath() = 0;
};

// The installed store; by default one where every key is missing and no
// key can be made.
RegistryStore &registryStore();
// Installs a store; nullptr returns to the default.
void setRegistryStore(RegistryStore *store);

// The program's calls, on the installed store.
// Opens the existing key subkey (one component, or several joined by '\')
// below parent.
long registryOpenKey(LvHkey parent, const char *subkey, LvHkey *result);
// Opens subkey below parent, creating it when missing.
long registryCreateKey(LvHkey parent, const char *subkey, LvHkey *result);
// Copies a value into data (at most *size bytes). On return *type holds the
// value's type and *size its length; LV_ERROR_MORE_DATA when data is too small
// (nothing copied). A string's length counts its terminating NUL.
long registryQueryValue(LvHkey key, const char *name, uint32_t *type, void *data, uint32_t *size);
// Sets a value (name "" or null is the key's default value).
long registrySetValue(LvHkey key, const char *name, uint32_t type, const void *data, uint32_t size);
// Closes a key; closing the last key opened for writing saves the writes.
long registryCloseKey(LvHkey key);
// Saves the writes collected so far. False (after telling the user, once for
// the same failure) when the file could not be written; the writes are then
// dropped, unless the file is not a settings file: then they stay in memory.
bool registryFlush();

// The file the settings are kept in (empty when they are kept in memory
// only, or by the system).
std::string registryFilePath();
