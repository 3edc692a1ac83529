// Discs made here as cue/bin images, each track a tone of its own, played
// through the saver's CD player into a WAV file that follows the clock; the
// file is then listened to, window by window, to tell which track was heard.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "cdaudio/cdaudio.h"
#include "discimage.h"
#include "frame/fixedclock.h"
#include "hosts/linux/cdplayer.h"
#include "cdaudio/mediaplayer.h"
#include "frame/random.h"
#include "platform/registry_store.h"
#include "registry/registrystore.h"
#include "platform/ticks.h"

namespace {

constexpr int Fps = 30;

struct Wav {
  int channels = 0, rate = 0, bits = 0;
  std::vector<int16_t> left; // what the left channel heard
  bool stereoAlike = true;
};

Wav readWav(const std::string &path) {
  Wav w;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 44) return w;
  auto u32 = [&](size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
  };
  auto u16 = [&](size_t at) { return int(b[at] | b[at + 1] << 8); };
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(u32(4), b.size() - 8);
  EXPECT_EQ(u32(40), b.size() - 44);
  w.channels = u16(22);
  w.rate = int(u32(24));
  w.bits = u16(34);
  for (size_t at = 44; at + 4 <= b.size(); at += 4) {
    const auto l = int16_t(b[at] | b[at + 1] << 8);
    const auto r = int16_t(b[at + 2] | b[at + 3] << 8);
    w.left.push_back(l);
    if (l != r) w.stereoAlike = false;
  }
  return w;
}

struct Stretch {
  int track;
  int windows;
};

// The windows heard, as runs of one track (or of silence).
std::vector<Stretch> stretches(const std::vector<int> &heard) {
  std::vector<Stretch> r;
  for (int h : heard) {
    if (r.empty() || r.back().track != h)
      r.push_back({h, 1});
    else
      ++r.back().windows;
  }
  return r;
}

std::vector<int> tracksHeard(const std::vector<Stretch> &r) {
  std::vector<int> t;
  for (const Stretch &x : r)
    if (x.track != 0) t.push_back(x.track);
  return t;
}

class CdPlayerTest : public ::testing::Test {
protected:
  std::filesystem::path dir;
  std::string wav;

  void SetUp() override {
    char pattern[] = "/tmp/lvcdplayXXXXXX";
    dir = mkdtemp(pattern);
    wav = (dir / "heard.wav").string();
    setenv("LUMENVEIL_REGISTRY", (dir / "registry.reg").c_str(), 1);
    setRegistryFilePath((dir / "registry.reg").string());
    resetCdAudioState();
    setFixedSeed(99);
  }
  void TearDown() override {
    std::string ignored;
    finishCdAudio(ignored);
    resetCdAudioState();
    setFixedClock(0.0);
    clearFixedSeed();
    setRegistryFilePath("");
    std::filesystem::remove_all(dir);
  }

  void settings(int random, int continuous, const std::string &device, int audio = 1) {
    std::ofstream out(dir / "registry.reg");
    out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Audio]\n"
        << "\"CD_Audio\"=dword:0000000" << audio << "\n"
        << "\"CD_Random\"=dword:0000000" << random << "\n"
        << "\"CD_Continuous\"=dword:0000000" << continuous << "\n"
        << "\"CD_Device\"=\"" << device << "\"\n";
    out.close();
    setRegistryFilePath((dir / "registry.reg").string());
  }

  // The saver's CD for `frames` frames at 30 a second, as the message loop
  // runs it: notices at each frame boundary, then one frame of sound. The
  // window closes after `closeAt` frames (never when negative).
  Wav play(int frames, int closeAt = -1) {
    std::string error;
    setFixedClock(Fps);
    EXPECT_TRUE(useWavFileForCd(wav, error)) << error;
    MediaPlayer player(true, playNextTrack);
    startCdAudio(&player);
    for (int f = 0; f < frames; ++f) {
      deliverCdNotices();
      if (f == closeAt) stopCdAudio();
      advanceFixedClock();
      followClockWithCdAudio();
    }
    stopCdAudio();
    EXPECT_TRUE(finishCdAudio(error)) << error;
    Wav w = readWav(wav);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, Rate);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.left.size(), size_t(frames) * Window);
    EXPECT_TRUE(w.stereoAlike);
    return w;
  }
};

TEST_F(CdPlayerTest, DiscOrderPlaysTheTracksOnceThenSilence) {
  // Ten tracks of 0.4 s (12 frames each), then silence to the end.
  settings(0, 0, writeDisc(dir, "ten", toneDisc(10, 30)));
  Wav w = play(150);
  std::vector<Stretch> r = stretches(listen(w.left, 10));
  ASSERT_EQ(r.size(), 11u);
  for (int t = 1; t <= 10; ++t) {
    EXPECT_EQ(r[size_t(t - 1)].track, t);
    // One track follows the other without a gap: each ends on a frame boundary.
    EXPECT_EQ(r[size_t(t - 1)].windows, 12) << "track " << t;
  }
  EXPECT_EQ(r[10].track, 0);
  EXPECT_EQ(r[10].windows, 30);
}

