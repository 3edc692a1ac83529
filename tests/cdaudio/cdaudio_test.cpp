// The order tracks are played in, over a fake CD device: what a window's
// player is asked to play, when, and when it is left alone.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cdaudio/cdaudio.h"
#include "cdaudio/mediaplayer.h"
#include "frame/random.h"
#include "platform/registry_store.h"
#include "registry/registrystore.h"

namespace {

// What the fake device was asked, and the disc in it.
struct FakeDrive {
  std::vector<bool> audio; // one entry per track
  bool refuseOpen = false;
  int made = 0;
  int opens = 0;
  int stops = 0;
  int closes = 0;
  std::string openedName;
  std::vector<std::pair<int, int>> plays;
  bool open = false;
  std::function<void()> completed; // the running device's completion
};

class FakeDevice : public CdDevice {
public:
  FakeDevice(FakeDrive &drive, std::function<void()> completed) : d_(drive) {
    ++d_.made;
    d_.completed = std::move(completed);
  }
  ~FakeDevice() override { d_.completed = nullptr; }
  bool open(const std::string &name, bool) override {
    ++d_.opens;
    d_.openedName = name;
    d_.open = !d_.refuseOpen;
    return d_.open;
  }
  bool rewind() override { return true; }
  int position() override { return 1; }
  int tracks() override { return static_cast<int>(d_.audio.size()); }
  bool isAudioTrack(int t) override { return t >= 1 && t <= tracks() && d_.audio[size_t(t - 1)]; }
  bool play(int from, int to) override {
    d_.plays.emplace_back(from, to);
    return true;
  }
  bool stop() override {
    ++d_.stops;
    return true;
  }
  bool close() override {
    ++d_.closes;
    d_.open = false;
    return true;
  }

private:
  FakeDrive &d_;
};

class CdAudioTest : public ::testing::Test {
protected:
  std::filesystem::path dir;
  FakeDrive drive;
  MediaPlayer player{true, playNextTrack};

  void SetUp() override {
    char pattern[] = "/tmp/lvcdseqXXXXXX";
    dir = mkdtemp(pattern);
    setenv("LUMENVEIL_REGISTRY", (dir / "registry.reg").c_str(), 1);
    setRegistryFilePath((dir / "registry.reg").string());
    resetCdAudioState();
    setFixedSeed(1234);
    setCdDeviceMaker([this](std::function<void()> completed) {
      return std::make_unique<FakeDevice>(drive, std::move(completed));
    });
  }
  void TearDown() override {
    resetCdAudioState();
    player.close();
    setCdDeviceMaker(nullptr);
    clearFixedSeed();
    setRegistryFilePath("");
    std::filesystem::remove_all(dir);
  }

  void settings(int audio, int random, int continuous, const char *device = nullptr) {
    std::ofstream out(dir / "registry.reg");
    out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Audio]\n"
        << "\"CD_Audio\"=dword:0000000" << audio << "\n"
        << "\"CD_Random\"=dword:0000000" << random << "\n"
        << "\"CD_Continuous\"=dword:0000000" << continuous << "\n";
    if (device) out << device << "\n";
    out.close();
    setRegistryFilePath((dir / "registry.reg").string());
  }
  void disc(int tracks) { drive.audio.assign(size_t(tracks), true); }

  // The running track ends; its notice reaches the window at the next pass
  // of the message loop.
  void trackEnds() {
    ASSERT_TRUE(drive.completed);
    drive.completed();
    deliverCdNotices();
  }
  // Plays the disc through: every track ends until nothing new starts (at most `limit` tracks).
  void playThrough(size_t limit) {
    for (size_t before = 0; drive.plays.size() != before && drive.plays.size() < limit;) {
      before = drive.plays.size();
      trackEnds();
    }
  }
  std::vector<int> starts() const {
    std::vector<int> s;
    for (auto &p : drive.plays) s.push_back(p.first);
    return s;
  }
  std::set<int> distinctStarts() const {
    std::set<int> s;
    for (auto &p : drive.plays) s.insert(p.first);
    return s;
  }
};

