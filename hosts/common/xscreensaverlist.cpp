#include "hosts/common/xscreensaverlist.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hosts/common/outputfile.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

struct Line {
  size_t start, end; // the line's bytes, without its line break
};

std::vector<Line> linesOf(const std::string &text) {
  std::vector<Line> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back({at, end});
    at = end + 1;
  }
  return lines;
}

bool continues(const std::string &text, const Line &l) { return l.end > l.start && text[l.end - 1] == '\\'; }

// The lines of the resource named `name` (a line "name:" or "*name:"): first
// and last index; false when there is none.
bool findResource(const std::string &text, const std::vector<Line> &lines, const std::string &name,
                  size_t &first, size_t &last) {
  for (size_t i = 0; i < lines.size(); ++i) {
    size_t at = lines[i].start;
    while (at < lines[i].end && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at < lines[i].end && text[at] == '*') ++at;
    if (text.compare(at, name.size(), name) != 0) continue;
    at += name.size();
    while (at < lines[i].end && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at >= lines[i].end || text[at] != ':') continue;
    first = last = i;
    while (last + 1 < lines.size() && continues(text, lines[last])) ++last;
    return true;
  }
  return false;
}

std::string trimmed(const std::string &s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") + 1 - a);
}

// The command's program of one hack: past "-", a visual ("GL:") and the name.
std::string programOf(std::string entry) {
  entry = trimmed(entry);
  if (!entry.empty() && entry[0] == '-') entry = trimmed(entry.substr(1));
  const size_t colon = entry.find(':'), space = entry.find_first_of(" \t\"");
  if (colon != std::string::npos && (space == std::string::npos || colon < space))
    entry = trimmed(entry.substr(colon + 1));
  if (!entry.empty() && entry[0] == '"') {
    const size_t close = entry.find('"', 1);
    entry = close == std::string::npos ? "" : trimmed(entry.substr(close + 1));
  }
  entry = entry.substr(0, entry.find_first_of(" \t"));
  const size_t slash = entry.find_last_of('/');
  return slash == std::string::npos ? entry : entry.substr(slash + 1);
}

bool readWhole(const std::string &path, std::string &text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool writeWhole(const std::string &path, const std::string &text, std::string &error) {
  OutputFile out;
  if (!out.open(path, false) || !out.write(text.data(), text.size()) || !out.commit()) {
    error = out.error();
    return false;
  }
  return true;
}

} // namespace

std::string xscreensaverEntry(const std::string &command) {
  return "  \"Lumenveil\"  " + command + " -root \\n";
}

bool listsProgram(const std::string &text, const std::string &program) {
  const std::vector<Line> lines = linesOf(text);
  size_t first = 0, last = 0;
  if (!findResource(text, lines, "programs", first, last)) return false;
  std::string value;
  for (size_t i = first; i <= last; ++i) {
    std::string line = text.substr(lines[i].start, lines[i].end - lines[i].start);
    if (i == first) line = line.substr(line.find(':') + 1);
    if (continues(text, lines[i])) line.pop_back();
    value += line;
  }
  // The hacks are separated by the two characters \n.
  for (size_t at = 0; at <= value.size();) {
    size_t end = value.find("\\n", at);
    if (end == std::string::npos) end = value.size();
    if (programOf(value.substr(at, end - at)) == program) return true;
    at = end + 2;
  }
  return false;
}

