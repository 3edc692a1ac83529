// The system's saver-password components, loaded at run time where the
// system has them: the display control panel's verify routine and the
// network provider library's change routine.
#pragma once

#include <functional>

#include "platform/window.h"

enum class ComponentLoad {
  Loaded,
  NoLibrary, // the library could not be loaded
  NoRoutine, // the library has no such routine
};

// Shows the system's password dialog owned by the window; non-zero when the
// right password was entered.
using VerifyScreenSavePwd = std::function<int(WindowHandle owner)>;
// Shows the system's change-password dialog for the provider.
using PwdChangePassword = std::function<int(const char *provider, WindowHandle owner, int, int)>;

class PasswordComponents {
public:
  virtual ~PasswordComponents() = default;
  // "PASSWORD.CPL", routine "VerifyScreenSavePwd". The library stays loaded.
  virtual ComponentLoad loadVerifyRoutine(VerifyScreenSavePwd &routine) = 0;
  // "MPR.DLL", routine "PwdChangePasswordA". The library stays loaded.
  virtual ComponentLoad loadChangeRoutine(PwdChangePassword &routine) = 0;
};

// The installed port; by default a system that has neither library.
PasswordComponents &passwordComponents();
// Installs a port; nullptr returns to the default.
void setPasswordComponents(PasswordComponents *port);
