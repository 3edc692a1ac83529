// Whole headless runs with a trace: the same run writes the same trace.
#include <gtest/gtest.h>

#include <alloca.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/headless/cli.h"

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
  // A short fixed-clock run of one scene written to a trace; its exit code.
  // Each run has a process of its own, as the program does: the scenes keep
  // state from one run to the next within a process.
  int tracedRun(int scene, int attempt, const std::string &trace) {
    HeadlessRun run;
    run.bench = true;  // frames go nowhere: only the trace is kept
    run.frames = 12;
    run.fps = 30;
    run.haveSeed = true;
    run.seed = 1;
    run.scene = scene;
    run.tracePath = dir_ + trace;
    made_.push_back(run.tracePath);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
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
      ASSERT_EQ(tracedRun(scene, i, name), 0);
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

}  // namespace
