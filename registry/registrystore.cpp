// The registry store: open keys, the writes not yet saved, and the save that
// merges them into the settings file as it is at that moment.
#include "registry/registrystore.h"

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/messagebox.h"
#include "platform/settingsfile.h"
#include "registry/regformat.h"

namespace {

// Saves in a row that find the file changed by someone else between reading
// it and replacing it, before the save gives up.
constexpr int MaxSaveAttempts = 8;

struct OpenKey {
  std::vector<std::string> path;
  bool writable = false;
};

// What a path holds, as far as the settings are concerned.
enum class FileKind {
  Settings,   // a settings file, read into doc
  Missing,    // nothing: an empty registry
  Foreign,    // some other file: never moved aside nor replaced
  NotRegular, // a folder, a pipe, a device
  Damaged,    // begins as a settings file (or cannot be looked at) but cannot be read
};

struct FileRead {
  FileKind kind = FileKind::Missing;
  RegDocument doc;
  std::string error; // Damaged: why
  SettingsFileStamp stamp;
};

enum class SaveResult { Saved, Failed, Refused };

bool PathChosen = false;
bool InMemory = false;
std::string FilePath;

RegDocument Doc;
bool DocValid = false; // Doc holds what the file held at Stamp
SettingsFileStamp Stamp;
SettingsFileStamp ReportedStamp; // the unreadable file already reported
bool ReportedAny = false;
std::string LastFailure; // the save failure last told, not told again this round

std::map<LvHkey, OpenKey> Keys;
LvHkey NextHandle = 1;
int OpenWritable = 0;
std::vector<RegWrite> Pending;
// Writes the file refused (it is not a settings file): this run's alone.
std::vector<RegWrite> KeptInMemory;

void (*BeforeReplaceHook)() = nullptr;

void choosePath() {
  if (PathChosen) return;
  PathChosen = true;
  FilePath = settingsFiles().defaultPath();
  InMemory = FilePath == "/dev/null";
}

// Reads and classifies the file at path; a settings file is parsed into the
// result's doc unless parse is false.
FileRead readSettings(const std::string &path, bool parse = true) {
  FileRead r;
  SettingsFileContents c = settingsFiles().read(path, RegMaxFileBytes);
  r.stamp = c.stamp;
  switch (c.status) {
  case SettingsFileStatus::Missing: r.kind = FileKind::Missing; break;
  case SettingsFileStatus::NotRegular:
    r.kind = FileKind::NotRegular;
    r.error = "not a regular file";
    break;
  case SettingsFileStatus::Failed:
    r.kind = FileKind::Damaged;
    r.error = c.error;
    break;
  case SettingsFileStatus::TooLarge:
    r.kind = startsAsSettingsFile(c.bytes) ? FileKind::Damaged : FileKind::Foreign;
    r.error = "the file is larger than 16 MB";
    break;
  case SettingsFileStatus::Read:
    if (!startsAsSettingsFile(c.bytes)) {
      r.kind = FileKind::Foreign;
    } else if (!parse) {
      r.kind = FileKind::Settings;
    } else if (auto e = parseRegDocument(c.bytes, r.doc)) {
      r.kind = FileKind::Damaged;
      r.error = e->line ? "line " + std::to_string(e->line) + ": " + e->what : e->what;
    } else {
      r.kind = FileKind::Settings;
    }
    break;
  }
  return r;
}

void tell(const std::string &text, const char *caption) { messageBox(text.c_str(), caption, LV_MB_OK); }

// Tells of the file at stamp once: not again while the file stays as it is.
bool firstReport(const SettingsFileStamp &stamp) {
  if (ReportedAny && ReportedStamp == stamp) return false;
  ReportedAny = true;
  ReportedStamp = stamp;
  return true;
}

void tellForeign(const std::string &target) {
  std::string name = FilePath;
  if (target != FilePath) name += " (which leads to " + target + ")";
  tell("The file " + name +
           " is not a Lumenveil settings file: it does not begin with \"REGEDIT4\" or \"Windows "
           "Registry Editor Version 5.00\". Lumenveil leaves it as it is and keeps this run's "
           "settings in memory only.",
       "Error");
}

// Makes Doc what the file holds now, with the unsaved writes on top. An
// unreadable file is reported once, unless a save is under way that will
// report it itself when it moves the file aside.
void refresh(bool reportUnreadable = true) {
  choosePath();
  if (InMemory) {
    DocValid = true;
    return;
  }
  SettingsFileStamp now = settingsFiles().stamp(FilePath);
  if (DocValid && now == Stamp) return;
  FileRead r = readSettings(FilePath);
  Doc = r.kind == FileKind::Settings ? std::move(r.doc) : RegDocument{};
  Stamp = now;
  DocValid = true;
  if (reportUnreadable && r.kind == FileKind::Foreign && firstReport(now)) {
    tellForeign(settingsFiles().target(FilePath));
  } else if (reportUnreadable && (r.kind == FileKind::Damaged || r.kind == FileKind::NotRegular) &&
             firstReport(now)) {
    std::string text = "The settings file " + FilePath + " cannot be read (" + r.error +
                       "). Lumenveil goes on with its default settings.";
    if (r.kind == FileKind::Damaged)
      text += " The file is kept as it is; when settings are next saved it is moved aside to " + FilePath +
              ".unreadable.";
    messageBox(text.c_str(), "Error", LV_MB_OK);
  }
  for (const RegWrite &w : KeptInMemory) applyRegWrite(Doc, w);
  for (const RegWrite &w : Pending) applyRegWrite(Doc, w);
}

std::vector<std::string> rootPath(LvHkey root) {
  if (root == LV_HKEY_CURRENT_USER) return {"HKEY_CURRENT_USER"};
  if (root == LV_HKEY_LOCAL_MACHINE) return {"HKEY_LOCAL_MACHINE"};
  return {};
}

// The path of an open key, or empty for an invalid handle.
std::vector<std::string> pathOf(LvHkey key) {
  std::vector<std::string> root = rootPath(key);
  if (!root.empty()) return root;
  auto it = Keys.find(key);
  return it == Keys.end() ? std::vector<std::string>{} : it->second.path;
}

bool validName(std::string_view s) {
  return s.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

long splitSubkey(const char *subkey, std::vector<std::string> &path) {
  if (!subkey) return LV_ERROR_SUCCESS;
  std::string_view s(subkey);
  size_t start = 0;
  while (start <= s.size()) {
    size_t bs = s.find('\\', start);
    std::string_view comp = s.substr(start, bs == std::string_view::npos ? s.npos : bs - start);
    if (comp.size() > RegistryMaxNameLength || !validName(comp)) return LV_ERROR_INVALID_PARAMETER;
    if (!comp.empty()) path.emplace_back(comp);
    if (bs == std::string_view::npos) break;
    start = bs + 1;
  }
  return LV_ERROR_SUCCESS;
}

LvHkey newHandle(std::vector<std::string> path, bool writable) {
  while (Keys.count(NextHandle) || NextHandle >= 0x80000000u) {
    NextHandle = NextHandle >= 0x7FFFFFFFu ? 1 : NextHandle + 1;
  }
  LvHkey h = NextHandle++;
  Keys[h] = OpenKey{std::move(path), writable};
  if (writable) ++OpenWritable;
  return h;
}

long openOrCreate(LvHkey parent, const char *subkey, LvHkey *result, bool create) {
  if (!result) return LV_ERROR_INVALID_PARAMETER;
  std::vector<std::string> path = pathOf(parent);
  if (path.empty()) return LV_ERROR_INVALID_HANDLE;
  if (long r = splitSubkey(subkey, path)) return r;
  // A walk from a root sees the file as it is now. Reading starts a new round
  // of saves: a failure told in the last round is told again.
  if (!rootPath(parent).empty())
    refresh(!create);
  else
    choosePath();
  if (!create) LastFailure.clear();
  if (!regKeyExists(Doc, path)) {
    if (!create) return LV_ERROR_FILE_NOT_FOUND;
    RegWrite w;
    w.path = path;
    Pending.push_back(w);
    createRegKey(Doc, path);
  }
  *result = newHandle(std::move(path), create);
  return LV_ERROR_SUCCESS;
}

// A file that is not a settings file keeps the writes in memory; the user
// hears of it once.
SaveResult refuse(const std::string &target, const SettingsFileStamp &stamp) {
  if (firstReport(stamp)) tellForeign(target);
  return SaveResult::Refused;
}

// Saves the pending writes to the file: under the lock, re-read, apply,
// write a temporary file, flush it and rename it over the old one. A file
// that changed between the read and the rename is read again.
SaveResult saveToFile(std::string &error) {
  SettingsFiles &files = settingsFiles();
  std::string target = files.target(FilePath);
  // A look before the lock: no lock file is ever made beside someone else's file.
  FileRead look = readSettings(target, false);
  if (look.kind == FileKind::NotRegular) {
    error = "it is not a regular file";
    return SaveResult::Failed;
  }
  if (look.kind == FileKind::Foreign) return refuse(target, look.stamp);
  if (!files.lock(target, error)) return SaveResult::Failed;

  SaveResult result = SaveResult::Failed;
  std::string aside; // where this save moved an unreadable file
  std::string asideReason;
  for (int attempt = 1;; ++attempt) {
    FileRead now = readSettings(target);
    if (now.kind == FileKind::NotRegular) {
      error = "it is not a regular file";
      break;
    }
    if (now.kind == FileKind::Foreign) {
      result = refuse(target, now.stamp);
      break;
    }
    bool damaged = now.kind == FileKind::Damaged;
    if (damaged && !aside.empty()) {
      error = "it cannot be read (" + now.error + ") and was changed while it was being saved";
      break;
    }
    RegDocument fresh = damaged ? RegDocument{} : std::move(now.doc);
    for (const RegWrite &w : KeptInMemory) applyRegWrite(fresh, w);
    for (const RegWrite &w : Pending) applyRegWrite(fresh, w);
    std::string text = renderRegDocument(fresh);
    // A file past the limit could never be read again: the next start would
    // move it aside with every setting in it.
    if (text.size() > RegMaxFileBytes) {
      error = "it would grow larger than 16 MB";
      break;
    }
    if (!files.writeTemporary(target, text, error)) break;
    SettingsFileStamp expected = now.stamp;
    if (damaged) {
      // Only now that the new file is safely on the disk is the old one moved
      // out of its way.
      if (!files.moveAside(target, aside, error)) {
        error = "it cannot be read (" + now.error + ") and " + error;
        aside.clear();
        files.discardTemporary(target);
        break;
      }
      asideReason = now.error;
      expected = SettingsFileStamp{};
    }
    if (BeforeReplaceHook) BeforeReplaceHook();
    SettingsFileReplace replaced = files.replace(target, expected, error);
    if (replaced == SettingsFileReplace::Done) {
      Doc = std::move(fresh);
      Stamp = files.stamp(FilePath);
      DocValid = true;
      KeptInMemory.clear();
      result = SaveResult::Saved;
      break;
    }
    if (replaced == SettingsFileReplace::Failed) break;
    files.discardTemporary(target);
    if (attempt == MaxSaveAttempts) {
      error = "another program kept changing it while it was being saved";
      break;
    }
    // Give the other program a moment to finish what it is writing.
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt));
  }
  files.unlock();
  if (!aside.empty()) {
    if (result == SaveResult::Saved)
      tell("The settings file " + target + " could not be read (" + asideReason + "), so it was kept as " +
               aside + " and a new settings file was written.",
           "Lumenveil settings");
    else
      error += "; the unreadable file was kept as " + aside;
  }
  return result;
}

