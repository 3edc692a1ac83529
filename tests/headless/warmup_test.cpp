// --warm: the frames after a warm-up are those a plain run draws at the same
// frame numbers, whether the warm-up was drawn (motion blur) or only worked
// out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/configuration.h"
#include "tests/headless/childrender.h"

namespace {

class WarmUp : public ::testing::Test {
protected:
  static constexpr int Fps = 12, WarmFrames = 18, After = 3;

  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "lv-warm-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string &d : made_) {
      for (int f = 1; f <= WarmFrames + After + 1; ++f) std::remove(frameFile(d, f).c_str());
      std::remove(d.c_str());
    }
    for (const char *name : {"/plain.reg", "/blur.reg"}) std::remove((dir_ + name).c_str());
    std::remove(dir_.c_str());
  }
  // Renders `frames` frames of the scene after `warmSeconds` in a process of
  // its own (the scenes keep state from one run to the next), with motion
  // blur or without; the frame files, none when the run failed.
  std::vector<std::string> render(int scene, bool blur, double warmSeconds, long frames) {
    HeadlessRun run;
    run.renderDir = dir_ + "/s" + std::to_string(scene) + (blur ? "b" : "") + "w" +
                    std::to_string(static_cast<int>(warmSeconds * Fps));
    run.frames = frames;
    run.fps = Fps;
    run.warmSeconds = warmSeconds;
    run.haveSeed = true;
    run.seed = 1;
    run.scene = scene;
    run.mode = 2; // 512 x 384
    made_.push_back(run.renderDir);
    return renderInChild(run, [&] {
      setenv("LUMENVEIL_REGISTRY", (dir_ + (blur ? "/blur.reg" : "/plain.reg")).c_str(), 1);
      GlobalConfiguration g;
      g.load();
      g.MotionBlur = blur ? 1 : 0;
      g.save();
    });
  }
  std::string dir_;
  std::vector<std::string> made_;
};

TEST_F(WarmUp, FramesAfterAWarmUpAreThoseOfAPlainRunAtTheSameNumbers) {
  for (int scene : {1, 2})
    for (bool blur : {false, true}) {
      SCOPED_TRACE("scene " + std::to_string(scene) + (blur ? " with motion blur" : ""));
      const std::vector<std::string> plain = render(scene, blur, 0.0, WarmFrames + After);
      const std::vector<std::string> warmed = render(scene, blur, WarmFrames / (double)Fps, After);
      ASSERT_EQ(plain.size(), (size_t)(WarmFrames + After));
      ASSERT_EQ(warmed.size(), (size_t)After);
      for (int f = 0; f < After; ++f) {
        ASSERT_FALSE(warmed[f].empty());
        EXPECT_TRUE(warmed[f] == plain[WarmFrames + f]) << "frame " << WarmFrames + f + 1;
      }
      // And the warm-up changed what was drawn: the scene moved on.
      EXPECT_FALSE(warmed[0] == plain[0]);
    }
}

} // namespace