std::string withProgramEntry(const std::string &text, const std::string &entry,
                             const std::string &systemList) {
  const std::vector<Line> lines = linesOf(text);
  size_t first = 0, last = 0;
  if (!findResource(text, lines, "programs", first, last)) {
    // The system's hacks, then ours, as a resource of its own at the end.
    std::string added = text;
    if (!added.empty() && added.back() != '\n') added += '\n';
    std::string resource = "programs:\t\\\n" + systemList;
    if (!resource.empty() && resource.back() != '\n') resource += '\n';
    return added + withProgramEntry(resource, entry, "");
  }
  const Line &end = lines[last];
  const std::string lastLine = text.substr(end.start, end.end - end.start);
  std::string insert;
  size_t at = 0;
  if (trimmed(lastLine).empty() && last > first) {
    // The value ended by a blank line: the entry goes before it, continued.
    at = end.start;
    insert = entry + "\\\n";
  } else if (continues(text, end)) {
    // Continued into the end of the file: the entry follows, continued alike.
    at = end.end < text.size() ? end.end + 1 : text.size();
    insert = (at == text.size() && end.end == text.size() ? "\n" : "") + entry + "\\\n";
  } else {
    // The last hack's line ends the value: it is continued into the entry.
    at = end.end;
    const std::string t = trimmed(lastLine);
    const bool ended = t.size() >= 2 && t.compare(t.size() - 2, 2, "\\n") == 0;
    const bool emptyValue = last == first && trimmed(lastLine.substr(lastLine.find(':') + 1)).empty();
    insert = std::string(ended || emptyValue ? "" : "\\n") + "\\\n" + entry;
  }
  return text.substr(0, at) + insert + text.substr(at);
}

std::string systemProgramList(const std::string &defaultsPath) {
  std::string text;
  if (!readWhole(defaultsPath, text)) return "";
  const std::vector<Line> lines = linesOf(text);
  size_t first = 0, last = 0;
  if (!findResource(text, lines, "programs", first, last) || last == first) return "";
  size_t stop = last;
  // A blank line that ends the value is not one of its hacks.
  if (trimmed(text.substr(lines[last].start, lines[last].end - lines[last].start)).empty()) --stop;
  if (stop == first) return "";
  return text.substr(lines[first + 1].start, lines[stop].end - lines[first + 1].start) + "\n";
}

bool registerInFile(const std::string &path, const std::string &command, const std::string &defaultsPath,
                    std::string &message) {
  std::string target = path;
#ifndef _WIN32
  // A link (a dotfiles folder's, say) is written through, not replaced.
  if (char *real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
#endif
  std::string old;
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    message = "cannot change " + path + ": it is not a regular file";
    return false;
  }
  if (exists && !readWhole(target, old)) {
    message = "cannot read " + path;
    return false;
  }
  if (exists && listsProgram(old, "lumenveil")) {
    message = path + " already lists lumenveil among its programs; nothing changed";
    return true;
  }
  std::string text = old;
  if (!exists)
    text = "# XScreenSaver's settings, made by lumenveil --register-xscreensaver: the\n"
           "# system's list of hacks and Lumenveil. Every other setting is the system's.\n\n";
  text = withProgramEntry(text, xscreensaverEntry(command), systemProgramList(defaultsPath));
  std::string error;
  if (exists && !writeWhole(target + ".bak", old, error)) {
    message = "nothing changed: the copy of the old file could not be kept (" + error + ")";
    return false;
  }
  if (!writeWhole(target, text, error)) {
    message = "nothing changed: " + error;
    return false;
  }
#ifndef _WIN32
  if (exists) ::chmod(target.c_str(), st.st_mode & 07777);
#endif
  message = exists ? "added Lumenveil (" + command + ") to the programs of " + path +
                         "; the file as it was is " + target + ".bak"
                   : "made " + path + " with the system's hacks and Lumenveil (" + command + ")";
  return true;
}

int registerWithXScreenSaver() {
  const char *home = std::getenv("HOME");
  if (!home || !*home) {
    std::fprintf(stderr, "lumenveil: HOME is not set: no ~/.xscreensaver to add the program to\n");
    return 1;
  }
  // The daemon finds hacks in the usual folders by name; a copy elsewhere
  // (a build folder) is named by its full path.
  std::string command = "lumenveil";
#ifndef _WIN32
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    const std::string exe(self, size_t(n));
    const std::string folder = exe.substr(0, exe.find_last_of('/'));
    if (folder != "/usr/bin" && folder != "/usr/local/bin" && folder != "/bin" &&
        folder != "/usr/libexec/xscreensaver")
      command = exe;
  }
#endif
  std::string message;
  const bool ok = registerInFile(std::string(home) + "/.xscreensaver", command,
                                 "/etc/X11/app-defaults/XScreenSaver", message);
  std::fprintf(ok ? stdout : stderr, "lumenveil: %s\n", message.c_str());
  return ok ? 0 : 1;
}
