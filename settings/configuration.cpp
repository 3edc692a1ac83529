#include "settings/configuration.h"

int DisplayConfiguration::load() { return 0; }
int DisplayConfiguration::save() { return 0; }
int LumenveilConfiguration::load() { return 0; }
int LumenveilConfiguration::save() { return 0; }
int AudioConfiguration::load() { return 0; }
int AudioConfiguration::save() { return 0; }
int AstrelConfiguration::load() { return 0; }
int AstrelConfiguration::save() { return 0; }
int GlobalConfiguration::load() { return 0; }
int GlobalConfiguration::save() { return 0; }
int PowerConfiguration::load() { return 0; }
int PowerConfiguration::save() { return 0; }
int AboutConfiguration::load() { return 0; }

void readDesktopPowerValues(int32_t *, int32_t *, int32_t *, int32_t *) {}
void writeDefaultSettings() {}
