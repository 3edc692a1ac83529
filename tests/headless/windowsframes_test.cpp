// The Windows build draws the same frames as this one: a fixed-step,
// fixed-seed render of each scene by both, compared pixel by pixel (the
// encoders differ, so the pictures are decoded). Runs when the Windows
// program is named in LUMENVEIL_WINDOWS_SCR, with Wine (LUMENVEIL_WINE) and a
// scratch Wine prefix (WINEPREFIX) whose settings it may reset.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/headless/pngdecode.h"

namespace {

std::string environment(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

int run(const std::string &command) {
  const int status = std::system(command.c_str());
  return status;
}

} // namespace

TEST(WindowsFrames, BothBuildsDrawIdenticalPixels) {
  const std::string scr = environment("LUMENVEIL_WINDOWS_SCR");
  if (scr.empty()) GTEST_SKIP() << "LUMENVEIL_WINDOWS_SCR names no Windows program";
  const std::string wine = environment("LUMENVEIL_WINE").empty() ? "wine" : environment("LUMENVEIL_WINE");
  ASSERT_TRUE(std::filesystem::exists(scr)) << scr;
  ASSERT_FALSE(environment("WINEPREFIX").empty()) << "a scratch WINEPREFIX is needed";

  const std::string base = ::testing::TempDir() + "lv-windowsframes";
  std::filesystem::remove_all(base);
  // Both runs use the default settings.
  run(wine + " reg delete 'HKLM\\Software\\Qbn' /f >/dev/null 2>&1");
  run(wine + " reg delete 'HKCU\\Software\\Qbn' /f >/dev/null 2>&1");

  for (int scene : {1, 2}) {
    const std::string linuxDir = base + "/linux" + std::to_string(scene);
    const std::string windowsDir = base + "/windows" + std::to_string(scene);
    const std::string options = " --frames 60 --fps 30 --seed 1 --scene " + std::to_string(scene);
    ASSERT_EQ(run("LUMENVEIL_REGISTRY=/dev/null '" + std::string(LV_BINARY_DIR) + "/lumenveil' --render '" +
                  linuxDir + "'" + options + " >/dev/null"),
              0);
    ASSERT_EQ(run("WINEDEBUG=-all " + wine + " '" + scr + "' --render 'Z:" + windowsDir + "'" + options +
                  " >/dev/null"),
              0);
    for (int frame = 1; frame <= 60; ++frame) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame-%06d.png", frame);
      const DecodedPng a = decodePng(linuxDir + name), b = decodePng(windowsDir + name);
      ASSERT_TRUE(a.ok) << a.error;
      ASSERT_TRUE(b.ok) << b.error;
      ASSERT_EQ(a.width, b.width);
      ASSERT_EQ(a.height, b.height);
      if (a.rgb != b.rgb) {
        size_t i = 0;
        while (a.rgb[i] == b.rgb[i]) ++i;
        const size_t pixel = i / 3;
        FAIL() << "scene " << scene << " frame " << frame << " differs first at x " << pixel % a.width
               << " y " << pixel / a.width;
      }
    }
  }
  std::filesystem::remove_all(base);
}
