#include "app/password.h"

#include "app/entry.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "platform/passwordcomponents.h"
#include "settings/registrykey.h"

bool readPasswordFlag() {
  RegistryKey key(LV_HKEY_CURRENT_USER);
  key.openPath("\\Control Panel\\Desktop");
  // The value is read as raw bytes whatever its type: a string "1" and a
  // 4-byte number 1 both start with a non-zero byte.
  char value[8] = {};
  uint32_t type = LV_REG_NONE;
  uint32_t size = sizeof value;
  if (registryQueryValue(key.current(), "ScreenSaveUsePassword", &type, value, &size) != LV_ERROR_SUCCESS)
    value[0] = 0;
  // The saver's start-up tells Windows 95/98 that a saver runs when the
  // flag is set (announceSaverRunning).
  return value[0] != 0;
}

bool verifySaverPassword(WindowHandle window) {
  VerifyScreenSavePwd verify;
  switch (passwordComponents().loadVerifyRoutine(verify)) {
  case ComponentLoad::NoLibrary: messageBox("Password CPL couldn't be found", "Error", LV_MB_OK); return true;
  case ComponentLoad::NoRoutine:
    messageBox("Couldn't get system password verify routine", "Error", LV_MB_OK);
    return true;
  case ComponentLoad::Loaded: break;
  }
  if (!verify) return true;
  return verify(window) != 0;
}

int changeSaverPassword(WindowHandle window) {
  // A handle that names no window: the dialog belongs to the window in front.
  if (haveApplication()) {
    Application &app = application();
    int width = 0, height = 0;
    if (!app.windowSize(window, width, height)) window = app.activeWindow();
  }
  PwdChangePassword change;
  switch (passwordComponents().loadChangeRoutine(change)) {
  case ComponentLoad::NoLibrary: messageBox("Couldn't load MRP.DLL", "Error", LV_MB_OK); return 0;
  case ComponentLoad::NoRoutine: messageBox("Couldn't get PwdChangePassword", "Error", LV_MB_OK); return 0;
  case ComponentLoad::Loaded: break;
  }
  if (change) change("SCRSAVE", window, 0, 0);
  return 0;
}
