// The registry store kept in one text file in the registry editor's export
// format ("REGEDIT4").
//
// The file is LUMENVEIL_REGISTRY if set, else $XDG_CONFIG_HOME/lumenveil/registry.reg,
// else ~/.config/lumenveil/registry.reg. A missing file is an empty registry;
// LUMENVEIL_REGISTRY=/dev/null keeps the registry in memory only.
//
// Writes are collected and saved when the last key opened for writing is
// closed (or at registryFlush): the file is re-read under a lock, only the
// written values change, and the new file replaces the old one in one rename.
// Everything else in the file (other keys and values, comments, value types
// the program never writes) is kept as it was. A file that does not begin as
// a settings file ("REGEDIT4" or the version 5 export's first line, after any
// blank lines) is someone else's: it is never moved aside nor replaced, and
// the run keeps its writes in memory. The file itself is reached through the
// file-system port (platform/settingsfile.h).
#pragma once

#include <string>

#include "platform/registry_store.h"

// The store over the settings file, for a host to install.
RegistryStore &fileRegistryStore();

// Uses path from now on instead of the environment's choice; an empty path
// returns to it. Forgets whatever was read from the previous file.
void setRegistryFilePath(const std::string &path);
// Keeps the registry in memory only, starting empty: nothing is read or written.
void useInMemoryRegistry();

// For tests: called during a save after the new file is written and flushed,
// just before it replaces the old one.
void setRegistryBeforeReplaceHook(void (*hook)());
