// Where the preview window puts its icon and its two text lines: the block of
// image, a 5-pixel gap and two lines of text is centred in the client area,
// each piece centred horizontally. Pure arithmetic, the same in every build.
#pragma once

#include <cstdint>

struct LayoutRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

struct LayoutPoint {
  int32_t x;
  int32_t y;
};

struct PreviewLayout {
  LayoutRect image;     // the image at its own size, never stretched
  LayoutPoint caption;  // top centre of the first line
  LayoutPoint name;     // top centre of the second line
};

// The gap between the image and the first line, in pixels.
constexpr int32_t kPreviewGap = 5;

// Every halving rounds toward zero. Nothing is clipped: a block larger than
// the client area reaches past its edges by the same amount on both sides
// (to within the rounding).
PreviewLayout ComputePreviewLayout(const LayoutRect& client, int32_t imageWidth,
                                   int32_t imageHeight, int32_t lineHeight);
