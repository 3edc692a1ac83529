// The process's scheduling priority (the priority class of the program).
#pragma once

enum class ProcessPriority { Idle, Normal, High };

class PriorityControl {
public:
  virtual ~PriorityControl() = default;
  // Moves the whole process to the priority; false when the system refused
  // (the process then keeps the priority it had).
  virtual bool setPriority(ProcessPriority priority) = 0;
};

// The installed port; by default one that changes nothing.
PriorityControl &priorityControl();
// Installs a port; nullptr returns to the default.
void setPriorityControl(PriorityControl *port);