class FileRegistry : public RegistryStore {
public:
  long openKey(LvHkey parent, const char *subkey, LvHkey *result) override {
    return openOrCreate(parent, subkey, result, false);
  }

  long createKey(LvHkey parent, const char *subkey, LvHkey *result) override {
    return openOrCreate(parent, subkey, result, true);
  }

  long queryValue(LvHkey key, const char *name, uint32_t *type, void *data, uint32_t *size) override {
    std::vector<std::string> path = pathOf(key);
    if (path.empty()) return LV_ERROR_INVALID_HANDLE;
    choosePath();
    if (!DocValid) refresh();
    const RegValue *v = findRegValue(Doc, path, name ? name : "");
    if (!v) return LV_ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    if (!size) return data ? LV_ERROR_INVALID_PARAMETER : LV_ERROR_SUCCESS;
    uint32_t need = uint32_t(v->data.size());
    if (data && *size < need) {
      *size = need;
      return LV_ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, v->data.data(), need);
    *size = need;
    return LV_ERROR_SUCCESS;
  }

  long setValue(LvHkey key, const char *name, uint32_t type, const void *data, uint32_t size) override {
    auto it = Keys.find(key);
    if (it == Keys.end()) return rootPath(key).empty() ? LV_ERROR_INVALID_HANDLE : LV_ERROR_ACCESS_DENIED;
    if (!it->second.writable) return LV_ERROR_ACCESS_DENIED;
    std::string_view n = name ? name : "";
    if (n.size() > RegMaxValueNameLength || !validName(n)) return LV_ERROR_INVALID_PARAMETER;
    if (size && !data) return LV_ERROR_INVALID_PARAMETER;
    if (type == LV_REG_DWORD && size != 4) return LV_ERROR_INVALID_PARAMETER;
    RegWrite w;
    w.isValue = true;
    w.path = it->second.path;
    w.value.name = std::string(n);
    w.value.type = type;
    w.value.data.assign(static_cast<const char *>(data), size);
    if ((type == LV_REG_SZ || type == LV_REG_EXPAND_SZ) &&
        (w.value.data.empty() || w.value.data.back() != '\0'))
      w.value.data += '\0';
    if (!DocValid) refresh();
    setRegValue(Doc, w.path, w.value);
    Pending.push_back(std::move(w));
    return LV_ERROR_SUCCESS;
  }

