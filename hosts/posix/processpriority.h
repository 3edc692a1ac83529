// Process priority on Linux: idle is the idle scheduling class, normal the
// ordinary class at the nice value the program started with, high a lower
// nice value where the user may have one.
#pragma once

#include "platform/priority.h"

class PosixPriority : public PriorityControl {
public:
  PosixPriority();
  bool setPriority(ProcessPriority priority) override;

private:
  int startNice_;
};
