// The program as a user runs it: the files it writes where it is told to,
// and what it says (never an abort) when it cannot.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

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

void writeText(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

mode_t kindAt(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

size_t count(const std::string &text, const std::string &word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
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
    root_ = pattern;
    dir = root_ + "/w";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    ::chmod(root_.c_str(), 0755); // an ordinary user's runs reach it too
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Runs the program with `args` in `dir`; `inChild` runs just before it starts.
  Ran run(const std::vector<std::string> &args, const std::function<void()> &inChild = {}) {
    const std::string out = root_ + "/stdout", err = root_ + "/stderr";
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr) ||
          ::chdir(dir.c_str()) != 0)
        _exit(126);
      setenv("LUMENVEIL_REGISTRY", (root_ + "/registry.reg").c_str(), 1);
      if (inChild) inChild();
      std::vector<char *> argv{const_cast<char *>(LV_BINARY_DIR "/lumenveil")};
      for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      _exit(127);
    }
    Ran r;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
      r.exited = true;
      r.code = WEXITSTATUS(status);
    }
    r.out = readAll(out);
    r.err = readAll(err);
    return r;
  }

  // Names in the folder holding ".tmp", the whole tree down.
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it); it.increment(ec))
      if (it->path().filename().string().find(".tmp") != std::string::npos)
        found.push_back(it->path().string());
    return found;
  }

  std::string root_;
  std::string dir; // where the program runs and writes
};

const std::vector<std::string> Render = {"--frames", "3", "--fps", "30", "--mode", "2", "--seed", "1"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

} // namespace

TEST_F(Program, LinksPlantedWhereItWritesAreReplacedNeverFollowed) {
  const std::string precious = "precious\n";
  for (const char *v : {"victim1", "victim2", "victim3", "victim4", "victim5"})
    writeText(root_ + "/" + v, precious);
  ASSERT_EQ(::mkdir((dir + "/frames").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir + "/dump").c_str(), 0755), 0);
  // At the temporary names every run used to take, and at a final name.
  ASSERT_EQ(::symlink((root_ + "/victim1").c_str(), (dir + "/frames/frame-000001.png.tmp").c_str()), 0);
  ASSERT_EQ(::symlink((root_ + "/victim2").c_str(), (dir + "/frames/frame-000002.png").c_str()), 0);
  ASSERT_EQ(::symlink((root_ + "/victim3").c_str(), (dir + "/sound.wav.tmp").c_str()), 0);
  size_t n = 0;
  const int *ids = resourceIds(n);
  ASSERT_GT(n, 0u);
  for (size_t k = 0; k < n; ++k) {
    const std::string name = dir + "/dump/resource-" + std::to_string(ids[k]) + ".png";
    ASSERT_EQ(::symlink((root_ + "/victim4").c_str(), (name + ".tmp").c_str()), 0);
    if (k + 1 == n) {
      ASSERT_EQ(::symlink((root_ + "/victim5").c_str(), name.c_str()), 0);
    }
  }

  const Ran r = run(Render + std::vector<std::string>{"--render", "frames", "--audio-out", "sound.wav",
                                                      "--dump-resources", "dump"});
  ASSERT_TRUE(r.exited) << r.err;
  EXPECT_EQ(r.code, 0) << r.err;
  for (const char *v : {"victim1", "victim2", "victim3", "victim4", "victim5"})
    EXPECT_TRUE(readAll(root_ + "/" + v) == precious) << v << " was written through a link";
  for (const std::string &f : {dir + "/frames/frame-000001.png", dir + "/frames/frame-000002.png",
                               dir + "/dump/resource-" + std::to_string(ids[n - 1]) + ".png"}) {
    EXPECT_EQ(kindAt(f), S_IFREG) << f;
    EXPECT_EQ(readAll(f).substr(0, 4), "\x89PNG") << f;
  }
  EXPECT_EQ(readAll(dir + "/sound.wav").substr(0, 4), "RIFF");
  EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

