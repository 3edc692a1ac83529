// The CD player on Windows: the drive list, the MCI device where no drive
// answers, and the completion notices that come as window messages and reach
// a window's player through the host's message loop. Runs in a scratch Wine
// prefix (or a test machine): it writes the program's keys.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cdaudio/cdaudio.h"
#include "hosts/win32/cddrives.h"
#include "hosts/win32/cdmci.h"
#include "hosts/win32/gdipresenter.h"
#include "hosts/win32/winhost.h"
#include "platform/application.h"
#include "cdaudio/mediaplayer.h"
#include "platform/messagebox.h"
#include "settings/configuration.h"

namespace {

// Dispatches what this thread's queue holds, as a message loop does.
void pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

UINT fakeType(const char *root) {
  if (std::strcmp(root, "D:\\") == 0 || std::strcmp(root, "F:\\") == 0) return DRIVE_CDROM;
  if (std::strcmp(root, "E:\\") == 0) return DRIVE_REMOVABLE;
  return DRIVE_FIXED;
}

// The letters GetLogicalDrives marks whose root GetDriveType calls a CD drive.
std::vector<std::string> cdDrivesByLetter() {
  std::vector<std::string> drives;
  const DWORD present = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(present & (1u << i))) continue;
    const char root[] = {static_cast<char>('A' + i), ':', '\\', '\0'};
    if (GetDriveTypeA(root) == DRIVE_CDROM) drives.push_back(std::string(root, 2));
  }
  return drives;
}

struct CountingBoxes : MessageBoxSink {
  int shown = 0;
  int show(const char *, const char *, unsigned) override { return ++shown, IDOK; }
  void beep(int, int) override {}
};

int Notified = 0;
void countNotice() { ++Notified; }

class WindowsCd : public ::testing::Test {
protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Qbn");
    setMessageBoxSink(&boxes_);
    Notified = 0;
  }
  void TearDown() override {
    CdPlayer = nullptr; // a test's own player has closed itself
    resetCdAudioState();
    finishMciCd();
    setMessageBoxSink(nullptr);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Qbn");
  }
  // CD audio on, in the order given, from `device` (none: the first drive).
  static void cdSettings(const char *device) {
    AudioConfiguration audio;
    audio.CD_Audio = 1;
    audio.CD_Continuous = 1;
    ASSERT_EQ(audio.save(), 0);
    if (device) {
      ASSERT_EQ(saveCdDeviceName(device), 0);
    }
  }
  CountingBoxes boxes_;
};

} // namespace

TEST(WindowsCdDrives, TheListKeepsTheCdRootsInOrderByTheirDriveNames) {
  const char roots[] = "A:\\\0C:\\\0D:\\\0E:\\\0F:\\\0";
  EXPECT_EQ(cdDrivesAmong(roots, fakeType), (std::vector<std::string>{"D:", "F:"}));
  const char none[] = "C:\\\0E:\\\0";
  EXPECT_TRUE(cdDrivesAmong(none, fakeType).empty());
  EXPECT_TRUE(cdDrivesAmong("", fakeType).empty());
  EXPECT_TRUE(cdDrivesAmong(nullptr, fakeType).empty());
}

TEST(WindowsCdDrives, TheSystemsListIsWhatGetDriveTypeSaysOfEachDrive) {
  EXPECT_EQ(systemCdDrives(), cdDrivesByLetter());
  useSystemCdDrives();
  EXPECT_EQ(cdDriveNames(), cdDrivesByLetter());
  setCdDriveLister(nullptr);
}

