// The saver's other copies: one process of the program for each monitor that
// shows a scene of its own, started with the saver's own arguments and the
// monitor's name in LUMENVEIL_SCREEN (as the Linux host starts its copies), so
// that every scene keeps the whole frame state of a process to itself. The copies end with the saver
// (asked to close, else ended; a job ends them should the saver itself die),
// and a copy ending by itself (input on its monitor) ends the saver.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The exit code of a copy whose monitor went away: its end is not the saver's.
inline constexpr int MonitorGoneExit = 3;

// The variable naming a copy's monitor.
inline constexpr const char *MonitorVariable = "LUMENVEIL_SCREEN";

class MonitorCopies {
public:
  // program: the program's file; arguments: its command line after the
  // program's name, as every copy gets it.
  MonitorCopies(std::string program, std::string arguments);
  ~MonitorCopies();
  MonitorCopies(const MonitorCopies &) = delete;
  MonitorCopies &operator=(const MonitorCopies &) = delete;

  // Keeps a copy running for each monitor named, and only for them: starts
  // the missing ones and ends those of monitors no longer named.
  void follow(const std::vector<std::string> &monitors);
  // True once a copy ended by itself with 0 (input, a close request): the
  // saver ends too. Copies that ended otherwise are forgotten.
  bool oneEnded();
  // Asks every copy to close and waits for them a moment; ends the rest.
  void endAll();

  size_t running() const { return copies_.size(); }
  // The command line a copy is started with.
  std::string commandLine() const;

private:
  struct Copy {
    std::string monitor;
    PROCESS_INFORMATION process;
  };
  void end(std::vector<Copy> &copies);

  std::string program_, arguments_;
  HANDLE job_ = nullptr;
  std::vector<Copy> copies_;
};
