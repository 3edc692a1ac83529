// The pictures of both scenes, pinned: a digest of the first frames of each
// scene at a fixed seed and clock step. Any change to what the scenes draw
// shows here, so it is made on purpose: when a change of the pictures is
// meant, look at the new frames, then put the new digest below.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "pngdecode.h"

namespace {

constexpr int Frames = 40;

// FNV-1a over every frame's size and pixels, in order.
uint64_t digestOf(const std::string &dir) {
  uint64_t h = 1469598103934665603ull;
  auto add = [&h](unsigned char byte) {
    h ^= byte;
    h *= 1099511628211ull;
  };
  for (int f = 1; f <= Frames; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06d.png", f);
    const DecodedPng png = decodePng(dir + name);
    if (png.rgb.empty()) return 0;
    for (int v : {png.width, png.height})
      for (int i = 0; i < 4; ++i) add(static_cast<unsigned char>(v >> (8 * i)));
    for (unsigned char c : png.rgb) add(c);
  }
  return h;
}

// Renders the scene with the built program (a fresh process: nothing a test
// before left behind can change it) and gives the digest of its frames; 0
// when the run failed.
uint64_t sceneDigest(int scene) {
  std::string pattern = ::testing::TempDir() + "lv-pinned-XXXXXX";
  if (!mkdtemp(pattern.data())) return 0;
  const std::string dir = pattern;
  // Five seconds of the scene at 512 x 384: the title, the sky and the first objects.
  const std::string command = "LUMENVEIL_REGISTRY='" + dir + "/registry.reg' '" + LV_BINARY_DIR +
                              "/lumenveil' --render '" + dir + "/frames' --frames " + std::to_string(Frames) +
                              " --fps 8 --seed 1 --mode 2 --scene " + std::to_string(scene) + " >/dev/null";
  const int status = std::system(command.c_str());
  const uint64_t digest = status == 0 ? digestOf(dir + "/frames") : 0;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return digest;
}

TEST(PinnedFrames, BothScenesDrawWhatTheyDrewWhenTheirDigestWasPinned) {
  const struct {
    int scene;
    uint64_t digest;
  } pinned[] = {{1, 0xa8f57bfa4efb4bd6ull}, {2, 0xbffad9225063a365ull}};
  for (const auto &p : pinned) {
    const uint64_t digest = sceneDigest(p.scene);
    ASSERT_NE(digest, 0u) << "scene " << p.scene << " did not render";
    char shown[32];
    std::snprintf(shown, sizeof shown, "0x%016" PRIx64, digest);
    EXPECT_EQ(digest, p.digest) << "scene " << p.scene << " now draws frames of digest " << shown;
  }
}

} // namespace
