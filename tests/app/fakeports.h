// Fake system ports for the run-mode tests: a timer clock the test moves by
// hand, a monitor that records what it was told, a priority that records the
// classes asked for, and a message box that records what the user would see.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "registry/registrystore.h"
#include "platform/messagebox.h"
#include "platform/monitorpower.h"
#include "platform/priority.h"
#include "platform/timers.h"
#include "settings/registrykey.h" // the registry store: a private file per test

class FakeTimers : public TimerService {
public:
  struct Entry {
    TimerId id;
    uint32_t ms;
    uint64_t due;
    TimerProc proc;
  };
  uint64_t now = 0; // milliseconds
  std::vector<Entry> live;
  int started = 0;

  TimerId setTimer(uint32_t ms, TimerProc proc) override {
    ++started;
    live.push_back({++lastId_, ms, now + ms, proc});
    return lastId_;
  }
  void killTimer(TimerId id) override {
    for (size_t i = 0; i < live.size(); ++i)
      if (live[i].id == id) {
        live.erase(live.begin() + static_cast<long>(i));
        return;
      }
  }
  void dispatchDueTimers() override {
    std::vector<TimerId> due;
    for (const Entry &e : live)
      if (e.due <= now) due.push_back(e.id);
    for (TimerId id : due)
      for (Entry &e : live)
        if (e.id == id) {
          e.due = now + e.ms;
          TimerProc p = e.proc;
          p();
          break;
        }
  }
  void idleWait(uint32_t ms) override { waited += ms; }
  // Moves the clock to `to` milliseconds, one millisecond at a time where a
  // timer falls due, dispatching as the main loop would.
  void advanceTo(uint64_t to) {
    while (now < to) {
      uint64_t next = to;
      for (const Entry &e : live)
        if (e.due > now && e.due < next) next = e.due;
      now = next;
      dispatchDueTimers();
    }
  }
  uint64_t waited = 0;

private:
  TimerId lastId_ = 0;
};

class FakeMonitor : public MonitorPower {
public:
  std::vector<int> levels;
  bool mayPowerDown = true;
  int system = LV_MONITOR_ON;
  bool haveTimeouts = false;
  DesktopPowerTimeouts timeouts;

  void setLevel(int level) override { levels.push_back(level); }
  bool programMayPowerDown() override { return mayPowerDown; }
  int systemLevel() override { return system; }
  bool desktopTimeouts(DesktopPowerTimeouts &t) override {
    if (haveTimeouts) t = timeouts;
    return haveTimeouts;
  }
};

class FakePriority : public PriorityControl {
public:
  std::vector<ProcessPriority> asked;
  bool setPriority(ProcessPriority p) override {
    asked.push_back(p);
    return true;
  }
};

struct RecordedBoxes : MessageBoxSink {
  std::vector<std::pair<std::string, std::string>> boxes;
  int show(const char *text, const char *caption, unsigned) override {
    boxes.emplace_back(text, caption);
    return LV_IDOK;
  }
  void beep(int, int) override {}
};

// A settings file of the test's own, empty, in the test's scratch folder; its path.
inline std::string useScratchRegistry(const char *name) {
  const std::string path = ::testing::TempDir() + name;
  std::remove(path.c_str());
  setenv("LUMENVEIL_REGISTRY", path.c_str(), 1);
  setRegistryFilePath(path);
  return path;
}

inline void writeRegistry(const std::string &path, const std::string &body) {
  std::ofstream(path, std::ios::binary) << "REGEDIT4\n\n" << body;
}

inline const std::string PowerGroup =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\PowerManagement]\n";
inline const std::string DesktopGroup = "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n";

inline std::string powerSettings(int override, int standby, int shutOff, int lowMinutes, int offMinutes) {
  char text[400];
  std::snprintf(text, sizeof text,
                "\"Override Window 95 Settings\"=dword:%08x\n\"Low Power Standby\"=dword:%08x\n"
                "\"Shut Off Monitor\"=dword:%08x\n\"Low Power Timeout\"=dword:%08x\n"
                "\"Power Off Timeout\"=dword:%08x\n\n",
                override, standby, shutOff, lowMinutes, offMinutes);
  return PowerGroup + text;
}
