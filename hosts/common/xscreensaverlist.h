// Adding the program to XScreenSaver's list of hacks: the "programs" resource
// of the user's ~/.xscreensaver, a value continued over lines ending in a
// backslash, one hack a line, each ended by "\n" (optionally "-" for off, a
// visual such as "GL:", a "quoted name", then the command).
#pragma once

#include <string>

// The line added: two blanks, the quoted name, the command with -root, "\n".
std::string xscreensaverEntry(const std::string &command);

// Whether the programs resource of `text` runs `program` (by the command's
// first word, with or without a folder).
bool listsProgram(const std::string &text, const std::string &program);

// `text` with `entry` added as the last hack of its programs resource; every
// other byte is kept. A text without the resource gets one at its end:
// `systemList` (the continuation lines of the system's own programs
// resource, so that its hacks stay listed) followed by the entry.
std::string withProgramEntry(const std::string &text, const std::string &entry,
                             const std::string &systemList);

// The continuation lines of the "*programs" resource of the daemon's
// defaults file (empty when it cannot be read).
std::string systemProgramList(const std::string &defaultsPath);

// Adds `command` to the file at `path` unless it lists the program already:
// the old file is kept as path.bak, the new one written under a temporary
// name and renamed (a link at `path` is written through). A missing file is
// made with the system's list and the entry. `message` says what was done,
// or why it failed (false).
bool registerInFile(const std::string &path, const std::string &command, const std::string &defaultsPath,
                    std::string &message);

// --register-xscreensaver: ~/.xscreensaver; the exit code.
int registerWithXScreenSaver();
