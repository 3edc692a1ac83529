#include "platform/registry_store.h"

namespace {

// No store installed: every key is missing, none can be made, nothing is saved.
class NoRegistry : public RegistryStore {
public:
  long openKey(LvHkey, const char *, LvHkey *) override { return LV_ERROR_FILE_NOT_FOUND; }
  long createKey(LvHkey, const char *, LvHkey *) override { return LV_ERROR_ACCESS_DENIED; }
  long queryValue(LvHkey, const char *, uint32_t *, void *, uint32_t *) override {
    return LV_ERROR_FILE_NOT_FOUND;
  }
  long setValue(LvHkey, const char *, uint32_t, const void *, uint32_t) override {
    return LV_ERROR_ACCESS_DENIED;
  }
  long closeKey(LvHkey) override { return LV_ERROR_SUCCESS; }
  bool flush() override { return false; }
  std::string filePath() override { return std::string(); }
};

NoRegistry Default;
RegistryStore *Installed = nullptr;

} // namespace

RegistryStore &registryStore() { return Installed ? *Installed : Default; }
void setRegistryStore(RegistryStore *store) { Installed = store; }

long registryOpenKey(LvHkey parent, const char *subkey, LvHkey *result) {
  return registryStore().openKey(parent, subkey, result);
}
long registryCreateKey(LvHkey parent, const char *subkey, LvHkey *result) {
  return registryStore().createKey(parent, subkey, result);
}
long registryQueryValue(LvHkey key, const char *name, uint32_t *type, void *data, uint32_t *size) {
  return registryStore().queryValue(key, name, type, data, size);
}
long registrySetValue(LvHkey key, const char *name, uint32_t type, const void *data, uint32_t size) {
  return registryStore().setValue(key, name, type, data, size);
}
long registryCloseKey(LvHkey key) { return registryStore().closeKey(key); }
bool registryFlush() { return registryStore().flush(); }
std::string registryFilePath() { return registryStore().filePath(); }
