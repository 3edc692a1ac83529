// The saver's copies on the other screens: where each monitor shows its own
// scene, every screen but the first gets a copy of the program of its own,
// started with the run's own arguments and the screen's name in
// LUMENVEIL_SCREEN, so that each scene and its frame state stay independent. The copies and the first run end together: a copy that ends
// by itself (input on its screen) ends the run, and the run's end ends them.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QProcess;

// The exit code of a copy whose screen was gone when it started (unplugged
// meanwhile): its end does not end the run.
inline constexpr int ScreenGoneExitCode = 3;

// The variable naming a copy's screen.
inline constexpr const char *ScreenVariable = "LUMENVEIL_SCREEN";

class ScreenCopies : public QObject {
public:
  // arguments: the program's own; ended: called once a copy has ended by itself.
  ScreenCopies(const QStringList &arguments, std::function<void()> ended);
  ~ScreenCopies() override;

  bool has(const QString &screen) const;
  void start(const QString &screen);
  // Ends the copy on that screen (unplugged), which does not end the run.
  void stop(const QString &screen);
  // The screens with a copy.
  QStringList screens() const;
  bool empty() const { return copies_.empty(); }

private:
  struct Copy {
    QString screen;
    QProcess *process;
  };
  void finished(QProcess *process, int code);
  static void end(QProcess *process);

  QStringList arguments_;
  std::function<void()> ended_;
  std::vector<Copy> copies_;
};
