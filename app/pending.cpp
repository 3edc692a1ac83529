// Power management, priority, password and preview come later; until then
// these keep the monitor on, the priority unchanged, accept every end request
// and draw no preview.
#include "app/password.h"
#include "app/power.h"
#include "app/preview.h"

bool PowerOverrideActive = false;

void setTaskPriority(int) {}
void startPowerManagement() {}
void restoreMonitorPower() {}

bool readPasswordFlag() { return false; }
bool verifySaverPassword(WindowHandle) { return true; }
int changeSaverPassword(WindowHandle) { return 0; }

void runPreview(WindowHandle, void *) {}
