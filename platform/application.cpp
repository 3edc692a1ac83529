#include "platform/application.h"

namespace {
Application *Current = nullptr;
}

void setApplication(Application *app) { Current = app; }

Application &application() {
  if (!Current) throw std::logic_error("no application object installed");
  return *Current;
}

bool haveApplication() { return Current != nullptr; }
