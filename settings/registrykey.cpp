#include "settings/registrykey.h"

RegistryKey::RegistryKey() : Root(HKEY_LOCAL_MACHINE), Current(HKEY_LOCAL_MACHINE) {}
RegistryKey::RegistryKey(HKEY root) : Root(root), Current(root) {}
RegistryKey::~RegistryKey() {}
bool RegistryKey::openPath(const char *) { return false; }
bool RegistryKey::createPath(const char *) { return false; }
bool RegistryKey::readDword(const char *, int32_t *) { return false; }
bool RegistryKey::writeDword(const char *, int32_t) { return false; }
bool RegistryKey::readString(const char *, char *, uint32_t) { return false; }
