// The registry store: keys and typed values of the registry hives the program
// uses, kept in one text file in the registry editor's export format
// ("REGEDIT4"). The calls mirror the registry's own: open or create a key
// below an open key, query and set values, close the key.
//
// The file is LUMENVEIL_REGISTRY if set, else $XDG_CONFIG_HOME/lumenveil/registry.reg,
// else ~/.config/lumenveil/registry.reg. A missing file is an empty registry;
// LUMENVEIL_REGISTRY=/dev/null keeps the registry in memory only.
//
// Writes are collected and saved when the last key opened for writing is
// closed (or at registryFlush): the file is re-read under a lock, only the
// written values change, and the new file replaces the old one in one rename.
// Everything else in the file (other keys and values, comments, value types
// the program never writes) is kept as it was. A file that does not begin as
// a settings file ("REGEDIT4" or the version 5 export's first line, after any
// blank lines) is someone else's: it is never moved aside nor replaced, and
// the run keeps its writes in memory. The file itself is reached through the
// file-system port (platform/settingsfile.h).
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

// The file in use (empty when the registry is in memory only).
std::string registryFilePath();
// Uses path from now on instead of the environment's choice; an empty path
// returns to it. Forgets whatever was read from the previous file.
void setRegistryFilePath(const std::string &path);
// Keeps the registry in memory only, starting empty: nothing is read or written.
void useInMemoryRegistry();

// For tests: called during a save after the new file is written and flushed,
// just before it replaces the old one.
void setRegistryBeforeReplaceHook(void (*hook)());
