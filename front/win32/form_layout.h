// Where the form's controls stand. The layout is given in twips (1440 an
// inch: 15 twips a pixel at 96 DPI) and shown at the DPI of the monitor the
// window is on.
#pragma once

#include <windows.h>

namespace tarvelin {

// The DPI at which a pixel is a pixel.
inline constexpr UINT kBaseDpi = 96;

// `pixels` at 96 DPI, at `dpi`.
inline int ScaleToDpi(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), 96); }
inline int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

// A control's place in twips.
struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

// The form's client area.
inline constexpr int kClientWidthTwips = 5235;
inline constexpr int kClientHeightTwips = 840;
inline constexpr TwipsRect kLabel1Twips{120, 0, 4815, 375};
// One row high.
inline constexpr TwipsRect kList1Twips{120, 480, 4935, 240};

// `place` in pixels at `dpi`, as left, top, right, bottom.
inline RECT PixelRect(const TwipsRect& place, UINT dpi) {
  const int left = TwipsToPixels(place.left, dpi);
  const int top = TwipsToPixels(place.top, dpi);
  return RECT{left, top, left + TwipsToPixels(place.width, dpi),
              top + TwipsToPixels(place.height, dpi)};
}

// The label's largest and smallest pixel sizes at 96 DPI.
inline constexpr int kLabelPixelSize = 12;
inline constexpr int kSmallestPixelSize = 6;

}  // namespace tarvelin
