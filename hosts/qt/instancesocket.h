// How running copies of the program find each other: each listens on a local
// socket named after its window title (and the user), and a newer copy asks
// it to raise its window or to close.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QLocalServer;

class InstanceSocket {
public:
  InstanceSocket();
  ~InstanceSocket();
  InstanceSocket(const InstanceSocket &) = delete;
  InstanceSocket &operator=(const InstanceSocket &) = delete;

  // Listens under `title`, taking the name over from a copy that died;
  // onClose and onRaise run when another copy asks.
  void listen(const std::string &title, std::function<void()> onClose, std::function<void()> onRaise);

  // Whether a copy listens under `title`.
  static bool find(const std::string &title);
  // Asks the copy under `title` to raise its window, or to close.
  static void raise(const std::string &title);
  static void close(const std::string &title);

private:
  static void send(const std::string &title, const char *what);
  std::unique_ptr<QLocalServer> server_;
};