TEST_F(CdPlayerTest, ContinuousPlayStartsOverWithTrackOne) {
  settings(0, 1, writeDisc(dir, "ten", toneDisc(10, 30)));
  Wav w = play(150);
  std::vector<int> expected;
  for (int i = 0; i < 13; ++i) expected.push_back(i % 10 + 1);
  std::vector<Stretch> r = stretches(listen(w.left, 10));
  EXPECT_EQ(tracksHeard(r), expected);
  EXPECT_EQ(r.back().windows, 6); // 150 - 12 * 12 frames of track 3 so far
}

TEST_F(CdPlayerTest, TheLastTrackPlaysToTheEndOfTheDisc) {
  // A track that does not end on a frame boundary: the rest of its last frame
  // is silent, and the next track waits for the frame boundary.
  settings(0, 1, writeDisc(dir, "odd", toneDisc(2, 31)));
  Wav w = play(60);
  const size_t trackSamples = 31 * 588;
  for (size_t i = 0; i < trackSamples; ++i)
    ASSERT_NE(w.left[i], 0) << i; // the tone never crosses zero exactly
  for (size_t i = trackSamples; i < 13 * Window; ++i) ASSERT_EQ(w.left[i], 0) << i;
  std::vector<int> heard = listen(w.left, 2);
  EXPECT_EQ(heard[13], 2);
  EXPECT_EQ(tracksHeard(stretches(heard)).front(), 1);
}

TEST_F(CdPlayerTest, RandomOrderPlaysDistinctTracksPerCycle) {
  const std::string disc = writeDisc(dir, "five", toneDisc(5, 30));
  settings(1, 0, disc);
  std::vector<int> once = tracksHeard(stretches(listen(play(90).left, 5)));
  EXPECT_EQ(once.size(), 5u);
  EXPECT_EQ(std::set<int>(once.begin(), once.end()).size(), 5u);

  resetCdAudioState();
  settings(1, 1, disc);
  // Each track holds 12 frames; two cycles of five follow without a pause
  // (the first of a cycle may repeat the last of the one before).
  std::vector<int> heard = listen(play(120).left, 5);
  std::set<int> first, second;
  for (size_t block = 0; block < 10; ++block) {
    for (size_t w = 1; w < 12; ++w) ASSERT_EQ(heard[block * 12 + w], heard[block * 12]) << block;
    (block < 5 ? first : second).insert(heard[block * 12]);
  }
  EXPECT_EQ(first, (std::set<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(second, (std::set<int>{1, 2, 3, 4, 5}));
}

TEST_F(CdPlayerTest, RandomOrderOnFortyTracksPlaysEachOnce) {
  // 40 tracks of 10 sectors (4 frames each).
  settings(1, 0, writeDisc(dir, "forty", toneDisc(40, 10)));
  std::vector<Stretch> r = stretches(listen(play(170).left, 40));
  std::vector<int> heard = tracksHeard(r);
  EXPECT_EQ(heard.size(), 40u);
  EXPECT_EQ(std::set<int>(heard.begin(), heard.end()).size(), 40u);
  EXPECT_EQ(r.back().track, 0);
  EXPECT_EQ(r.back().windows, 10);
}

TEST_F(CdPlayerTest, AMixedModeDiscNeverPlaysItsDataTrack) {
  // The data track carries tone 1: hearing it would mean it was played.
  std::vector<TrackPlan> mixed = {{1, 30, true}, {2, 30}, {3, 30}, {4, 30}};
  const std::string disc = writeDisc(dir, "mixed", mixed);
  settings(0, 1, disc);
  EXPECT_EQ(tracksHeard(stretches(listen(play(80).left, 4))), (std::vector<int>{2, 3, 4, 2, 3, 4, 2}));
  resetCdAudioState();
  settings(1, 1, disc);
  // Random and continuous: music all the time, from the three audio tracks only.
  std::vector<int> random = listen(play(80).left, 4);
  for (int t : random) EXPECT_TRUE(t >= 2 && t <= 4) << t;
}

TEST_F(CdPlayerTest, StoppingSilencesAtOnceAndNothingFollows) {
  settings(0, 1, writeDisc(dir, "three", toneDisc(3, 75)));
  // The window closes 20 frames in, in the middle of track 1.
  Wav w = play(60, 20);
  std::vector<Stretch> r = stretches(listen(w.left, 3));
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].track, 1);
  EXPECT_EQ(r[0].windows, 20);
  EXPECT_EQ(r[1].track, 0);
  EXPECT_EQ(CdPlayer, nullptr);
}

