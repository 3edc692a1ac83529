#include "platform/settingsfile.h"

namespace {

// No file system installed: there is no file, and nothing can be written.
class NoFiles : public SettingsFiles {
public:
  std::string defaultPath() override { return std::string(); }
  std::string target(const std::string &path) override { return path; }
  SettingsFileStamp stamp(const std::string &) override { return SettingsFileStamp{}; }
  SettingsFileContents read(const std::string &, size_t) override { return SettingsFileContents{}; }
  bool lock(const std::string &, std::string &error) override {
    error = "this program has no settings file";
    return false;
  }
  void unlock() override {}
  bool writeTemporary(const std::string &, const std::string &, std::string &error) override {
    error = "this program has no settings file";
    return false;
  }
  void discardTemporary(const std::string &) override {}
  bool moveAside(const std::string &, std::string &, std::string &error) override {
    error = "this program has no settings file";
    return false;
  }
  SettingsFileReplace replace(const std::string &, const SettingsFileStamp &, std::string &error) override {
    error = "this program has no settings file";
    return SettingsFileReplace::Failed;
  }
};

NoFiles Default;
SettingsFiles *Installed = nullptr;

} // namespace

SettingsFiles &settingsFiles() { return Installed ? *Installed : Default; }
void setSettingsFiles(SettingsFiles *files) { Installed = files; }
