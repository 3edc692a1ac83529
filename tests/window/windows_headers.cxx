// Compiled, not run: the program's ports and module headers beside the
// system's own Windows headers. The ports spell their Windows-valued
// constants with an LV_ prefix, so nothing may clash, and the values must be
// the system's.
#include <windows.h>
#include <mmsystem.h>

#include "app/entry.h"
#include "app/password.h"
#include "app/power.h"
#include "app/preview.h"
#include "app/saverwindow.h"
#include "cdaudio/cdaudio.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "frame/framestate.h"
#include "glide/glide.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "frame/random.h"
#include "frame/fixedclock.h"
#include "platform/registry_store.h"
#include "platform/resources.h"
#include "platform/ticks.h"
#include "platform/window.h"
#include "settings/configuration.h"
#include "settings/registrykey.h"

static_assert(LV_WM_PAINT == WM_PAINT && LV_WM_KEYDOWN == WM_KEYDOWN && LV_WM_MOUSEMOVE == WM_MOUSEMOVE);
static_assert(LV_WM_SYSCOMMAND == WM_SYSCOMMAND && LV_SC_MONITORPOWER == SC_MONITORPOWER);
static_assert(LV_SC_SCREENSAVE == SC_SCREENSAVE && LV_SC_CLOSE == SC_CLOSE);
static_assert(LV_MB_OK == MB_OK && LV_MB_YESNO == MB_YESNO && LV_IDYES == IDYES && LV_IDOK == IDOK);
static_assert(LV_ERROR_SUCCESS == ERROR_SUCCESS && LV_ERROR_MORE_DATA == ERROR_MORE_DATA);
static_assert(LV_REG_DWORD == REG_DWORD && LV_REG_SZ == REG_SZ && LV_REG_BINARY == REG_BINARY);
static_assert(LV_VER_PLATFORM_WIN32_NT == VER_PLATFORM_WIN32_NT &&
              LV_VER_PLATFORM_WIN32_WINDOWS == VER_PLATFORM_WIN32_WINDOWS);
static_assert(LV_HKEY_LOCAL_MACHINE == 0x80000002u && LV_HKEY_CURRENT_USER == 0x80000001u);

int main() { return 0; }