TEST_F(Program, SoundGoesIntoADeviceOrAPipeAndNeverTakesItsPlace) {
  const std::string null = dir + "/null", full = dir + "/full", pipe = dir + "/pipe";
  if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
      ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
    GTEST_SKIP() << "device nodes cannot be made here: " << std::strerror(errno);
  Ran r = run(Render + std::vector<std::string>{"--render", "frames", "--audio-out", null});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(kindAt(null), S_IFCHR);

  // A device that is full: told at once, with its name and the reason.
  r = run(Render + std::vector<std::string>{"--bench", "--audio-out", full});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot write " + full + ": No space left on device"), std::string::npos) << r.err;
  EXPECT_EQ(kindAt(full), S_IFCHR);

  // A named pipe: nobody reads it yet, then someone does.
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  r = run(Render + std::vector<std::string>{"--bench", "--audio-out", "pipe"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nothing reads"), std::string::npos) << r.err;
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  r = run(Render + std::vector<std::string>{"--bench", "--audio-out", "pipe"});
  EXPECT_EQ(r.code, 0) << r.err;
  std::string heard;
  char buf[4096];
  for (ssize_t got; (got = ::read(reader, buf, sizeof buf)) > 0;) heard.append(buf, size_t(got));
  ::close(reader);
  // Three frames at 30 a second: 4410 stereo samples after a header whose
  // sizes say "to the end".
  ASSERT_EQ(heard.size(), 44u + 4410u * 4u);
  EXPECT_EQ(heard.substr(0, 8), std::string("RIFF\xFF\xFF\xFF\xFF", 8));
  EXPECT_EQ(heard.substr(36, 8), std::string("data\xFF\xFF\xFF\xFF", 8));
  EXPECT_EQ(kindAt(pipe), S_IFIFO);

  // A folder and a socket are refused.
  ASSERT_EQ(::mkdir((dir + "/folder").c_str(), 0755), 0);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un at{};
  at.sun_family = AF_UNIX;
  std::snprintf(at.sun_path, sizeof at.sun_path, "%s/socket", dir.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
  for (const char *name : {"folder", "socket"}) {
    r = run(Render + std::vector<std::string>{"--bench", "--audio-out", name});
    EXPECT_EQ(r.code, 1) << name;
    EXPECT_NE(r.err.find(std::string("cannot write ") + name + ": it is a"), std::string::npos) << r.err;
  }
  ::close(sock);
  EXPECT_EQ(kindAt(dir + "/folder"), S_IFDIR);
  EXPECT_EQ(kindAt(dir + "/socket"), S_IFSOCK);
  EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

TEST_F(Program, AnOutputThatCannotBeWrittenEndsTheRunAtThatFrame) {
  // The sound under a file size limit of 100 000 bytes: about 17 frames at 30 a second.
  Ran r = run({"--bench", "--frames", "1000", "--fps", "30", "--mode", "2", "--audio-out", "a.wav"}, [] {
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
  ASSERT_EQ(::mkdir((dir + "/frames").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir + "/frames/frame-000002.png").c_str(), 0755), 0);
  r = run({"--render", "frames", "--frames", "300", "--fps", "30", "--mode", "2", "--audio-out", "b.wav"});
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
  const std::vector<std::pair<std::string, std::string>> cases = {
      {tooLong + "/frames", "cannot create " + tooLong + ": File name too long"},
      {"loop1/frames", "cannot create loop1: Too many levels of symbolic links"},
      {"dangling", "cannot create dangling: it is a symbolic link to nothing (nowhere)"},
  };
  for (const char *option : {"--render", "--dump-resources"}) {
    for (const auto &[folder, said] : cases) {
      const Ran r = run(Render + std::vector<std::string>{option, folder});
      ASSERT_TRUE(r.exited) << option << " " << folder << ": " << r.err;
      EXPECT_EQ(r.code, 1) << option << " " << folder;
      EXPECT_NE(r.err.find("lumenveil: " + said), std::string::npos) << r.err;
    }
  }

  // A folder the user may not enter (as root, permissions stop nobody: the
  // run is made as an ordinary user).
  ASSERT_EQ(::mkdir((dir + "/locked").c_str(), 0700), 0);
  const Ran r = run(Render + std::vector<std::string>{"--render", "locked/frames"}, [] {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      _exit(125);
  });
  if (r.code == 125) GTEST_SKIP() << "cannot run as an ordinary user here";
  ASSERT_TRUE(r.exited) << r.err;
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot create locked/frames: Permission denied"), std::string::npos) << r.err;
}

TEST_F(Program, ValuesOfTheEnvironmentItCannotReadAreToldOnce) {
  const Ran r = run({"--bench", "--frames", "3", "--fps", "30", "--mode", "2"}, [] {
    setenv("LUMENVEIL_THREADS", "lots", 1);
    setenv("LUMENVEIL_VECTORS", "wide", 1);
  });
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(count(r.err, "LUMENVEIL_THREADS=lots"), 1u) << r.err;
  EXPECT_EQ(count(r.err, "LUMENVEIL_VECTORS=wide"), 1u) << r.err;
}
