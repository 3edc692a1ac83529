// The settings file on disk, as the registry store sees it: where it is, what
// it holds, and replacing it so that a crash, a full disk or another program
// saving at the same moment never leaves it half written. The store decides
// what to write; the host installs the file system (hosts/posix on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One version of a file: a save that finds the file's stamp changed since it
// read the file re-reads it rather than overwrite someone else's edit.
struct SettingsFileStamp {
  bool exists = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0; // last change of the file's status (mode, links)
  bool operator==(const SettingsFileStamp &) const = default;
};

enum class SettingsFileStatus {
  Read,       // bytes hold the whole file
  Missing,    // there is no file (a missing folder, or the null device)
  NotRegular, // a folder, a pipe, a device: never read nor replaced
  TooLarge,   // over the limit asked for: bytes hold only the file's start
  Failed,     // the file is there but could not be read: error says why
};

struct SettingsFileContents {
  SettingsFileStatus status = SettingsFileStatus::Missing;
  std::string bytes;
  std::string error;
  SettingsFileStamp stamp; // of the file that was read
};

enum class SettingsFileReplace { Done, Changed, Failed };

class SettingsFiles {
public:
  virtual ~SettingsFiles() = default;

  // The file used when the user names none.
  virtual std::string defaultPath() = 0;
  // The file a save writes for path: symbolic links followed to the end, so
  // that they are kept, even when the file at the end does not exist yet.
  virtual std::string target(const std::string &path) = 0;
  virtual SettingsFileStamp stamp(const std::string &path) = 0;
  // Never waits for a writer (a named pipe is NotRegular at once).
  virtual SettingsFileContents read(const std::string &path, size_t maxBytes) = 0;

  // The save lock beside path, taken after making the folders above path.
  // Another save holds it briefly; after a wait of 10 s it fails.
  virtual bool lock(const std::string &path, std::string &error) = 0;
  virtual void unlock() = 0;
  // Writes text to a temporary file beside path and flushes it to the disk.
  // It takes path's mode (with read and write for the owner added), or the
  // owner's read and write alone when path does not exist.
  virtual bool writeTemporary(const std::string &path, const std::string &text, std::string &error) = 0;
  virtual void discardTemporary(const std::string &path) = 0;
  // Renames path to the first of path.unreadable, path.unreadable.1, ... that
  // is free; aside receives that name.
  virtual bool moveAside(const std::string &path, std::string &aside, std::string &error) = 0;
  // Renames the temporary file over path and flushes the folder, unless path
  // is no longer the file stamped expected (then Changed, and the temporary
  // file is kept for the caller to discard or write again).
  virtual SettingsFileReplace replace(const std::string &path, const SettingsFileStamp &expected,
                                      std::string &error) = 0;
};

// The file system in use: the one a host (or a test) installed; by default
// one with no files, where nothing can be saved.
SettingsFiles &settingsFiles();
// Installs a file system; nullptr returns to the default.
void setSettingsFiles(SettingsFiles *files);
