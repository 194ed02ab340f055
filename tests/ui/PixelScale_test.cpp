#include "ui/PixelScale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace uptorra {
namespace {

PixelImage Filled(int width, int height, std::uint32_t pixel) {
  return PixelImage{width, height, std::vector<std::uint32_t>(std::size_t(width) * height, pixel)};
}

std::uint32_t Alpha(std::uint32_t pixel) { return pixel >> 24; }

TEST(PixelScaleTest, UniformPictureStaysUniformAtTheSignatureSizes) {
  const std::uint32_t ink = 0xFF202433;
  const PixelImage out = StretchAreaAverage(Filled(288, 268, ink), 80, 80);
  ASSERT_EQ(out.width, 80);
  ASSERT_EQ(out.height, 80);
  for (std::uint32_t pixel : out.pixels) ASSERT_EQ(pixel, ink);
}

TEST(PixelScaleTest, ThinStrokeSurvivesShrinking) {
  // A one-pixel pen stroke: picking the nearest source pixel would drop it; averaging keeps
  // it as a fainter line.
  PixelImage picture = Filled(4, 4, 0);
  for (int y = 0; y < 4; ++y) picture.pixels[y * 4 + 1] = 0xFF000000;
  const PixelImage out = StretchAreaAverage(picture, 2, 2);
  for (int y = 0; y < 2; ++y) {
    EXPECT_NEAR(Alpha(out.pixels[y * 2 + 0]), 128, 1);
    EXPECT_EQ(Alpha(out.pixels[y * 2 + 1]), 0u);
  }
}

TEST(PixelScaleTest, CoverageIsKeptAtUnevenRatios) {
  std::mt19937 random(7);
  PixelImage picture = Filled(288, 268, 0);
  double sourceInk = 0;
  for (std::uint32_t& pixel : picture.pixels) {
    const std::uint32_t a = random() % 256;
    pixel = a << 24;
    sourceInk += a;
  }
  for (const auto& [w, h] : {std::pair{80, 80}, std::pair{100, 100}, std::pair{160, 160}, std::pair{7, 300}}) {
    const PixelImage out = StretchAreaAverage(picture, w, h);
    double ink = 0;
    for (std::uint32_t pixel : out.pixels) ink += Alpha(pixel);
    const double area = double(288) * 268 / (double(w) * h);
    EXPECT_NEAR(ink * area / sourceInk, 1.0, 0.01) << w << "x" << h;
  }
}

TEST(PixelScaleTest, CompositeOverBackground) {
  PixelImage image{3, 1, {0x00000000, 0xFF102030, 0x80000000}};  // clear, opaque, half black
  CompositeOver(image, 0x00F0F0F0);
  EXPECT_EQ(image.pixels[0], 0xFFF0F0F0u);
  EXPECT_EQ(image.pixels[1], 0xFF102030u);
  EXPECT_EQ(image.pixels[2], 0xFF787878u);  // 240 * (1 - 128/255) = 119.5
}

TEST(PixelScaleTest, EmptyOrBrokenInputGivesEmptyImage) {
  EXPECT_TRUE(StretchAreaAverage(PixelImage{}, 80, 80).pixels.empty());
  EXPECT_TRUE(StretchAreaAverage(Filled(4, 4, 0xFF000000), 0, 80).pixels.empty());
  EXPECT_TRUE(StretchAreaAverage(PixelImage{4, 4, std::vector<std::uint32_t>(3)}, 2, 2).pixels.empty());
}

}  // namespace
}  // namespace uptorra
