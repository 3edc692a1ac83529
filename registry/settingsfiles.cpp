// Which file system the store uses: a test's, else the host's.
#include "platform/settingsfile.h"

namespace {
SettingsFiles *Installed = nullptr;
}

SettingsFiles &settingsFiles() { return Installed ? *Installed : hostSettingsFiles(); }

void setSettingsFiles(SettingsFiles *files) { Installed = files; }
