#include "platform/registry_store.h"

long registryOpenKey(HKEY, const char *, HKEY *) { return ERROR_FILE_NOT_FOUND; }
long registryCreateKey(HKEY, const char *, HKEY *) { return ERROR_CANTWRITE; }
long registryQueryValue(HKEY, const char *, uint32_t *, void *, uint32_t *) { return ERROR_FILE_NOT_FOUND; }
long registrySetValue(HKEY, const char *, uint32_t, const void *, uint32_t) { return ERROR_CANTWRITE; }
long registryCloseKey(HKEY) { return ERROR_SUCCESS; }
bool registryFlush() { return true; }
std::string registryFilePath() { return {}; }
void setRegistryFilePath(const std::string &) {}
void useInMemoryRegistry() {}
