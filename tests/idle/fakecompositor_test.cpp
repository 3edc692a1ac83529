// The watcher against a compositor of the test's own that offers
// ext-idle-notify-v1 (the headless sway of the window tests offers only the
// older org_kde_kwin_idle): it asks for the idle time it was given, starts the
// saver when told the session is idle, and asks again once the saver ended.
// A compositor without idle notifications is told.
#include <gtest/gtest.h>

#include <wayland-server.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "ext-idle-notify-v1-server-protocol.h"

namespace fs = std::filesystem;

namespace {

struct FakeCompositor {
  explicit FakeCompositor(bool offerIdle) {
    display = wl_display_create();
    socket = wl_display_add_socket_auto(display);
    wl_global_create(display, &wl_seat_interface, 1, this, bindSeat);
    if (offerIdle) wl_global_create(display, &ext_idle_notifier_v1_interface, 1, this, bindNotifier);
  }
  ~FakeCompositor() { wl_display_destroy(display); }

  // Serves the clients until `done` holds; false after the time limit.
  bool serveUntil(const std::function<bool()> &done, int seconds = 15) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      wl_event_loop_dispatch(wl_display_get_event_loop(display), 50);
      wl_display_flush_clients(display);
    }
    return true;
  }

  static void bindSeat(wl_client *client, void *, uint32_t version, uint32_t id) {
    static const struct wl_seat_interface Seat = {
        [](wl_client *, wl_resource *, uint32_t) {}, [](wl_client *, wl_resource *, uint32_t) {},
        [](wl_client *, wl_resource *, uint32_t) {},
        [](wl_client *, wl_resource *r) { wl_resource_destroy(r); }};
    wl_resource *r = wl_resource_create(client, &wl_seat_interface, version, id);
    wl_resource_set_implementation(r, &Seat, nullptr, nullptr);
  }

  static void bindNotifier(wl_client *client, void *data, uint32_t version, uint32_t id) {
    static const struct ext_idle_notifier_v1_interface Notifier = {
        [](wl_client *, wl_resource *r) { wl_resource_destroy(r); },
        [](wl_client *client, wl_resource *notifier, uint32_t id, uint32_t timeout, wl_resource *seat) {
          auto *self = static_cast<FakeCompositor *>(wl_resource_get_user_data(notifier));
          static const struct ext_idle_notification_v1_interface Notification = {
              [](wl_client *, wl_resource *r) { wl_resource_destroy(r); }};
          wl_resource *note = wl_resource_create(client, &ext_idle_notification_v1_interface, 1, id);
          wl_resource_set_implementation(note, &Notification, self, [](wl_resource *r) {
            auto *self = static_cast<FakeCompositor *>(wl_resource_get_user_data(r));
            ++self->ended;
            if (self->live == r) self->live = nullptr;
          });
          self->live = note;
          self->timeouts.push_back(timeout);
          self->withSeat = seat != nullptr;
        }};
    wl_resource *r = wl_resource_create(client, &ext_idle_notifier_v1_interface, version, id);
    wl_resource_set_implementation(r, &Notifier, data, nullptr);
  }

  wl_display *display;
  std::string socket;
  wl_resource *live = nullptr; // the notification the watcher holds
  std::vector<uint32_t> timeouts;
  int ended = 0;
  bool withSeat = false;
};

// The program's children (the saver the watcher started).
std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> found;
  for (const auto &e : fs::directory_iterator("/proc")) {
    std::ifstream stat(e.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    char state;
    pid_t ppid = 0;
    if (rest >> state >> ppid && ppid == parent) found.push_back(std::stoi(e.path().filename().string()));
  }
  return found;
}

class FakeCompositorTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("lv-idle-wl-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    if (watcher > 0) {
      kill(watcher, SIGKILL);
      waitpid(watcher, nullptr, 0);
    }
    fs::remove_all(dir);
  }
  // Starts `lumenveil --idle --idle-seconds 1` (without: the setting's
  // minutes) on the fake compositor.
  void startWatcher(const FakeCompositor &compositor, bool seconds = true) {
    watcher = fork();
    if (watcher == 0) {
      setenv("WAYLAND_DISPLAY", compositor.socket.c_str(), 1);
      setenv("LUMENVEIL_REGISTRY", (dir / "settings.reg").c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1); // the saver draws where nothing shows
      unsetenv("DISPLAY");
      freopen((dir / "watcher.log").c_str(), "w", stderr);
      if (seconds)
        execl(LV_BINARY_DIR "/lumenveil", "lumenveil", "--idle", "--idle-seconds", "1", nullptr);
      else
        execl(LV_BINARY_DIR "/lumenveil", "lumenveil", "--idle", nullptr);
      _exit(127);
    }
  }
  // Saves "ScreenSaver idle minutes" as the control panel does: a new file renamed over the old.
  void saveIdleMinutes(int minutes) {
    std::ofstream(dir / "settings.new")
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global]\n"
        << "\"ScreenSaver idle minutes\"=dword:0000000" << minutes << "\n";
    fs::rename(dir / "settings.new", dir / "settings.reg");
  }
  std::string log() {
    std::ifstream in(dir / "watcher.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir;
  pid_t watcher = -1;
};

} // namespace

TEST_F(FakeCompositorTest, SaverOnIdledAndAskedAgainAfterIt) {
  FakeCompositor compositor(true);
  startWatcher(compositor);
  ASSERT_TRUE(compositor.serveUntil([&] { return compositor.live != nullptr; })) << log();
  EXPECT_EQ(compositor.timeouts, std::vector<uint32_t>{1000});
  EXPECT_TRUE(compositor.withSeat);

  ext_idle_notification_v1_send_idled(compositor.live);
  // The saver starts, and no idle time is counted while it runs.
  std::vector<pid_t> saver;
  ASSERT_TRUE(compositor.serveUntil([&] {
    return !(saver = childrenOf(watcher)).empty() && compositor.live == nullptr;
  })) << log();
  EXPECT_EQ(compositor.ended, 1);
  EXPECT_NE(log().find("ext-idle-notify-v1"), std::string::npos) << log();

  kill(saver[0], SIGTERM);
  ASSERT_TRUE(compositor.serveUntil([&] { return compositor.timeouts.size() == 2; })) << log();
  EXPECT_EQ(compositor.timeouts[1], 1000u);
  EXPECT_NE(compositor.live, nullptr);

  kill(watcher, SIGTERM);
  int status = 0;
  ASSERT_TRUE(compositor.serveUntil([&] { return waitpid(watcher, &status, WNOHANG) == watcher; })) << log();
  watcher = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log();
}

TEST_F(FakeCompositorTest, ACompositorWithoutIdleNotificationsIsTold) {
  FakeCompositor compositor(false);
  startWatcher(compositor);
  int status = 0;
  ASSERT_TRUE(compositor.serveUntil([&] { return waitpid(watcher, &status, WNOHANG) == watcher; })) << log();
  watcher = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_NE(log().find("offers no idle notification: neither ext-idle-notify-v1"), std::string::npos)
      << log();
}

TEST_F(FakeCompositorTest, ANewIdleTimeCountsAtOnce) {
  saveIdleMinutes(2);
  FakeCompositor compositor(true);
  startWatcher(compositor, false);
  ASSERT_TRUE(compositor.serveUntil([&] { return compositor.live != nullptr; })) << log();
  EXPECT_EQ(compositor.timeouts, std::vector<uint32_t>{120000});
  saveIdleMinutes(3);
  ASSERT_TRUE(compositor.serveUntil([&] { return compositor.timeouts.size() == 2; })) << log();
  EXPECT_EQ(compositor.timeouts[1], 180000u);
  EXPECT_EQ(compositor.ended, 1); // the old count is given up
}
