// Process priority on Windows: the system's idle, normal and high priority
// classes (never the real-time class).
#pragma once

#include "platform/priority.h"

class Win32Priority : public PriorityControl {
public:
  bool setPriority(ProcessPriority priority) override;
};
