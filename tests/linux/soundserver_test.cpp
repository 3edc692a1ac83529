// The CD heard through a real sound server: a PulseAudio started for the
// test as an ordinary process (under an unused user id when we are root,
// which it refuses to run as), in a scratch folder, with a null sink and no
// sound card. What reaches the sink is recorded from its monitor.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pulse/simple.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cdaudio/cdaudio.h"
#include "discimage.h"
#include "hosts/linux/cdplayer.h"
#include "cdaudio/mediaplayer.h"
#include "frame/random.h"
#include "platform/registry_store.h"
#include "registry/registrystore.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uid_t ServerUser = 4242; // no account: only the server runs as it
constexpr const char *PulseAudio = "/usr/bin/pulseaudio";

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

class SoundServerTest : public ::testing::Test {
protected:
  std::filesystem::path dir;
  pid_t server = -1;

  void SetUp() override {
    if (access(PulseAudio, X_OK) != 0) GTEST_SKIP() << "no PulseAudio server to play to";
    char pattern[] = "/tmp/lvpulseXXXXXX";
    dir = mkdtemp(pattern);
    std::filesystem::create_directories(dir / "run");
    std::filesystem::create_directories(dir / "home");
    if (geteuid() == 0) {
      for (const char *d : {"", "run", "home"})
        ASSERT_EQ(chown((dir / d).c_str(), ServerUser, ServerUser), 0);
    }
    const std::string log = (dir / "server.log").string();
    const std::string socket = (dir / "run" / "native").string();
    server = fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
      // The server talks about the buses it cannot reach: into its log.
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      if (geteuid() == 0 &&
          (setgroups(0, nullptr) != 0 || setgid(ServerUser) != 0 || setuid(ServerUser) != 0))
        _exit(127);
      const std::string home = "HOME=" + (dir / "home").string();
      const std::string runtime = "XDG_RUNTIME_DIR=" + (dir / "run").string();
      const std::string protocol = "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
      const char *env[] = {home.c_str(), runtime.c_str(), "PATH=/usr/bin:/bin", nullptr};
      const char *argv[] = {PulseAudio,
                            "-n",
                            "--daemonize=no",
                            "--exit-idle-time=-1",
                            "--use-pid-file=no",
                            "--system=no",
                            "--disable-shm=yes",
                            "--log-level=0",
                            "-L",
                            "module-null-sink sink_name=lvnull rate=44100",
                            "-L",
                            protocol.c_str(),
                            nullptr};
      execve(PulseAudio, const_cast<char **>(argv), const_cast<char **>(env));
      _exit(127);
    }
    // Our own client finds the server through these, and keeps its cookie here.
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    setenv("PULSE_COOKIE", (dir / "cookie").c_str(), 1);
    const auto t0 = Clock::now();
    while (!std::filesystem::exists(socket) && since(t0) < 10.0)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(socket)) << "the sound server did not start";

    setenv("LUMENVEIL_REGISTRY", (dir / "registry.reg").c_str(), 1);
    resetCdAudioState();
  }
  void TearDown() override {
    std::string ignored;
    finishCdAudio(ignored);
    resetCdAudioState();
    unsetenv("PULSE_SERVER");
    unsetenv("PULSE_COOKIE");
    if (server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
    }
    setRegistryFilePath("");
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
};

struct Chunk {
  double arrived; // seconds since the recording began
  std::vector<int16_t> left;
};

TEST_F(SoundServerTest, TracksPlayInTurnWithoutGlitchesAndStopSilences) {
  const std::string cue = writeDisc(dir, "three", toneDisc(3, 75)); // a second each
  std::ofstream(dir / "registry.reg")
      << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Audio]\n"
      << "\"CD_Audio\"=dword:00000001\n\"CD_Device\"=\"" << cue << "\"\n";
  setRegistryFilePath((dir / "registry.reg").string());

  // The recorder: 10 ms pieces from the sink's monitor.
  std::atomic<bool> recording{true};
  std::vector<Chunk> chunks;
  std::atomic<size_t> received{0};
  const auto t0 = Clock::now();
  std::thread recorder([&] {
    pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 2};
    pa_buffer_attr attr{uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(-1), 441 * 4};
    int error = 0;
    pa_simple *s = pa_simple_new(nullptr, "test", PA_STREAM_RECORD, "lvnull.monitor", "monitor", &format,
                                 nullptr, &attr, &error);
    if (!s) return;
    int16_t piece[441 * 2];
    while (recording && pa_simple_read(s, piece, sizeof piece, &error) == 0) {
      Chunk c{since(t0), {}};
      for (int i = 0; i < 441; ++i) c.left.push_back(piece[i * 2]);
      chunks.push_back(std::move(c));
      ++received;
    }
    pa_simple_free(s);
  });
  while (received == 0 && since(t0) < 10.0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GT(received.load(), 0u) << "nothing could be recorded from the sound server";

  useSoundServerForCd();
  MediaPlayer player(true, playNextTrack);
  startCdAudio(&player);
  ASSERT_EQ(CdPlayer, &player) << "the sound server was not found";
  // A busy saver: notices are seen only between frames of 40 ms of drawing.
  const double started = since(t0);
  while (since(t0) < started + 2.5) {
    deliverCdNotices();
    const double frame = since(t0);
    while (since(t0) < frame + 0.04) {
    }
  }
  const double stopped = since(t0);
  stopCdAudio();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  recording = false;
  recorder.join();

  std::vector<int16_t> heard;
  double lastSound = 0;
  for (const Chunk &c : chunks) {
    heard.insert(heard.end(), c.left.begin(), c.left.end());
    for (int16_t v : c.left)
      if (std::abs(v) > 1000) lastSound = c.arrived;
  }
  const std::vector<int> labels = listen(heard, 3);
  // Tracks one, two and three (cut short) in turn. A mixed window is where
  // one track gives way to the next; inside a track it is a click, and
  // silence inside a track splits it in two.
  int clicks = 0;
  std::vector<int> order;
  int previous = 0, run = 0;
  for (size_t i = 0; i < labels.size(); ++i) {
    if (labels[i] == -1) {
      size_t next = i;
      while (next < labels.size() && labels[next] == -1) ++next;
      if (previous > 0 && next < labels.size() && labels[next] == previous) ++clicks;
      continue;
    }
    if (labels[i] == previous) {
      ++run;
      continue;
    }
    if (previous > 0 && run >= 5) order.push_back(previous);
    previous = labels[i];
    run = 1;
  }
  if (previous > 0 && run >= 5) order.push_back(previous);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_GT(lastSound, started);
  EXPECT_LT(lastSound, stopped + 0.4) << "still heard after the stop";
  std::printf("stop to silence: %.0f ms (as recorded from the monitor)\n", (lastSound - stopped) * 1000.0);
}

} // namespace
