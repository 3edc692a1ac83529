// What the idle watcher asks of a window system: to be told once the session
// has had no input for a while, and to let a wait on it sleep until then.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

enum class IdleEvent { None, Idle, Lost };

class IdleSource {
public:
  virtual ~IdleSource() = default;
  // Starts counting: Idle comes once the session has had no input for `ms`,
  // counted from now at the latest, and not while a program inhibits it.
  virtual void arm(uint32_t ms) = 0;
  // Stops counting (while the saver runs).
  virtual void disarm() = 0;
  // Before a wait: the descriptor to wait on and the longest wait in
  // milliseconds (-1: none); false when the connection is lost.
  virtual bool prepare(int &fd, int &timeoutMs) = 0;
  // After the wait, whatever ended it; `readable`: the descriptor has data.
  virtual IdleEvent update(bool readable) = 0;

  std::string name;  // for the start-up line, e.g. "Wayland (ext-idle-notify-v1)"
  std::string error; // why the connection was lost
};

// nullptr with `error` set when the session cannot tell its idle time.
std::unique_ptr<IdleSource> openWaylandIdle(std::string &error);
std::unique_ptr<IdleSource> openX11Idle(std::string &error);
