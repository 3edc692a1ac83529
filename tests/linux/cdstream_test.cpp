// Reading ahead on a thread of its own: the output gets the range's sound in
// order, whatever pieces it asks for, and hears of its end exactly once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "discimage.h"
#include "hosts/linux/cdstream.h"
#include "hosts/linux/disc.h"

namespace {

class CdStreamTest : public ::testing::Test {
protected:
  std::filesystem::path dir;
  std::shared_ptr<Disc> disc = std::make_shared<Disc>();
  std::vector<int16_t> bin; // the whole disc as the image holds it
  std::atomic<int> ended{0};

  void SetUp() override {
    char pattern[] = "/tmp/lvcdstreamXXXXXX";
    dir = mkdtemp(pattern);
    ASSERT_TRUE(disc->open(writeDisc(dir, "s", toneDisc(3, 40))));
    std::ifstream in(dir / "s.bin", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bin.resize(bytes.size() / 2);
    std::memcpy(bin.data(), bytes.data(), bytes.size());
  }
  void TearDown() override {
    disc->close();
    std::filesystem::remove_all(dir);
  }

  // Takes from the stream as an output thread would, in uneven pieces,
  // until it ends or `frames` were taken.
  std::vector<int16_t> drain(CdStream &stream, size_t frames) {
    std::vector<int16_t> got;
    std::thread output([&] {
      int16_t piece[701 * 2];
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      size_t ask = 1;
      while (got.size() / 2 < frames && std::chrono::steady_clock::now() < deadline) {
        const size_t want = std::min(ask, frames - got.size() / 2);
        const size_t n = stream.take(piece, want);
        got.insert(got.end(), piece, piece + n * 2);
        if (n == 0 && !stream.active()) break;
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ask = ask % 600 + 97; // 1 to 696 frames
      }
    });
    output.join();
    return got;
  }
  std::vector<int16_t> sectors(int32_t first, int32_t last) const {
    return std::vector<int16_t>(bin.begin() + first * CdSectorFrames * 2,
                                bin.begin() + (last + 1) * CdSectorFrames * 2);
  }
};

TEST_F(CdStreamTest, TheDiscAsTheImageDescribesIt) {
  ASSERT_EQ(disc->tracks(), 3);
  for (int t = 1; t <= 3; ++t) {
    EXPECT_TRUE(disc->isAudio(t));
    EXPECT_EQ(disc->firstSector(t), (t - 1) * 40);
    EXPECT_EQ(disc->lastSector(t), t * 40 - 1);
  }
  EXPECT_FALSE(disc->isAudio(0));
  EXPECT_FALSE(disc->isAudio(4));
}

TEST_F(CdStreamTest, ARangeArrivesWholeAndInOrderThenEndsOnce) {
  CdStream stream(disc, true, [this] { ++ended; });
  stream.start(disc->firstSector(2), disc->lastSector(3));
  std::vector<int16_t> got = drain(stream, 1u << 30);
  EXPECT_EQ(ended.load(), 1);
  EXPECT_TRUE(got == sectors(40, 119)) << got.size() / 2 << " frames";
  int16_t piece[16];
  EXPECT_EQ(stream.take(piece, 8), 0u);
  EXPECT_EQ(ended.load(), 1);
}

TEST_F(CdStreamTest, StopAndRestartDropWhatWasReadAhead) {
  CdStream stream(disc, true, [this] { ++ended; });
  stream.start(0, 119);
  EXPECT_TRUE(drain(stream, 1000) == std::vector<int16_t>(bin.begin(), bin.begin() + 2000));
  stream.stop();
  int16_t piece[16];
  EXPECT_EQ(stream.take(piece, 8), 0u);
  // A new range starts with its own first sample, not with what was buffered.
  stream.start(80, 119);
  EXPECT_TRUE(drain(stream, 1u << 30) == sectors(80, 119));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ended.load(), 1); // the stopped range never ended
}

TEST_F(CdStreamTest, ASectorThatCannotBeReadIsSilence) {
  // The bin is cut short in the middle of track 3: the cue sheet promises
  // more than there is.
  std::filesystem::resize_file(dir / "s.bin", 100 * CdSectorBytes + 1000);
  auto cut = std::make_shared<Disc>();
  ASSERT_TRUE(cut->open((dir / "s.cue").string()));
  CdStream stream(cut, false, [this] { ++ended; });
  stream.start(90, 119);
  std::vector<int16_t> got = drain(stream, 1u << 30);
  EXPECT_EQ(ended.load(), 1);
  std::vector<int16_t> whole = sectors(90, 99);
  whole.insert(whole.end(), bin.begin() + 100 * CdSectorFrames * 2,
               bin.begin() + 100 * CdSectorFrames * 2 + 500);
  ASSERT_GE(got.size(), whole.size());
  EXPECT_TRUE(std::equal(whole.begin(), whole.end(), got.begin()));
  for (size_t i = whole.size(); i < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;
}

TEST_F(CdStreamTest, AReadStuckInTheDriveNeverHoldsUpTheEndOfTheStream) {
  // A drive whose read does not come back until the test lets it.
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool reading = false, open = false;
    int returned = 0;
  };
  auto gate = std::make_shared<Gate>();
  auto stream = std::make_unique<CdStream>(
      [gate](int32_t, uint32_t, void *) {
        std::unique_lock<std::mutex> lk(gate->m);
        gate->reading = true;
        gate->cv.notify_all();
        gate->cv.wait(lk, [&] { return gate->open; });
        ++gate->returned;
        gate->cv.notify_all();
        return false;
      },
      true, nullptr);
  stream->start(0, 100);
  {
    std::unique_lock<std::mutex> lk(gate->m);
    ASSERT_TRUE(gate->cv.wait_for(lk, std::chrono::seconds(10), [&] { return gate->reading; }));
  }
  std::promise<void> ended;
  std::future<void> endedFuture = ended.get_future();
  std::thread ender([&] {
    stream.reset();
    ended.set_value();
  });
  const bool endedWhileStuck = endedFuture.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  std::unique_lock<std::mutex> lk(gate->m);
  EXPECT_TRUE(endedWhileStuck);
  EXPECT_EQ(gate->returned, 0);
  // Once the drive answers, the reader ends on its own.
  gate->open = true;
  gate->cv.notify_all();
  EXPECT_TRUE(gate->cv.wait_for(lk, std::chrono::seconds(10), [&] { return gate->returned > 0; }));
  lk.unlock();
  ender.join();
}

} // namespace