TEST_F(CdAudioTest, DiscOrderPlaysEachTrackOnceThenStaysSilent) {
  settings(1, 0, 0);
  disc(10);
  startCdAudio(&player);
  EXPECT_EQ(CdPlayer, &player);
  playThrough(100);
  std::vector<std::pair<int, int>> expected;
  for (int t = 1; t < 10; ++t) expected.emplace_back(t, t + 1);
  expected.emplace_back(10, 0); // the last track plays to the end of the disc
  EXPECT_EQ(drive.plays, expected);
  // The player stays open and silent until the window closes.
  EXPECT_TRUE(drive.open);
  trackEnds();
  EXPECT_EQ(drive.plays.size(), 10u);
}

TEST_F(CdAudioTest, ContinuousDiscOrderStartsOverAfterTheLastTrack) {
  settings(1, 0, 1);
  disc(10);
  startCdAudio(&player);
  playThrough(23);
  std::vector<int> expected;
  for (int i = 0; i < 23; ++i) expected.push_back(i % 10 + 1);
  EXPECT_EQ(starts(), expected);
}

TEST_F(CdAudioTest, RandomOrderPlaysEveryTrackOncePerCycle) {
  settings(1, 1, 0);
  disc(5);
  startCdAudio(&player);
  playThrough(100);
  ASSERT_EQ(drive.plays.size(), 5u);
  EXPECT_EQ(distinctStarts().size(), 5u);
  for (auto &p : drive.plays) EXPECT_EQ(p.second, p.first < 5 ? p.first + 1 : 0);
  stopCdAudio();

  // Continuous: cycle after cycle of five distinct tracks.
  resetCdAudioState();
  drive.plays.clear();
  settings(1, 1, 1);
  startCdAudio(&player);
  playThrough(15);
  ASSERT_EQ(drive.plays.size(), 15u);
  for (size_t cycle = 0; cycle < 3; ++cycle) {
    std::set<int> seen;
    for (size_t i = 0; i < 5; ++i) seen.insert(drive.plays[cycle * 5 + i].first);
    EXPECT_EQ(seen.size(), 5u) << "cycle " << cycle;
  }
}

TEST_F(CdAudioTest, RandomOrderOnAFullDiscPlaysAllItsTracks) {
  // Far more than a 32-bit mask of played tracks can hold.
  for (int n : {40, 99}) {
    resetCdAudioState();
    drive.plays.clear();
    settings(1, 1, 0);
    disc(n);
    startCdAudio(&player);
    playThrough(200);
    EXPECT_EQ(drive.plays.size(), size_t(n));
    const std::set<int> seen = distinctStarts();
    EXPECT_EQ(seen.size(), size_t(n));
    EXPECT_EQ(*seen.begin(), 1);
    EXPECT_EQ(*seen.rbegin(), n);
  }
}

TEST_F(CdAudioTest, SameSeedSameRandomOrder) {
  settings(1, 1, 0);
  disc(12);
  startCdAudio(&player);
  playThrough(100);
  const std::vector<std::pair<int, int>> first = drive.plays;
  stopCdAudio();
  resetCdAudioState();
  drive.plays.clear();
  startCdAudio(&player);
  playThrough(100);
  EXPECT_EQ(drive.plays, first);
}

TEST_F(CdAudioTest, AudioOffNeverTouchesTheDevice) {
  settings(0, 1, 1);
  disc(10);
  startCdAudio(&player);
  EXPECT_EQ(CdPlayer, nullptr);
  EXPECT_EQ(drive.made, 0);
  EXPECT_EQ(drive.opens, 0);
  // No settings at all: off as well.
  std::filesystem::remove(dir / "registry.reg");
  setRegistryFilePath((dir / "registry.reg").string());
  startCdAudio(&player);
  EXPECT_EQ(drive.opens, 0);
  stopCdAudio();
  EXPECT_EQ(drive.stops, 0);
}