TEST_F(CdPlayerTest, NoDiscMeansSilence) {
  // No image there, an image that is no disc, a cue file whose bin is
  // missing, a folder, a named pipe, and audio off: the saver goes on in
  // silence (and is not held up).
  std::ofstream(dir / "junk.cue") << "this is not a cue sheet\n\x01\x02";
  std::ofstream(dir / "nobin.cue") << "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  const std::string good = writeDisc(dir, "good", toneDisc(2, 30));
  ASSERT_EQ(mkfifo((dir / "pipe.cue").c_str(), 0600), 0);
  struct Case {
    std::string device;
    int audio;
  } cases[] = {{(dir / "missing.cue").string(), 1}, {(dir / "junk.cue").string(), 1},
               {(dir / "nobin.cue").string(), 1},   {dir.string(), 1},
               {(dir / "pipe.cue").string(), 1},    {good, 0}};
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // The system's first drive, on a machine that has none.
  if (!std::filesystem::exists("/dev/sr0") && !std::filesystem::exists("/dev/cdrom")) all.push_back({"", 1});
  for (const Case &c : all) {
    resetCdAudioState();
    settings(0, 1, c.device, c.audio);
    Wav w = play(30);
    EXPECT_EQ(tracksHeard(stretches(listen(w.left, 2))), std::vector<int>{}) << c.device;
    EXPECT_EQ(CdPlayer, nullptr) << c.device;
  }
}

TEST_F(CdPlayerTest, EveryImageFormPlaysItsAudioTracksWhateverTheCurrentFolder) {
  // A data track first (it carries tone 1), then two audio tracks. The names
  // inside an image are found from the image's folder, not the current one.
  const std::vector<TrackPlan> plan = {{1, 30, true}, {2, 30}, {3, 30}};
  std::filesystem::create_directory(dir / "elsewhere");
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir / "elsewhere");
  for (ImageForm form : {ImageForm::Cue, ImageForm::CueMotorola, ImageForm::CueCdg, ImageForm::Toc,
                         ImageForm::TocSwap, ImageForm::NrgDao, ImageForm::NrgTao}) {
    resetCdAudioState();
    settings(0, 0, writeImage(dir, "form" + std::to_string(int(form)), plan, form));
    std::vector<Stretch> r = stretches(listen(play(40).left, 3));
    ASSERT_EQ(r.size(), 3u) << "form " << int(form);
    EXPECT_EQ(tracksHeard(r), (std::vector<int>{2, 3})) << "form " << int(form);
    EXPECT_EQ(r[0].windows, 12) << "form " << int(form);
    EXPECT_EQ(r[1].windows, 12) << "form " << int(form);
  }
  std::filesystem::current_path(cwd);
}

// The program itself, headless, as a person would run it.
class CdCommandLineTest : public CdPlayerTest {
protected:
  int lumenveil(const std::string &args) {
    const std::string cmd =
        std::string(LV_BINARY_DIR) + "/lumenveil " + args + " >" + (dir / "out.txt").string() + " 2>&1";
    return std::system(cmd.c_str());
  }
  std::string fileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
};

TEST_F(CdCommandLineTest, AudioOutWritesExactlyWhatWasHeardTheSameEveryRun) {
  settings(0, 0, writeDisc(dir, "three", toneDisc(3, 75)));
  const std::string base = "--bench --frames 90 --fps 30 --seed 5 --scene 1 --audio-out ";
  ASSERT_EQ(lumenveil(base + (dir / "a.wav").string()), 0) << fileBytes((dir / "out.txt").string());
  ASSERT_EQ(lumenveil(base + (dir / "b.wav").string()), 0);
  Wav w = readWav((dir / "a.wav").string());
  ASSERT_EQ(w.left.size(), size_t(3 * Rate)); // 90 frames at 30 a second: 3 seconds
  std::vector<Stretch> r = stretches(listen(w.left, 3));
  ASSERT_EQ(r.size(), 3u);
  for (int t = 1; t <= 3; ++t) {
    EXPECT_EQ(r[size_t(t - 1)].track, t);
    EXPECT_EQ(r[size_t(t - 1)].windows, 30);
  }
  EXPECT_EQ(fileBytes((dir / "a.wav").string()), fileBytes((dir / "b.wav").string()));

  // A missing image: the same run, in silence.
  settings(0, 0, (dir / "missing.cue").string());
  ASSERT_EQ(lumenveil(base + (dir / "c.wav").string()), 0);
  Wav silent = readWav((dir / "c.wav").string());
  EXPECT_EQ(silent.left.size(), size_t(3 * Rate));
  EXPECT_EQ(tracksHeard(stretches(listen(silent.left, 3))), std::vector<int>{});

  // Sound files come only from headless runs of the saver.
  EXPECT_EQ(lumenveil("--audio-out " + (dir / "e.wav").string()), 2 << 8);
  EXPECT_NE(fileBytes((dir / "out.txt").string()).find("--audio-out needs"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "e.wav"));

  // A file that cannot be written is refused before anything runs.
  EXPECT_NE(lumenveil(base + (dir / "no/such/dir/d.wav").string()), 0);
  EXPECT_NE(fileBytes((dir / "out.txt").string()).find("cannot write"), std::string::npos);
}

} // namespace
