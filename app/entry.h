// The program's entry: the command line, the run modes, the single-instance
// rules, start-up, the main loop and the exit steps.
#pragma once

#include <string>

enum class RunMode { Saver, Configure, Preview, ChangePassword, WriteDefaults };

extern const char *const SaverTitle;
extern const char *const ControlPanelTitle;

struct CommandLine {
  RunMode mode = RunMode::Saver;
  char letter = 0;           // the switch letter in lower case, 0 when there is no switch
  char after = 0;            // the character after the letter (the scene digit of /s1, /s2)
  bool checkRunning = false; // /s and /c look for a running copy first
  long handle = 0;           // the window handle of /p, /l, /a and /c (the dialog's owner)
};

// Reads the switch: only the first '/' counts; the letter compares without
// regard to case; a handle is read as a decimal number three characters after
// the '/', and is 0 when nothing can be read there.
CommandLine parseCommandLine(const std::string &commandLine);

// The whole program; returns the exit code (0, or -1 when the 3D board cannot
// be opened for the saver).
int runSaver(void *instance, const CommandLine &switches);
// The same for a switch line as the system passes it (read by parseCommandLine).
int runSaver(void *instance, const std::string &commandLine);

bool findRunningInstance(const std::string &title, bool closeIt);
bool isWindowsNT();
bool isWindows9x();

// Windows 95/98 is told that a saver runs while a password-protected saver
// runs (so the system's task switch keys stay away from it), and told the
// end on every way out of the saver.
void announceSaverRunning(bool usePassword);
void announceSaverEnded();