TEST_F(CdAudioTest, ADeviceThatCannotBeOpenedLeavesPlaybackOffSilently) {
  settings(1, 0, 1);
  disc(10);
  drive.refuseOpen = true;
  startCdAudio(&player);
  EXPECT_EQ(drive.opens, 1);
  EXPECT_EQ(CdPlayer, nullptr);
  EXPECT_TRUE(drive.plays.empty());
  playNextTrack();
  stopCdAudio();
  EXPECT_TRUE(drive.plays.empty());
  EXPECT_EQ(drive.stops, 0);

  // No device at all (a host without a CD player).
  setCdDeviceMaker(nullptr);
  startCdAudio(&player);
  EXPECT_EQ(CdPlayer, nullptr);
}

TEST_F(CdAudioTest, StoppingEndsPlaybackAndALateCompletionPlaysNothing) {
  settings(1, 0, 1);
  disc(10);
  startCdAudio(&player);
  trackEnds();
  ASSERT_EQ(drive.plays.size(), 2u);
  std::function<void()> late = drive.completed;
  stopCdAudio();
  EXPECT_EQ(drive.stops, 1);
  EXPECT_EQ(drive.closes, 1);
  EXPECT_EQ(CdPlayer, nullptr);
  late(); // the device's thread finishes the track after all
  deliverCdNotices();
  playNextTrack(); // a notice that was already on its way
  EXPECT_EQ(drive.plays.size(), 2u);
}

TEST_F(CdAudioTest, NoticesArriveOnlyThroughTheMessageLoop) {
  settings(1, 0, 0);
  disc(3);
  startCdAudio(&player);
  drive.completed();
  drive.completed(); // a device may report from its own thread at any time
  EXPECT_EQ(drive.plays.size(), 1u);
  deliverCdNotices();
  EXPECT_EQ(drive.plays.size(), 3u);
  deliverCdNotices();
  EXPECT_EQ(drive.plays.size(), 3u);
}

TEST_F(CdAudioTest, DataTracksAreNeverPlayed) {
  // A mixed-mode disc: the program's data first, then the music; and a data
  // track among the music.
  settings(1, 0, 1);
  drive.audio = {false, true, true, false, true};
  startCdAudio(&player);
  playThrough(7);
  EXPECT_EQ(starts(), (std::vector<int>{2, 3, 5, 2, 3, 5, 2}));
  // Track 3 ends where the data track begins.
  EXPECT_EQ(drive.plays[1], std::make_pair(3, 4));
  stopCdAudio();

  resetCdAudioState();
  drive.plays.clear();
  settings(1, 1, 1);
  startCdAudio(&player);
  playThrough(9);
  ASSERT_EQ(drive.plays.size(), 9u);
  for (size_t cycle = 0; cycle < 3; ++cycle) {
    std::set<int> seen;
    for (size_t i = 0; i < 3; ++i) seen.insert(drive.plays[cycle * 3 + i].first);
    EXPECT_EQ(seen, (std::set<int>{2, 3, 5})) << "cycle " << cycle;
  }
}

TEST_F(CdAudioTest, ADiscWithoutAudioPlaysNothing) {
  for (int random : {0, 1}) {
    resetCdAudioState();
    settings(1, random, 1);
    drive.audio = {false, false};
    startCdAudio(&player);
    playNextTrack();
    EXPECT_TRUE(drive.plays.empty()) << "random " << random;
    stopCdAudio();
  }
  // And a disc with no tracks.
  resetCdAudioState();
  drive.audio.clear();
  startCdAudio(&player);
  EXPECT_TRUE(drive.plays.empty());
}

TEST_F(CdAudioTest, TheDeviceNamedInTheSettingsIsOpened) {
  settings(1, 0, 0, "\"CD_Device\"=\"/media/disc images/album.cue\"");
  disc(2);
  startCdAudio(&player);
  EXPECT_EQ(drive.openedName, "/media/disc images/album.cue");
  stopCdAudio();

  // Empty: the system's first drive.
  settings(1, 0, 0, "\"CD_Device\"=\"\"");
  startCdAudio(&player);
  EXPECT_EQ(drive.opens, 2);
  EXPECT_EQ(drive.openedName, "");
  stopCdAudio();

  // A number is no device name: nothing is opened rather than some other drive.
  settings(1, 0, 0, "\"CD_Device\"=dword:00000001");
  startCdAudio(&player);
  EXPECT_EQ(drive.opens, 2);
  EXPECT_EQ(CdPlayer, nullptr);
}

} // namespace
