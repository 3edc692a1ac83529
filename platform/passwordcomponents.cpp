#include "platform/passwordcomponents.h"

namespace {

class NoComponents : public PasswordComponents {
public:
  ComponentLoad loadVerifyRoutine(VerifyScreenSavePwd &) override { return ComponentLoad::NoLibrary; }
  ComponentLoad loadChangeRoutine(PwdChangePassword &) override { return ComponentLoad::NoLibrary; }
};

NoComponents Default;
PasswordComponents *Installed = nullptr;

} // namespace

PasswordComponents &passwordComponents() { return Installed ? *Installed : Default; }
void setPasswordComponents(PasswordComponents *port) { Installed = port; }
