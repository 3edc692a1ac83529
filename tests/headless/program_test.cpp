// The program as a user runs it: the files it writes where it is told to,
// and what it says (never an abort) when it cannot.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/resources.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t kindAt(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

struct Ran {
  bool exited = false;
  int code = -1;
  std::string out, err;
};

class Program : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "lv-program-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    dir = root + "/w";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    ::chmod(root.c_str(), 0755); // an ordinary user's runs reach it too
  }
  void TearDown() override { fs::remove_all(root); }

  // Runs the program in `dir` with three small frames' options and `args`;
  // `inChild` runs just before it starts.
  Ran run(const std::vector<std::string> &args, const std::function<void()> &inChild = {}) {
    const std::string out = root + "/stdout", err = root + "/stderr";
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr) ||
          ::chdir(dir.c_str()) != 0)
        _exit(126);
      setenv("LUMENVEIL_REGISTRY", (root + "/registry.reg").c_str(), 1);
      if (inChild) inChild();
      std::vector<const char *> argv{
          LV_BINARY_DIR "/lumenveil", "--frames", "3", "--fps", "30", "--mode", "2"};
      for (const std::string &a : args) argv.push_back(a.c_str());
      argv.push_back(nullptr);
      ::execv(argv[0], const_cast<char **>(argv.data()));
      _exit(127);
    }
    Ran r;
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
      r.exited = true;
      r.code = WEXITSTATUS(status);
    }
    r.out = readAll(out);
    r.err = readAll(err);
    return r;
  }

  // Names holding ".tmp" in the folder, the whole tree down.
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto &e : fs::recursive_directory_iterator(dir))
      if (e.path().filename().string().find(".tmp") != std::string::npos) found.push_back(e.path());
    return found;
  }

  std::string root, dir; // dir: where the program runs and writes
};

} // namespace

