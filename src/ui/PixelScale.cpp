#include "ui/PixelScale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace uptorra {

namespace {

using Channels = std::array<double, 4>;  // b, g, r, a

Channels Unpack(std::uint32_t pixel) {
  return {double(pixel & 0xFF), double((pixel >> 8) & 0xFF), double((pixel >> 16) & 0xFF), double(pixel >> 24)};
}

std::uint32_t Pack(const Channels& c) {
  auto byte = [](double v) { return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
  return byte(c[0]) | (byte(c[1]) << 8) | (byte(c[2]) << 16) | (byte(c[3]) << 24);
}

// One axis: each of the n target cells covers `scale` source cells; returns per target cell the
// list of (source index, weight) pairs, the weights summing to 1.
struct Tap {
  int index;
  double weight;
};
std::vector<std::vector<Tap>> Taps(int sourceCount, int targetCount) {
  std::vector<std::vector<Tap>> taps(targetCount);
  const double scale = double(sourceCount) / targetCount;
  for (int t = 0; t < targetCount; ++t) {
    const double from = t * scale;
    const double to = from + scale;
    for (int s = int(std::floor(from)); s < sourceCount && s < to; ++s) {
      const double overlap = std::min(to, s + 1.0) - std::max(from, double(s));
      if (overlap > 0) taps[t].push_back({s, overlap / scale});
    }
  }
  return taps;
}

}  // namespace

PixelImage StretchAreaAverage(const PixelImage& source, int width, int height) {
  PixelImage out;
  if (source.width <= 0 || source.height <= 0 || width <= 0 || height <= 0 ||
      source.pixels.size() != std::size_t(source.width) * std::size_t(source.height)) {
    return out;
  }
  const auto xTaps = Taps(source.width, width);
  const auto yTaps = Taps(source.height, height);
  // Rows first, then columns; premultiplied channels average without colour fringes.
  std::vector<Channels> rows(std::size_t(width) * source.height);
  for (int y = 0; y < source.height; ++y) {
    for (int x = 0; x < width; ++x) {
      Channels sum{};
      for (const Tap& tap : xTaps[x]) {
        const Channels c = Unpack(source.pixels[std::size_t(y) * source.width + tap.index]);
        for (int i = 0; i < 4; ++i) sum[i] += c[i] * tap.weight;
      }
      rows[std::size_t(y) * width + x] = sum;
    }
  }
  out.width = width;
  out.height = height;
  out.pixels.resize(std::size_t(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Channels sum{};
      for (const Tap& tap : yTaps[y]) {
        const Channels& c = rows[std::size_t(tap.index) * width + x];
        for (int i = 0; i < 4; ++i) sum[i] += c[i] * tap.weight;
      }
      out.pixels[std::size_t(y) * width + x] = Pack(sum);
    }
  }
  return out;
}

void CompositeOver(PixelImage& image, std::uint32_t backgroundRgb) {
  const Channels background = Unpack(backgroundRgb & 0x00FFFFFF);
  for (std::uint32_t& pixel : image.pixels) {
    Channels c = Unpack(pixel);
    const double transparency = 1.0 - c[3] / 255.0;
    for (int i = 0; i < 3; ++i) c[i] += background[i] * transparency;
    c[3] = 255.0;
    pixel = Pack(c);
  }
}

}  // namespace uptorra
