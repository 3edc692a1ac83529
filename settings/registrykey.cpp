#include "settings/registrykey.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/messagebox.h"

RegistryKey::RegistryKey() : Root(LV_HKEY_LOCAL_MACHINE), Current(LV_HKEY_LOCAL_MACHINE) {}

RegistryKey::RegistryKey(LvHkey root) : Root(root), Current(root) {}

RegistryKey::~RegistryKey() { close(); }

bool RegistryKey::close() {
  if (Current == Root) return true;
  long error = registryCloseKey(Current);
  Current = Root;
  return error == LV_ERROR_SUCCESS;
}

namespace {

// Splits off the next component of a "\A\B" path: skips the separator, then
// takes the characters up to the next backslash or the end.
std::string nextComponent(const char *&p) {
  if (*p == '\\') ++p;
  const char *start = p;
  while (*p && *p != '\\') ++p;
  return std::string(start, p);
}

} // namespace

bool RegistryKey::openPath(const char *path) {
  if (!path) return false;
  const char *p = path;
  while (*p) {
    std::string component = nextComponent(p);
    // A component longer than the registry allows fails the walk.
    if (component.size() > RegistryMaxNameLength) return false;
    LvHkey next;
    if (registryOpenKey(Current, component.c_str(), &next) != LV_ERROR_SUCCESS) return false;
    if (Current != Root) registryCloseKey(Current);
    Current = next;
  }
  return true;
}

bool RegistryKey::createPath(const char *path) {
  if (!path) return false;
  const char *p = path;
  while (*p) {
    std::string component = nextComponent(p);
    LvHkey next;
    long error = component.size() > RegistryMaxNameLength
                     ? LV_ERROR_INVALID_PARAMETER
                     : registryCreateKey(Current, component.c_str(), &next);
    if (error != LV_ERROR_SUCCESS) {
      char caption[64];
      std::snprintf(caption, sizeof caption, "RegCreateKeyEx Failed with Error[%ld]", error);
      messageBox(component.c_str(), caption, LV_MB_OK);
      return false;
    }
    if (Current != Root) registryCloseKey(Current);
    Current = next;
  }
  return true;
}

bool RegistryKey::readDword(const char *name, int32_t *value) {
  unsigned char bytes[4];
  uint32_t type = LV_REG_NONE;
  uint32_t size = sizeof bytes;
  if (registryQueryValue(Current, name, &type, bytes, &size) != LV_ERROR_SUCCESS) return false;
  // Only a number is read as a number: a string's bytes are not a count.
  if (size != 4 || (type != LV_REG_DWORD && type != LV_REG_BINARY)) return false;
  *value = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                   uint32_t(bytes[3]) << 24);
  return true;
}

bool RegistryKey::writeDword(const char *name, int32_t value) {
  uint32_t v = uint32_t(value);
  unsigned char bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  return registrySetValue(Current, name, LV_REG_DWORD, bytes, 4) == LV_ERROR_SUCCESS;
}

bool RegistryKey::writeString(const char *name, const char *value) {
  if (!value) return false;
  const std::string text(value);
  if (text.size() >= UINT32_MAX) return false;
  return registrySetValue(Current, name, LV_REG_SZ, text.c_str(), uint32_t(text.size() + 1)) ==
         LV_ERROR_SUCCESS;
}

bool RegistryKey::readString(const char *name, char *buffer, uint32_t size) {
  if (!buffer || size == 0) return false;
  std::string data(size, '\0');
  uint32_t type = LV_REG_NONE;
  uint32_t got = size;
  if (registryQueryValue(Current, name, &type, data.data(), &got) != LV_ERROR_SUCCESS) return false;
  if (type != LV_REG_SZ && type != LV_REG_EXPAND_SZ) return false;
  // The buffer always receives a terminated string, or nothing.
  data.resize(got);
  if (data.empty() || data.back() != '\0') {
    if (got >= size) return false;
    data += '\0';
  }
  std::copy(data.begin(), data.end(), buffer);
  return true;
}
