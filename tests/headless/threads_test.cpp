// The board's drawing threads: both scenes drawn on one, two and three
// threads give the same frames, pixel for pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "glide/presenter.h"
#include "tests/headless/childrender.h"

namespace {

class DrawingThreads : public ::testing::Test {
protected:
  static constexpr int Frames = 8;

  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "lv-threads-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
    setenv("LUMENVEIL_REGISTRY", (dir_ + "registry.reg").c_str(), 1);
  }
  void TearDown() override {
    for (const std::string &d : made_) {
      for (int f = 1; f <= Frames; ++f) std::remove(frameFile(d, f).c_str());
      std::remove(d.c_str());
    }
    std::remove((dir_ + "registry.reg").c_str());
    std::remove(dir_.c_str());
  }
  // Renders the scene's first frames on `threads` threads in a process of its
  // own (the scenes keep state from one run to the next); the frame files.
  std::vector<std::string> render(int scene, int threads) {
    HeadlessRun run;
    run.renderDir = dir_ + "s" + std::to_string(scene) + "t" + std::to_string(threads);
    run.frames = Frames;
    run.fps = 12; // far enough into the scene that every kind of object shows
    run.haveSeed = true;
    run.seed = 1;
    run.scene = scene;
    run.mode = 2; // 512 x 384
    made_.push_back(run.renderDir);
    return renderInChild(run, [threads] { boardSetThreads(threads); });
  }
  std::string dir_;
  std::vector<std::string> made_;
};

TEST_F(DrawingThreads, BothScenesDrawTheSameFramesOnOneTwoAndThreeThreads) {
  for (int scene : {1, 2}) {
    const std::vector<std::string> one = render(scene, 1);
    ASSERT_EQ(one.size(), (size_t)Frames) << "scene " << scene;
    for (int threads : {2, 3}) {
      const std::vector<std::string> many = render(scene, threads);
      ASSERT_EQ(many.size(), (size_t)Frames) << "scene " << scene << ", " << threads << " threads";
      for (int f = 0; f < Frames; ++f) {
        EXPECT_FALSE(one[f].empty());
        EXPECT_TRUE(one[f] == many[f])
            << "scene " << scene << " frame " << f + 1 << " on " << threads << " threads";
      }
    }
  }
}

} // namespace
