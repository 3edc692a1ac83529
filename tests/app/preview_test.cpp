// The preview: the title pictures over grey static, and its window's life.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/entry.h"
#include "app/preview.h"
#include "frame/fixedclock.h"
#include "hosts/headless/headlessapp.h"
#include "platform/previewwindow.h"
#include "frame/random.h"
#include "platform/resources.h"
#include "platform/ticks.h"
#include "tests/app/fakeports.h"

namespace {

int red(uint16_t p) { return p >> 11; }
int green5(uint16_t p) { return (p >> 6) & 31; }
int blue(uint16_t p) { return p & 31; }

// A picture whose pixels are all different: red the column, green the row,
// blue their sum, so a pixel tells where in the image it came from.
std::vector<unsigned char> gradient() {
  std::vector<unsigned char> img(PreviewImageBytes);
  for (int y = 0; y < PreviewImageHeight; ++y)
    for (int x = 0; x < PreviewImageWidth; ++x) {
      unsigned char *p = &img[(static_cast<size_t>(y) * PreviewImageWidth + x) * 3];
      p[0] = static_cast<unsigned char>(x);
      p[1] = static_cast<unsigned char>(y * 2);
      p[2] = static_cast<unsigned char>(x + y);
    }
  return img;
}

// A window that lives for a given number of pumps, stepping the fixed clock
// each time, and keeps every picture it was shown.
class FakePreview : public PreviewWindow {
public:
  bool exists = true;
  int width = PreviewImageWidth, height = PreviewImageHeight;
  int pumpsLeft = 3;
  WindowHandle createdFor = 12345;
  bool destroyed = false;
  std::vector<std::vector<uint16_t>> shown;

  bool create(WindowHandle parent, int &w, int &h) override {
    createdFor = parent;
    if (!exists) return false;
    w = width;
    h = height;
    return true;
  }
  bool pump(int &w, int &h) override {
    if (pumpsLeft-- <= 0) return false;
    w = width;
    h = height;
    return true;
  }
  void show(const uint16_t *pixels, int w, int h) override {
    shown.emplace_back(pixels, pixels + static_cast<size_t>(w) * h);
    advanceFixedClock();
  }
  void destroy() override { destroyed = true; }
};

class Preview : public ::testing::Test {
protected:
  void SetUp() override {
    setApplication(&app_);
    setMessageBoxSink(&boxes_);
    setPreviewWindow(&window_);
    programSrand(7);
  }
  void TearDown() override {
    setFixedClock(0.0);
    setPreviewWindow(nullptr);
    setMessageBoxSink(nullptr);
    setApplication(nullptr);
  }
  HeadlessApplication app_;
  RecordedBoxes boxes_;
  FakePreview window_;
};

} // namespace

TEST(PreviewPicture, AtStrengthZeroItIsGreyStaticAndAtOneTheImageItself) {
  const std::vector<unsigned char> img = gradient();
  std::vector<uint16_t> buffer(PreviewImageWidth * PreviewImageHeight);
  programSrand(1);
  drawPreviewPicture(buffer.data(), PreviewImageWidth, PreviewImageHeight, img.data(), 0.0f);
  int distinct[32] = {};
  for (uint16_t p : buffer) {
    // One random number for all three channels: grey, 0 to 31, and the
    // green field's lowest bit never set.
    EXPECT_EQ(red(p), green5(p));
    EXPECT_EQ(red(p), blue(p));
    EXPECT_EQ(p & 0x20, 0);
    distinct[red(p)] = 1;
  }
  int levels = 0;
  for (int d : distinct) levels += d;
  EXPECT_EQ(levels, 32);

  drawPreviewPicture(buffer.data(), PreviewImageWidth, PreviewImageHeight, img.data(), 1.0f);
  for (size_t i = 0; i < buffer.size(); ++i) {
    ASSERT_EQ(red(buffer[i]), img[i * 3] >> 3) << i;
    ASSERT_EQ(green5(buffer[i]), img[i * 3 + 1] >> 3) << i;
    ASSERT_EQ(blue(buffer[i]), img[i * 3 + 2] >> 3) << i;
  }
}

