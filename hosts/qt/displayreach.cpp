#include "hosts/qt/displayreach.h"

#include <QString>
#include <QtGlobal>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(LV_HAVE_XCB)
#include <xcb/xcb.h>
#endif

namespace {

std::string env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

// The first platform plug-in the toolkit will try: QT_QPA_PLATFORM's first
// entry without its options, else the X11 one unless a Wayland session is
// named (then the toolkit picks for itself: not checked here).
std::string firstPlatform() {
  std::string p = env("QT_QPA_PLATFORM");
  if (p.empty()) return env("WAYLAND_DISPLAY").empty() && env("XDG_SESSION_TYPE") != "wayland" ? "xcb" : "";
  p = p.substr(0, p.find(';'));
  return p.substr(0, p.find(':'));
}

std::string quoted(const std::string &s) { return "\"" + s + "\""; }

std::string x11Unreachable() {
  const std::string name = env("DISPLAY");
  if (name.empty()) return "no display (DISPLAY is not set)";
#if defined(LV_HAVE_XCB)
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  const int error = xcb_connection_has_error(c);
  xcb_disconnect(c);
  if (error == 0) return "";
  const char *why = error == XCB_CONN_CLOSED_PARSE_ERR ? "not a display name"
                    : error == XCB_CONN_ERROR          ? "no X server answers there"
                                                       : "the X server refused the connection";
  return "cannot open display " + quoted(name) + " (" + why + ")";
#else
  return "";
#endif
}

std::string waylandUnreachable() {
  std::string name = env("WAYLAND_DISPLAY");
  if (name.empty()) name = "wayland-0";
  std::string path = name;
  if (name[0] != '/') {
    const std::string runtime = env("XDG_RUNTIME_DIR");
    if (runtime.empty())
      return "cannot open Wayland display " + quoted(name) + " (XDG_RUNTIME_DIR is not set)";
    path = runtime + "/" + name;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path)
    return "cannot open Wayland display " + quoted(path) + " (name too long)";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return "";
  const bool ok = ::connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
  const int error = errno;
  ::close(s);
  if (ok) return "";
  return "cannot open Wayland display " + quoted(path) + " (" + std::strerror(error) + ")";
}

QtMessageHandler Previous = nullptr;

std::string displayNames() {
  std::string names;
  for (const char *v : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"})
    if (const char *value = std::getenv(v)) names += std::string(names.empty() ? "" : ", ") + v + "=" + value;
  return names.empty() ? "no display named" : names;
}

void startMessages(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  if (type != QtFatalMsg) {
    if (Previous) Previous(type, context, message);
    return;
  }
  std::fprintf(stderr, "lumenveil: cannot open the display (%s): %s\n", displayNames().c_str(),
               message.toLocal8Bit().constData());
  std::fflush(stderr);
  std::_Exit(2);
}

} // namespace

std::string displayUnreachable() {
  const std::string platform = firstPlatform();
  if (platform == "xcb") return x11Unreachable();
  if (platform == "wayland" || platform.rfind("wayland-", 0) == 0) return waylandUnreachable();
  return "";
}

DisplayStartGuard::DisplayStartGuard() { Previous = qInstallMessageHandler(startMessages); }

DisplayStartGuard::~DisplayStartGuard() { qInstallMessageHandler(Previous); }
