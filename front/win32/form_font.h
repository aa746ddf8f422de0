// The face that every text of the form and its boxes is shown in, and the
// label's fitting size.
#pragma once

#include <windows.h>

#include <string>

#include "win32/window_owners.h"

namespace tarvelin {

inline constexpr wchar_t kFontFace[] = L"Microsoft YaHei UI";

// The face at `pixels` pixels a character (the em, not the line).
UniqueFont MakeFont(int pixels);

// How a static control of style SS_LEFT | SS_NOPREFIX lays out its text.
inline constexpr UINT kLabelFormat = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;

// The size `text` takes in `font` when drawn with `format` into a rectangle
// `width` pixels wide (word-wrapped there when `format` says so).
SIZE TextExtent(HDC dc, HFONT font, const std::wstring& text, int width, UINT format);

// The largest pixel size from `largest` down to `smallest` at which `text`,
// wrapped as the label wraps it, fits `room` whole: no line cut, none
// wider than the label. `smallest` when none fits.
int FittingPixelSize(HDC dc, const std::wstring& text, SIZE room, int largest, int smallest);

}  // namespace tarvelin
