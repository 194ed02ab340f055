#pragma once
// Resampling of the signature picture. The picture is shrunk from 288 x 268 to the box (80 x 80
// at 96 dpi) by area averaging, which keeps thin pen strokes visible where picking the nearest
// pixel would break them up; then it is put over the box's background colour.
#include <cstdint>
#include <vector>

namespace uptorra {

// Pixels as 0xAARRGGBB with premultiplied alpha (the byte order of a 32-bit BGRA bitmap),
// row by row from the top.
struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// The image resampled to width x height (aspect not kept): each target pixel is the average
// of the source area it covers. An empty source or target size gives an empty image.
PixelImage StretchAreaAverage(const PixelImage& source, int width, int height);

// Every pixel put over an opaque background 0x00RRGGBB; the result is opaque.
void CompositeOver(PixelImage& image, std::uint32_t backgroundRgb);

}  // namespace uptorra
