// Headless runs in the native mode: pictures at the size asked for, drawn
// across the whole of it, with the projection in that shape.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "hosts/headless/headlessrun.h"
#include "math/camera.h"
#include "platform/registry_store.h"
#include "registry/registrystore.h"
#include "tests/headless/pngdecode.h"

namespace {

std::string scratchDir(const std::string &name) {
  std::string dir = ::testing::TempDir() + "lv-native-" + name + "-" + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  return dir;
}

std::string frameName(const std::string &dir, int n) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%06d.png", n);
  return dir + name;
}

// Whether any pixel in the columns [from, to) is not black.
bool drawnIn(const DecodedPng &png, int from, int to) {
  for (int y = 0; y < png.height; ++y)
    for (int x = from; x < to; ++x)
      for (int c = 0; c < 3; ++c)
        if (png.rgb[(static_cast<size_t>(y) * png.width + x) * 3 + c] != 0) return true;
  return false;
}

} // namespace

TEST(NativeRender, BothScenesWriteFramesOfTheSizeAskedForAndProjectInItsShape) {
  useInMemoryRegistry(); // the defaults; no settings file is read
  for (int scene = 1; scene <= 2; ++scene) {
    const std::string dir = scratchDir("scene" + std::to_string(scene));
    CliParse p = parseArguments({"--render", dir, "--frames", "3", "--fps", "30", "--seed", "1", "--scene",
                                 std::to_string(scene), "--mode", "6", "--size", "320x200"});
    ASSERT_EQ(p.action, CliAction::Headless) << p.error;
    ::testing::internal::CaptureStdout();
    const int code = runHeadless(p.headless);
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 0);
    EXPECT_FLOAT_EQ(CameraAspect, 200.0f / 320.0f) << "scene " << scene;
    for (int n = 1; n <= 3; ++n) {
      const DecodedPng png = decodePng(frameName(dir, n));
      ASSERT_TRUE(png.ok) << png.error;
      EXPECT_EQ(png.width, 320);
      EXPECT_EQ(png.height, 200);
      // The sky fills the frame: the right-hand strip is drawn too, not only
      // a 4:3 part at the left.
      if (n == 3) {
        EXPECT_TRUE(drawnIn(png, 300, 320)) << "scene " << scene;
        EXPECT_TRUE(drawnIn(png, 0, 20)) << "scene " << scene;
      }
      std::remove(frameName(dir, n).c_str());
    }
    rmdir(dir.c_str());
  }

  // A table mode afterwards goes back to its own size and to 4:3.
  const std::string dir = scratchDir("table");
  HeadlessRun run;
  run.renderDir = dir;
  run.fps = 30.0;
  run.mode = 2;
  run.scene = 1;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(runHeadless(run), 0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(CameraAspect, 0.75f);
  const DecodedPng png = decodePng(frameName(dir, 1));
  ASSERT_TRUE(png.ok) << png.error;
  EXPECT_EQ(png.width, 512);
  EXPECT_EQ(png.height, 384);
  std::remove(frameName(dir, 1).c_str());
  rmdir(dir.c_str());
}