  long closeKey(LvHkey key) override {
    if (!rootPath(key).empty()) return LV_ERROR_SUCCESS;
    auto it = Keys.find(key);
    if (it == Keys.end()) return LV_ERROR_INVALID_HANDLE;
    bool writable = it->second.writable;
    Keys.erase(it);
    if (writable && --OpenWritable == 0 && !Pending.empty())
      return flush() ? LV_ERROR_SUCCESS : LV_ERROR_CANTWRITE;
    return LV_ERROR_SUCCESS;
  }

  bool flush() override {
    choosePath();
    if (Pending.empty()) return true;
    if (InMemory) {
      Pending.clear();
      return true;
    }
    std::string error;
    SaveResult r = saveToFile(error);
    if (r == SaveResult::Refused) {
      // Still visible to this run's reads, and saved should the file become a
      // settings file again.
      KeptInMemory.insert(KeptInMemory.end(), Pending.begin(), Pending.end());
      Pending.clear();
      return false;
    }
    Pending.clear();
    if (r == SaveResult::Failed) {
      DocValid = false; // show what the file holds, not the writes that were lost
      // Several groups saved in a row that fail alike are told of once.
      std::string text = "Lumenveil could not save its settings to " + FilePath + ": " + error + ".";
      if (text != LastFailure) tell(text, "Error");
      LastFailure = text;
      return false;
    }
    LastFailure.clear();
    return true;
  }

  std::string filePath() override {
    choosePath();
    return InMemory ? std::string() : FilePath;
  }
};

FileRegistry Store;

} // namespace

RegistryStore &fileRegistryStore() { return Store; }

void setRegistryFilePath(const std::string &path) {
  Pending.clear();
  KeptInMemory.clear();
  PathChosen = true;
  FilePath = path.empty() ? settingsFiles().defaultPath() : path;
  InMemory = FilePath == "/dev/null";
  Doc = RegDocument{};
  DocValid = false;
  Stamp = SettingsFileStamp{};
  ReportedAny = false;
  LastFailure.clear();
}

void useInMemoryRegistry() { setRegistryFilePath("/dev/null"); }

void setRegistryBeforeReplaceHook(void (*hook)()) { BeforeReplaceHook = hook; }
