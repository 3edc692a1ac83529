// A thin wrapper over one registry key: walks a key path component by
// component from a root and reads and writes values of the key it reached.
#pragma once

#include <cstdint>

#include "platform/registry_store.h"

class RegistryKey {
public:
  RegistryKey(); // root LV_HKEY_LOCAL_MACHINE
  explicit RegistryKey(LvHkey root);
  ~RegistryKey(); // closes the key it holds open
  RegistryKey(const RegistryKey &) = delete;
  RegistryKey &operator=(const RegistryKey &) = delete;

  // Walks "\A\B\C" for reading. On a missing component returns false and
  // stays at the deepest key reached.
  bool openPath(const char *path);
  // Walks "\A\B\C", creating missing keys. On failure tells the user which
  // component failed and returns false.
  bool createPath(const char *path);

  // Reads a LV_REG_DWORD (or a 4-byte binary) value; anything else fails and
  // leaves *value unchanged.
  bool readDword(const char *name, int32_t *value);
  bool writeDword(const char *name, int32_t value);
  // Reads a string value into buffer (size bytes including the terminator).
  bool readString(const char *name, char *buffer, uint32_t size);
  // Writes a LV_REG_SZ value; its size counts the terminating NUL.
  bool writeString(const char *name, const char *value);

  // Closes the key held open and returns to the root. Closing the last key
  // opened for writing saves the writes: false when that save failed (the
  // store has told the user). Closing again does nothing.
  bool close();

  LvHkey root() const { return Root; }
  LvHkey current() const { return Current; }

private:
  LvHkey Root;
  LvHkey Current;
};
