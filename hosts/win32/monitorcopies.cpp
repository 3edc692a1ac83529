#include "hosts/win32/monitorcopies.h"

#include <algorithm>
#include <utility>

#include "hosts/win32/winhost.h"

namespace {

// How long the copies are given to close before they are ended.
constexpr DWORD CloseWaitMs = 3000;

// The copy's application window, which takes the close request other copies send.
HWND applicationWindowOf(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(
      thread,
      [](HWND w, LPARAM p) -> BOOL {
        char name[64] = {};
        GetClassNameA(w, name, sizeof name);
        if (lstrcmpA(name, ApplicationWindowClass) != 0) return TRUE;
        *reinterpret_cast<HWND *>(p) = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

} // namespace

MonitorCopies::MonitorCopies(std::string program, std::string arguments)
    : program_(std::move(program)), arguments_(std::move(arguments)) {
  // The copies live no longer than the saver: when its last handle to the job
  // goes, however it ends, the system ends them.
  job_ = CreateJobObjectA(nullptr, nullptr);
  if (job_) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
}

MonitorCopies::~MonitorCopies() {
  endAll();
  if (job_) CloseHandle(job_);
}

std::string MonitorCopies::commandLine() const {
  return "\"" + program_ + "\"" + (arguments_.empty() ? "" : " " + arguments_);
}

void MonitorCopies::follow(const std::vector<std::string> &monitors) {
  std::vector<Copy> gone;
  for (auto c = copies_.begin(); c != copies_.end();) {
    if (std::find(monitors.begin(), monitors.end(), c->monitor) == monitors.end()) {
      gone.push_back(*c);
      c = copies_.erase(c);
    } else {
      ++c;
    }
  }
  end(gone);
  for (const std::string &m : monitors) {
    if (std::any_of(copies_.begin(), copies_.end(), [&](const Copy &c) { return c.monitor == m; })) continue;
    std::string line = commandLine();
    STARTUPINFOA start{};
    start.cb = sizeof start;
    Copy copy{m, {}};
    // The copy inherits the variable naming its monitor, this process keeps
    // none; and it is suspended until it is in the job, so that it never runs
    // outside it.
    SetEnvironmentVariableA(MonitorVariable, m.c_str());
    const bool started = CreateProcessA(program_.c_str(), line.data(), nullptr, nullptr, FALSE,
                                        CREATE_SUSPENDED, nullptr, nullptr, &start, &copy.process);
    SetEnvironmentVariableA(MonitorVariable, nullptr);
    if (!started) continue;
    if (job_) AssignProcessToJobObject(job_, copy.process.hProcess);
    ResumeThread(copy.process.hThread);
    copies_.push_back(copy);
  }
}

bool MonitorCopies::oneEnded() {
  bool ended = false;
  for (auto c = copies_.begin(); c != copies_.end();) {
    DWORD code = 0;
    if (WaitForSingleObject(c->process.hProcess, 0) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(c->process.hProcess, &code)) {
      ++c;
      continue;
    }
    ended = ended || code == 0;
    CloseHandle(c->process.hProcess);
    CloseHandle(c->process.hThread);
    c = copies_.erase(c);
  }
  return ended;
}

void MonitorCopies::endAll() {
  std::vector<Copy> all;
  all.swap(copies_);
  end(all);
}

void MonitorCopies::end(std::vector<Copy> &copies) {
  // Each is asked once its application window is there (a copy still starting
  // has none yet), until all have ended or the time is up.
  std::vector<bool> asked(copies.size(), false);
  const DWORD until = GetTickCount() + CloseWaitMs;
  for (;;) {
    bool running = false;
    for (size_t i = 0; i < copies.size(); ++i) {
      if (WaitForSingleObject(copies[i].process.hProcess, 0) == WAIT_OBJECT_0) continue;
      running = true;
      if (asked[i]) continue;
      if (HWND w = applicationWindowOf(copies[i].process.dwThreadId))
        asked[i] = PostMessageA(w, WM_CLOSE, 0x123, 0x123) != FALSE;
    }
    if (!running || static_cast<LONG>(until - GetTickCount()) <= 0) break;
    Sleep(20);
  }
  for (const Copy &c : copies) {
    if (WaitForSingleObject(c.process.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(c.process.hProcess, 1);
    CloseHandle(c.process.hProcess);
    CloseHandle(c.process.hThread);
  }
  copies.clear();
}