TEST_F(Program, LinksPlantedWhereItWritesAreReplacedNeverFollowed) {
  const std::string victim = root + "/victim";
  std::ofstream(victim) << "precious";
  ASSERT_EQ(::mkdir((dir + "/frames").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir + "/dump").c_str(), 0755), 0);
  // At the temporary names every run used to take, and at a final name.
  std::vector<std::string> planted = {"frames/frame-000001.png.tmp", "frames/frame-000002.png",
                                      "sound.wav.tmp"};
  size_t n = 0;
  const int *ids = resourceIds(n);
  for (size_t k = 0; k < n; ++k) planted.push_back("dump/resource-" + std::to_string(ids[k]) + ".png.tmp");
  for (const std::string &name : planted) ASSERT_EQ(::symlink(victim.c_str(), (dir + "/" + name).c_str()), 0);

  const Ran r = run({"--render", "frames", "--audio-out", "sound.wav", "--dump-resources", "dump"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(readAll(victim) == "precious") << "a file was written through a link";
  for (const char *f : {"frames/frame-000001.png", "frames/frame-000002.png", "sound.wav"})
    EXPECT_EQ(kindAt(dir + "/" + f), S_IFREG) << f;
  EXPECT_EQ(readAll(dir + "/frames/frame-000002.png").substr(0, 4), "\x89PNG");
  EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

TEST_F(Program, SoundGoesIntoADeviceOrAPipeAndNeverTakesItsPlace) {
  const std::string null = dir + "/null", full = dir + "/full", pipe = dir + "/pipe";
  if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
      ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
    GTEST_SKIP() << "device nodes cannot be made here: " << std::strerror(errno);
  Ran r = run({"--render", "frames", "--audio-out", null});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(kindAt(null), S_IFCHR);
  // A device that is full: told at once, with its name and the reason.
  r = run({"--bench", "--audio-out", full});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot write " + full + ": No space left on device"), std::string::npos) << r.err;
  EXPECT_EQ(kindAt(full), S_IFCHR);
  // A folder is refused.
  ASSERT_EQ(::mkdir((dir + "/folder").c_str(), 0755), 0);
  r = run({"--bench", "--audio-out", "folder"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot write folder: it is a folder"), std::string::npos) << r.err;

  // A named pipe: nobody reads it yet, then someone does.
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  r = run({"--bench", "--audio-out", "pipe"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nothing reads"), std::string::npos) << r.err;
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  r = run({"--bench", "--audio-out", "pipe"});
  EXPECT_EQ(r.code, 0) << r.err;
  std::string heard(65536, '\0');
  heard.resize(size_t(std::max<ssize_t>(0, ::read(reader, heard.data(), heard.size()))));
  ::close(reader);
  // Three frames at 30 a second: 4410 stereo samples after a header whose
  // sizes say "to the end".
  ASSERT_EQ(heard.size(), 44u + 4410u * 4u);
  EXPECT_EQ(heard.substr(0, 8), std::string("RIFF\xFF\xFF\xFF\xFF", 8));
  EXPECT_EQ(heard.substr(36, 8), std::string("data\xFF\xFF\xFF\xFF", 8));
  EXPECT_EQ(kindAt(pipe), S_IFIFO);
  EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

TEST_F(Program, AnOutputThatCannotBeWrittenEndsTheRunAtThatFrame) {
  // The sound under a file size limit of 100 000 bytes: about 17 frames at 30 a second.
  Ran r = run({"--bench", "--frames", "1000", "--audio-out", "a.wav"}, [] {
    rlimit limit{100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  ASSERT_TRUE(r.exited) << "the size limit killed the program";
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot write a.wav: File too large"), std::string::npos) << r.err;
  long frames = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "frames %ld", &frames), 1) << r.out;
  EXPECT_LT(frames, 30) << "the run went on after the sound failed";
  EXPECT_EQ(kindAt(dir + "/a.wav"), 0) << "a cut file took the name";

  // The second picture's name is a folder: the render ends there, and the
  // sound of its two frames is complete.
  ASSERT_TRUE(fs::create_directories(dir + "/frames/frame-000002.png"));
  r = run({"--render", "frames", "--frames", "300", "--audio-out", "b.wav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("frames/frame-000002.png: it is a folder"), std::string::npos) << r.err;
  EXPECT_EQ(readAll(dir + "/b.wav").size(), 44u + 2940u * 4u);
  EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

TEST_F(Program, FoldersThatCannotBeMadeAreToldWithTheirReason) {
  ASSERT_EQ(::symlink("loop2", (dir + "/loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", (dir + "/loop2").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (dir + "/dangling").c_str()), 0);
  const std::string tooLong(NAME_MAX + 1, 'n');
  const std::pair<std::string, std::string> cases[] = {
      {tooLong + "/frames", "cannot create " + tooLong + ": File name too long"},
      {"loop1/frames", "cannot create loop1: Too many levels of symbolic links"},
      {"dangling", "cannot create dangling: it is a symbolic link to nothing (nowhere)"},
  };
  for (const char *option : {"--render", "--dump-resources"})
    for (const auto &[folder, said] : cases) {
      const Ran r = run({option, folder});
      EXPECT_TRUE(r.exited && r.code == 1) << option << " " << folder << ": " << r.err;
      EXPECT_NE(r.err.find("lumenveil: " + said), std::string::npos) << r.err;
    }

  // A folder the user may not enter (root is stopped by no permission: the
  // run is made as an ordinary user).
  ASSERT_EQ(::mkdir((dir + "/locked").c_str(), 0700), 0);
  const Ran r = run({"--render", "locked/frames"}, [] {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      _exit(125);
  });
  if (r.code == 125) GTEST_SKIP() << "cannot run as an ordinary user here";
  EXPECT_TRUE(r.exited && r.code == 1) << r.err;
  EXPECT_NE(r.err.find("cannot create locked/frames: Permission denied"), std::string::npos) << r.err;
}

TEST_F(Program, ValuesOfTheEnvironmentItCannotReadAreToldOnce) {
  const Ran r = run({"--bench"}, [] {
    setenv("LUMENVEIL_THREADS", "lots", 1);
    setenv("LUMENVEIL_VECTORS", "wide", 1);
  });
  EXPECT_EQ(r.code, 0) << r.err;
  for (const std::string said :
       {"LUMENVEIL_THREADS=lots is not understood", "LUMENVEIL_VECTORS=wide is not understood"}) {
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << r.err;
  }
}
