// The preview's layout arithmetic, natively and on Windows.
#include "PreviewLayout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

void ExpectRect(const LayoutRect& got, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  EXPECT_EQ(got.left, left);
  EXPECT_EQ(got.top, top);
  EXPECT_EQ(got.right, right);
  EXPECT_EQ(got.bottom, bottom);
}

TEST(PreviewLayout, CentresTheBlockOfImageGapAndTwoLines) {
  const PreviewLayout layout = ComputePreviewLayout({0, 0, 200, 100}, 32, 32, 13);
  ExpectRect(layout.image, 84, 19, 116, 51);
  EXPECT_EQ(layout.caption.x, 100);
  EXPECT_EQ(layout.caption.y, 56);
  EXPECT_EQ(layout.name.x, 100);
  EXPECT_EQ(layout.name.y, 69);
}

TEST(PreviewLayout, OddSizesRoundEveryHalfTowardZero) {
  const PreviewLayout layout = ComputePreviewLayout({0, 0, 201, 101}, 33, 31, 16);
  ExpectRect(layout.image, 84, 16, 117, 47);
  EXPECT_EQ(layout.caption.x, 100);
  EXPECT_EQ(layout.caption.y, 52);
  EXPECT_EQ(layout.name.y, 68);
}

TEST(PreviewLayout, AnImageLargerThanTheWindowReachesPastItsEdgesUnscaled) {
  const PreviewLayout layout = ComputePreviewLayout({0, 0, 20, 10}, 48, 48, 16);
  ExpectRect(layout.image, -14, -37, 34, 11);
  EXPECT_EQ(layout.caption.y, 16);
  EXPECT_EQ(layout.name.y, 32);
}

TEST(PreviewLayout, NegativeHalvesRoundTowardZeroNotDown) {
  // cx = (-11 + 0) / 2 = -5 (not -6); cy = (-7 + 0) / 2 = -3;
  // top = -3 - (2 + 5 + 3) / 2 = -8; left = -5 - 3 / 2 = -6.
  const PreviewLayout layout = ComputePreviewLayout({-11, -7, 0, 0}, 3, 3, 1);
  ExpectRect(layout.image, -6, -8, -3, -5);
  EXPECT_EQ(layout.caption.x, -5);
  EXPECT_EQ(layout.caption.y, 0);
  EXPECT_EQ(layout.name.y, 1);
}

TEST(PreviewLayout, FollowsAClientRectangleAwayFromTheOrigin) {
  // The same block as in a 200 x 100 area at the origin, moved by (30, 40).
  const PreviewLayout layout = ComputePreviewLayout({30, 40, 230, 140}, 32, 32, 13);
  ExpectRect(layout.image, 114, 59, 146, 91);
  EXPECT_EQ(layout.caption.x, 130);
  EXPECT_EQ(layout.name.y, 109);
}

TEST(PreviewLayout, ANullImageStillPlacesBothLines) {
  // Line height 0 (no font could be measured) and a 0 x 0 image: all at the centre.
  const PreviewLayout layout = ComputePreviewLayout({0, 0, 10, 20}, 0, 0, 0);
  ExpectRect(layout.image, 5, 8, 5, 8);
  EXPECT_EQ(layout.caption.y, 13);
  EXPECT_EQ(layout.name.y, 13);
}

TEST(PreviewLayout, CoordinatesAtTheEndsOfTheRangeDoNotOverflow) {
  const int32_t big = std::numeric_limits<int32_t>::max();
  const PreviewLayout layout = ComputePreviewLayout({big - 100, big - 100, big, big}, 10, 10, 5);
  EXPECT_EQ(layout.caption.x, big - 50);
  EXPECT_EQ(layout.image.left, big - 55);
  EXPECT_EQ(layout.image.top, big - 50 - 12);
}

}  // namespace
