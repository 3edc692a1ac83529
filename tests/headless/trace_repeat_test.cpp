// Whole headless runs with a trace or a replay: the same run writes the same
// trace; a replay ends at a signal; a trace that cannot be written fails the run.
#include <gtest/gtest.h>

#include <alloca.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "hosts/headless/headlessrun.h"
#include "hosts/headless/headlessapp.h"

namespace {

std::string readAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Fills the stack the run is about to use with a byte of the run's own: a
// value read from stack that nobody wrote then differs from run to run, as it
// does between processes of the program.
__attribute__((noinline)) void markStack(int run) {
  volatile unsigned char area[256 * 1024];
  for (size_t i = 0; i < sizeof area; ++i) area[i] = (unsigned char)(0x5A + 37 * run + i);
}

class TraceRepeat : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "lv-trace-repeat-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
    setenv("LUMENVEIL_REGISTRY", (dir_ + "registry.reg").c_str(), 1);
  }
  void TearDown() override {
    for (const std::string &f : made_) std::remove(f.c_str());
    std::remove((dir_ + "registry.reg").c_str());
    std::remove(dir_.c_str());
  }
  // A short fixed-clock run of one scene written to a trace.
  HeadlessRun tracedRun(int scene, const std::string &trace) {
    HeadlessRun run;
    run.bench = true; // frames go nowhere: only the trace is kept
    run.frames = 12;
    run.fps = 30;
    run.haveSeed = true;
    run.seed = 1;
    run.scene = scene;
    run.tracePath = dir_ + trace;
    made_.push_back(run.tracePath);
    return run;
  }
  // Runs in a process of its own, as the program does (the scenes keep state
  // from one run to the next within a process); the exit code. `before` runs
  // in that process first.
  int runApart(const HeadlessRun &run, int attempt = 0, void (*before)() = nullptr) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      if (before) before();
      markStack(attempt);
      // The run's frames also start at a depth of their own.
      volatile char *shift = static_cast<char *>(alloca(72 * (attempt + 1)));
      shift[0] = 0;
      _exit(runHeadless(run));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  std::string dir_;
  std::vector<std::string> made_;
};

TEST_F(TraceRepeat, ThreeRunsOfEachSceneWriteTheSameBytes) {
  for (int scene : {1, 2}) {
    SCOPED_TRACE("scene " + std::to_string(scene));
    std::string first;
    for (int i = 0; i < 3; ++i) {
      const std::string name = "s" + std::to_string(scene) + "-" + std::to_string(i) + ".trace";
      ASSERT_EQ(runApart(tracedRun(scene, name), i), 0);
      const std::string bytes = readAll(dir_ + name);
      ASSERT_FALSE(bytes.empty());
      if (i == 0) {
        first = bytes;
        continue;
      }
      ASSERT_EQ(bytes.size(), first.size()) << "run " << i;
      // The first differing line, rather than two whole traces.
      size_t at = 0;
      while (at < bytes.size() && bytes[at] == first[at]) ++at;
      if (at < bytes.size()) {
        const size_t begin = first.rfind('\n', at) == std::string::npos ? 0 : first.rfind('\n', at) + 1;
        ADD_FAILURE() << "run " << i << " differs in the line\n"
                      << first.substr(begin, first.find('\n', at) - begin);
      }
    }
  }
}

TEST_F(TraceRepeat, ASignalStopsAReplayAtTheNextFrameAndTheRunFails) {
  ASSERT_EQ(runApart(tracedRun(2, "recorded.trace")), 0);
  HeadlessRun replay;
  replay.replayPath = dir_ + "recorded.trace";
  replay.renderDir = dir_ + "frames";
  // The signal has come before the replay starts: it ends after one frame.
  EXPECT_EQ(runApart(replay, 0,
                     [] {
                       installStopSignals();
                       std::raise(SIGTERM);
                     }),
            1);
  const std::string first = replay.renderDir + "/frame-000001.png";
  const std::string second = replay.renderDir + "/frame-000002.png";
  EXPECT_EQ(access(first.c_str(), F_OK), 0);
  EXPECT_NE(access(second.c_str(), F_OK), 0);
  made_.insert(made_.end(), {first, second, replay.renderDir});
}

// A full disk, here a limit on the size of files the run may write.
TEST_F(TraceRepeat, ATraceThatCannotBeWrittenInFullFailsTheRun) {
  EXPECT_EQ(runApart(tracedRun(1, "cut-short.trace"), 0,
                     [] {
                       std::signal(SIGXFSZ, SIG_IGN);
                       struct rlimit limit = {64 * 1024, 64 * 1024};
                       setrlimit(RLIMIT_FSIZE, &limit);
                     }),
            1);
}

} // namespace