TEST(PreviewPicture, AWindowOfAnotherSizeGetsTheImageStretchedToFillIt) {
  const std::vector<unsigned char> img = gradient();
  // Twice the size: every image pixel covers two by two.
  const int w = PreviewImageWidth * 2, h = PreviewImageHeight * 2;
  std::vector<uint16_t> big(static_cast<size_t>(w) * h);
  drawPreviewPicture(big.data(), w, h, img.data(), 1.0f);
  for (int y = 0; y < h; y += 37)
    for (int x = 0; x < w; x += 23) {
      const unsigned char *p = &img[(static_cast<size_t>(y / 2) * PreviewImageWidth + x / 2) * 3];
      ASSERT_EQ(red(big[static_cast<size_t>(y) * w + x]), p[0] >> 3);
      ASSERT_EQ(green5(big[static_cast<size_t>(y) * w + x]), p[1] >> 3);
    }
  // Any larger size: the last pixel is the image's last, never one past it.
  const unsigned char *last = &img[PreviewImageBytes - 3];
  for (auto [ww, hh] : {std::pair{1000, 113}, std::pair{153, 900}, std::pair{153, 113}}) {
    std::vector<uint16_t> buf(static_cast<size_t>(ww) * hh);
    drawPreviewPicture(buf.data(), ww, hh, img.data(), 1.0f);
    EXPECT_EQ(red(buf.back()), last[0] >> 3) << ww << "x" << hh;
    EXPECT_EQ(green5(buf.back()), last[1] >> 3) << ww << "x" << hh;
    EXPECT_EQ(buf.front(), 0) << ww << "x" << hh; // the image's first pixel is black
  }
  // Smaller ones take every pixel from inside the image.
  for (auto [ww, hh] : {std::pair{1000, 7}, std::pair{3, 900}, std::pair{1, 1}}) {
    std::vector<uint16_t> buf(static_cast<size_t>(ww) * hh);
    drawPreviewPicture(buf.data(), ww, hh, img.data(), 1.0f);
    for (uint16_t p : buf) EXPECT_LE(red(p), last[0] >> 3);
  }
  // No image at all: static over black.
  std::vector<uint16_t> none(16);
  drawPreviewPicture(none.data(), 4, 4, nullptr, 1.0f);
  for (uint16_t p : none) EXPECT_EQ(p, 0);
}

TEST_F(Preview, StartsInPureStaticAndFadesTheSecondScenesTitleInFirst) {
  const unsigned char *first = nullptr, *second = nullptr;
  loadTitleImages(first, second);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  // One picture every pi seconds: t = 0 (static), pi (second title in full),
  // 2 pi (static), 3 pi (first title in full).
  setFixedClock(1.0 / M_PI);
  window_.pumpsLeft = 4;
  EXPECT_EQ(runSaver(nullptr, "/p 12345"), 0);
  EXPECT_EQ(window_.createdFor, 12345u);
  EXPECT_TRUE(window_.destroyed);
  ASSERT_EQ(window_.shown.size(), 4u);
  auto grey = [](const std::vector<uint16_t> &pic) {
    for (uint16_t p : pic)
      if (red(p) != green5(p) || red(p) != blue(p)) return false;
    return true;
  };
  // Within one level of the title (the strength is a float a hair below 1).
  auto shows = [](const std::vector<uint16_t> &pic, const unsigned char *img) {
    for (size_t i = 0; i < pic.size(); ++i)
      if (std::abs(red(pic[i]) - (img[i * 3] >> 3)) > 1 || std::abs(blue(pic[i]) - (img[i * 3 + 2] >> 3)) > 1)
        return false;
    return true;
  };
  EXPECT_TRUE(grey(window_.shown[0]));
  EXPECT_TRUE(shows(window_.shown[1], second));
  EXPECT_FALSE(shows(window_.shown[1], first));
  EXPECT_TRUE(shows(window_.shown[3], first));
  EXPECT_FALSE(shows(window_.shown[3], second));
}

TEST_F(Preview, AHandleThatNamesNoWindowIsReportedWithExitCodeMinusOne) {
  window_.exists = false;
  EXPECT_EQ(runSaver(nullptr, "/p 999"), -1);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_NE(boxes_.boxes[0].first.find("999"), std::string::npos);
  EXPECT_TRUE(window_.shown.empty());

  // No window system at all.
  setPreviewWindow(nullptr);
  EXPECT_EQ(runSaver(nullptr, "/l 5"), -1);
  EXPECT_EQ(boxes_.boxes.size(), 2u);
}

TEST_F(Preview, HandleZeroOpensAWindowOfItsOwnAndAClosedWindowEndsTheLoop) {
  window_.pumpsLeft = 0; // closed before the first picture
  EXPECT_EQ(runSaver(nullptr, "/p"), 0);
  EXPECT_EQ(window_.createdFor, 0u);
  EXPECT_TRUE(window_.shown.empty());
  EXPECT_TRUE(window_.destroyed);
  EXPECT_TRUE(boxes_.boxes.empty());
}
