// Rendered pictures are written whole or not at all: a full disk or a signal
// never leaves a truncated picture behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "hosts/headless/headlessrun.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/headless/pngpresenter.h"
#include "platform/registry_store.h"
#include "registry/registrystore.h"

namespace {

std::string scratchDir(const char *name) {
  std::string dir = ::testing::TempDir() + "lv-framefiles-" + name + "-" + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  return dir;
}

std::vector<std::string> filesIn(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.' || std::string(e->d_name).size() > 2)
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

void removeAll(const std::string &dir) {
  for (const std::string &n : filesIn(dir)) std::remove((dir + "/" + n).c_str());
  rmdir(dir.c_str());
}

// A PNG that ends with its IEND chunk was written to the end.
bool completePng(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  static const std::string iend("\x00\x00\x00\x00IEND\xAE\x42\x60\x82", 12);
  return bytes.size() > 20 && bytes.compare(0, 4, "\x89PNG") == 0 &&
         bytes.compare(bytes.size() - 12, 12, iend) == 0;
}

// Noise does not compress: the file is about as large as its pixels.
std::vector<unsigned char> noise(int width, int height) {
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  unsigned state = 12345;
  for (unsigned char &c : rgb) {
    state = state * 1103515245u + 12345u;
    c = static_cast<unsigned char>(state >> 16);
  }
  return rgb;
}

} // namespace

TEST(FrameFiles, AFailedWriteLeavesNeitherAPictureNorATemporaryFile) {
  const std::string dir = scratchDir("full");
  const std::string path = dir + "/frame-000001.png";
  const std::vector<unsigned char> rgb = noise(200, 200);
  // A child whose files may not grow past 20 000 bytes stands in for a full disk.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{20000, 20000};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string error;
    const bool ok = writePng(path, rgb.data(), 200, 200, error);
    _exit(!ok && error.find(path) != std::string::npos ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not fail with a message naming the picture";
  EXPECT_TRUE(filesIn(dir).empty()) << "left behind: " << (filesIn(dir).empty() ? "" : filesIn(dir)[0]);

  std::string error;
  ASSERT_TRUE(writePng(path, rgb.data(), 200, 200, error)) << error;
  EXPECT_TRUE(completePng(path));
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"frame-000001.png"});
  removeAll(dir);
}

TEST(FrameFiles, AHangUpEndsARenderWithEveryPictureComplete) {
  const std::string dir = scratchDir("hangup");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    useInMemoryRegistry(); // the defaults; no settings file is read
    installStopSignals();
    HeadlessRun run;
    run.renderDir = dir;
    run.frames = 100000; // far more than the test waits for
    run.fps = 30.0;
    run.haveSeed = true;
    run.seed = 1;
    run.scene = 2;
    run.mode = 2; // 512 x 384
    std::freopen("/dev/null", "w", stdout);
    _exit(runHeadless(run));
  }
  // Hang up once a few pictures are there.
  for (int i = 0; i < 600 && filesIn(dir).size() < 4; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(child, SIGHUP);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the render was killed by the signal instead of ending";
  EXPECT_EQ(WEXITSTATUS(status), 1) << "a render cut short is not a success";
  const std::vector<std::string> files = filesIn(dir);
  EXPECT_GE(files.size(), 4u);
  EXPECT_LT(files.size(), 100000u);
  for (const std::string &name : files) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    EXPECT_TRUE(completePng(dir + "/" + name)) << name;
  }
  removeAll(dir);
}

TEST(FrameFiles, AMissingTraceMakesNoFolderAndOlderFramesAreCounted) {
  const std::string dir = scratchDir("older");
  HeadlessRun replay;
  replay.renderDir = dir + "/frames";
  replay.replayPath = dir + "/no-such.trace";
  EXPECT_EQ(runHeadless(replay), 1);
  struct stat st {};
  EXPECT_NE(stat(replay.renderDir.c_str(), &st), 0) << "a folder was made for a trace never read";

  useInMemoryRegistry(); // the defaults; no settings file is read
  HeadlessRun render;
  render.renderDir = dir;
  render.fps = 30.0;
  render.mode = 2;
  render.frames = 3;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(runHeadless(render), 0);
  render.frames = 1;
  ASSERT_EQ(runHeadless(render), 0);
  const std::string said = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("2 older frames from an earlier run left there, from frame-000002.png on"),
            std::string::npos)
      << said;
  removeAll(dir);
}
