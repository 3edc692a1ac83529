// One idle watcher a session: a lock on a file named after the display, in
// the user's runtime folder, held while the watcher runs and let go by the
// system however the watcher ends.
#pragma once

#include <string>

class SessionLock {
public:
  SessionLock() = default;
  ~SessionLock();
  SessionLock(const SessionLock &) = delete;
  SessionLock &operator=(const SessionLock &) = delete;

  // Takes the lock of `session` (e.g. "wayland-0", "x11-:0"); false with
  // `error` set when another watcher holds it or the file cannot be used.
  bool take(const std::string &session, std::string &error);

private:
  int fd_ = -1;
};

// The lock file of `session`: $XDG_RUNTIME_DIR/lumenveil-idle-UID-SESSION.lock
// (the temporary folder without a runtime folder), the session's name made safe.
std::string sessionLockPath(const std::string &session);