TEST(WindowsCdNotices, OneCompletionForEachPlayAndOnlyFromTheMessageLoop) {
  int completions = 0;
  DWORD thread = 0;
  CdNoticeWindow notices([&] {
    ++completions;
    thread = GetCurrentThreadId();
  });
  ASSERT_NE(notices.window(), nullptr);
  notices.expect(7);
  ASSERT_TRUE(PostMessageA(notices.window(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 7));
  EXPECT_EQ(completions, 0); // posted, not yet dispatched
  pump();
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(thread, GetCurrentThreadId());
  EXPECT_FALSE(notices.expecting());

  // A second notice for the same play (the driver's "aborted" after a stop
  // that already completed it) brings nothing.
  PostMessageA(notices.window(), MM_MCINOTIFY, MCI_NOTIFY_ABORTED, 7);
  pump();
  EXPECT_EQ(completions, 1);

  // Another device's notice, and a replaced play's, are not this play's end.
  notices.expect(7);
  PostMessageA(notices.window(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 8);
  PostMessageA(notices.window(), MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, 7);
  pump();
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(notices.expecting());
  // An aborted or failed play ends as one heard to its end does.
  PostMessageA(notices.window(), MM_MCINOTIFY, MCI_NOTIFY_ABORTED, 7);
  pump();
  EXPECT_EQ(completions, 2);
  notices.expect(7);
  PostMessageA(notices.window(), MM_MCINOTIFY, MCI_NOTIFY_FAILURE, 7);
  pump();
  EXPECT_EQ(completions, 3);

  // A forgotten play (stopped or closed) takes no late notice.
  notices.expect(7);
  EXPECT_TRUE(notices.forget());
  EXPECT_FALSE(notices.forget());
  PostMessageA(notices.window(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 7);
  pump();
  EXPECT_EQ(completions, 3);
}

TEST_F(WindowsCd, ADriveThatIsNotThereLeavesPlaybackOffWithoutAWord) {
  useMciForCd();
  // "Q:" is no drive here; a missing value means the first drive, and this
  // prefix has none (unless the machine lends it one).
  for (const char *device : {"Q:", "Q:\\", "not a drive", static_cast<const char *>(nullptr)}) {
    SCOPED_TRACE(device ? device : "(first drive)");
    if (!device && !cdDrivesByLetter().empty()) continue;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    cdSettings(device);
    MediaPlayer player(true, countNotice);
    startCdAudio(&player);
    EXPECT_EQ(CdPlayer, nullptr);
    EXPECT_FALSE(player.isOpen());
    // Closed, every request fails and nothing completes.
    EXPECT_FALSE(player.play(1, 2));
    EXPECT_EQ(player.tracks(), 0);
    stopCdAudio();
    pump();
    deliverCdNotices();
    EXPECT_EQ(Notified, 0);
  }
  EXPECT_EQ(boxes_.shown, 0);
}

// A CD drive without a disc, which cd_drive.sh lends the prefix (its name in
// LUMENVEIL_TEST_CD_DRIVE): the system's list names it, and the player's
// device opens it but finds nothing to play.
class WindowsCdDrive : public WindowsCd {
protected:
  void SetUp() override {
    WindowsCd::SetUp();
    const char *drive = std::getenv("LUMENVEIL_TEST_CD_DRIVE");
    if (!drive) GTEST_SKIP() << "needs the drive cd_drive.sh lends the prefix";
    drive_ = drive;
  }
  std::string drive_;
};

TEST_F(WindowsCdDrive, AnEmptyDriveIsListedAndLeavesPlaybackOffWithoutAWord) {
  const std::vector<std::string> drives = systemCdDrives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), drive_), drives.end());
  EXPECT_EQ(drives, cdDrivesByLetter());
  useMciForCd();
  // By its name, and as the first drive when it is the only one.
  for (const char *device : {drive_.c_str(), static_cast<const char *>(nullptr)}) {
    SCOPED_TRACE(device ? device : "(first drive)");
    if (!device && drives.size() != 1) continue;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    cdSettings(device);
    MediaPlayer player(false, countNotice);
    startCdAudio(&player);
    EXPECT_EQ(CdPlayer, nullptr);
    EXPECT_FALSE(player.isOpen());
    EXPECT_FALSE(player.open(drive_));
    EXPECT_FALSE(player.play(1, 0));
    pump();
    deliverCdNotices();
    EXPECT_EQ(Notified, 0);
  }
  EXPECT_EQ(boxes_.shown, 0);
}

namespace {

// A drive whose plays end at once: its "driver" posts the completion to the
// device's notice window, as MCI does when a play has been heard.
class PostingDevice : public CdDevice {
public:
  PostingDevice(std::function<void()> completed, std::vector<std::pair<int, int>> &plays)
      : notices_(std::move(completed)), plays_(plays) {}
  bool open(const std::string &, bool) override { return true; }
  bool rewind() override { return true; }
  int position() override { return 1; }
  int tracks() override { return 3; }
  bool isAudioTrack(int t) override { return t >= 1 && t <= 3; }
  bool play(int from, int to) override {
    plays_.emplace_back(from, to);
    notices_.expect(Id);
    return PostMessageA(notices_.window(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, Id);
  }
  bool stop() override { return notices_.forget(), true; }
  bool close() override { return notices_.forget(), true; }

private:
  static constexpr MCIDEVICEID Id = 3;
  CdNoticeWindow notices_;
  std::vector<std::pair<int, int>> &plays_;
};

} // namespace

TEST_F(WindowsCd, EachPlaysWindowMessageStartsTheNextTrackThroughTheHostsMessageLoop) {
  std::vector<std::pair<int, int>> plays;
  setCdDeviceMaker([&](std::function<void()> completed) -> std::unique_ptr<CdDevice> {
    return std::make_unique<PostingDevice>(std::move(completed), plays);
  });
  AudioConfiguration audio;
  audio.CD_Audio = 1;
  ASSERT_EQ(audio.save(), 0);
  GdiPresenter presenter;
  std::unique_ptr<Application> app = makeWin32Application(presenter);
  setApplication(app.get());
  MediaPlayer player(true, playNextTrack);
  startCdAudio(&player);
  ASSERT_EQ(CdPlayer, &player);
  ASSERT_EQ(plays.size(), 1u);
  // One pass of the loop: the first track's notice is dispatched and starts
  // the second; its notice waits for the next pass.
  app->processMessages();
  EXPECT_EQ(plays.size(), 2u);
  app->processMessages();
  app->processMessages();
  app->processMessages();
  // Disc order, once: the last track to the end of the disc, then silence.
  EXPECT_EQ(plays, (std::vector<std::pair<int, int>>{{1, 2}, {2, 3}, {3, 0}}));
  stopCdAudio();
  app->processMessages();
  EXPECT_EQ(plays.size(), 3u);
  setApplication(nullptr);
  app.reset();
}
