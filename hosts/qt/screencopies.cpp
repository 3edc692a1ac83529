#include "hosts/qt/screencopies.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <cstdio>

namespace {
// How long a copy is given to end on SIGTERM before it is killed.
constexpr int EndPatienceMs = 3000;
} // namespace

ScreenCopies::ScreenCopies(const QStringList &arguments, std::function<void()> ended)
    : arguments_(arguments), ended_(std::move(ended)) {}

ScreenCopies::~ScreenCopies() {
  // Told first, all together, then waited for: they end in parallel.
  for (Copy &c : copies_) {
    c.process->disconnect(this);
    c.process->terminate();
  }
  for (Copy &c : copies_) end(c.process);
}

void ScreenCopies::end(QProcess *process) {
  process->terminate();
  if (!process->waitForFinished(EndPatienceMs)) {
    process->kill();
    process->waitForFinished(EndPatienceMs);
  }
  delete process;
}

bool ScreenCopies::has(const QString &screen) const {
  for (const Copy &c : copies_)
    if (c.screen == screen) return true;
  return false;
}

QStringList ScreenCopies::screens() const {
  QStringList names;
  for (const Copy &c : copies_) names << c.screen;
  return names;
}

void ScreenCopies::start(const QString &screen) {
  if (has(screen)) return;
  auto *process = new QProcess;
  process->setProgram(QCoreApplication::applicationFilePath());
  process->setArguments(arguments_);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(ScreenVariable), screen);
  process->setProcessEnvironment(environment);
  // The copies' messages go where the run's own do.
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  QObject::connect(process, &QProcess::finished, this,
                   [this, process](int code, QProcess::ExitStatus) { finished(process, code); });
  QObject::connect(
      process, &QProcess::errorOccurred, this, [this, process, screen](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        std::fprintf(stderr, "lumenveil: cannot start the copy for the screen %s: %s\n",
                     screen.toLocal8Bit().constData(), process->errorString().toLocal8Bit().constData());
        finished(process, ScreenGoneExitCode);
      });
  copies_.push_back({screen, process});
  process->start();
}

void ScreenCopies::stop(const QString &screen) {
  for (auto it = copies_.begin(); it != copies_.end(); ++it) {
    if (it->screen != screen) continue;
    QProcess *process = it->process;
    copies_.erase(it);
    process->disconnect(this);
    end(process);
    return;
  }
}

void ScreenCopies::finished(QProcess *process, int code) {
  for (auto it = copies_.begin(); it != copies_.end(); ++it) {
    if (it->process != process) continue;
    copies_.erase(it);
    process->disconnect(this);
    process->deleteLater();
    if (code != ScreenGoneExitCode && ended_) ended_();
    return;
  }
}
