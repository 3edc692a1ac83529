#include "platform/priority.h"

namespace {

class Unchanged : public PriorityControl {
public:
  bool setPriority(ProcessPriority) override { return false; }
};

Unchanged Default;
PriorityControl *Installed = nullptr;

} // namespace

PriorityControl &priorityControl() { return Installed ? *Installed : Default; }
void setPriorityControl(PriorityControl *port) { Installed = port; }
