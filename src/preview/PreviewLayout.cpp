#include "PreviewLayout.h"

namespace {

// Sums in 64 bits, so that no coordinate near the ends of the 32-bit range
// overflows on the way; C++ division already rounds toward zero.
int32_t Half(int64_t value) { return static_cast<int32_t>(value / 2); }

}  // namespace

PreviewLayout ComputePreviewLayout(const LayoutRect& client, int32_t imageWidth,
                                   int32_t imageHeight, int32_t lineHeight) {
  const int64_t cx = Half(int64_t{client.left} + client.right);
  const int64_t cy = Half(int64_t{client.top} + client.bottom);
  const int64_t top = cy - Half(2 * int64_t{lineHeight} + kPreviewGap + imageHeight);
  const int64_t left = cx - Half(imageWidth);
  const int64_t firstLine = top + imageHeight + kPreviewGap;

  PreviewLayout layout;
  layout.image = {static_cast<int32_t>(left), static_cast<int32_t>(top),
                  static_cast<int32_t>(left + imageWidth), static_cast<int32_t>(top + imageHeight)};
  layout.caption = {static_cast<int32_t>(cx), static_cast<int32_t>(firstLine)};
  layout.name = {static_cast<int32_t>(cx), static_cast<int32_t>(firstLine + lineHeight)};
  return layout;
}
