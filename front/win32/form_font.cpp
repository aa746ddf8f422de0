#include "win32/form_font.h"

#include <algorithm>

namespace tarvelin {

UniqueFont MakeFont(int pixels) {
  // A negative height asks for the character height rather than the cell's.
  return UniqueFont(CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, kFontFace));
}

SIZE TextExtent(HDC dc, HFONT font, const std::wstring& text, int width, UINT format) {
  const Selection selected(dc, font);
  RECT needed{0, 0, width, 0};
  // DrawTextW takes at most an int's worth of characters.
  const int length = static_cast<int>(std::min<std::size_t>(text.size(), 0x7fffffff));
  if (length == 0) {
    // An empty text is one empty line high.
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return SIZE{0, metrics.tmHeight};
  }
  DrawTextW(dc, text.data(), length, &needed, format | DT_CALCRECT);
  return SIZE{needed.right - needed.left, needed.bottom - needed.top};
}

int FittingPixelSize(HDC dc, const std::wstring& text, SIZE room, int largest, int smallest) {
  int size = largest;
  for (; size > smallest; --size) {
    const UniqueFont font = MakeFont(size);
    if (font.get() == nullptr) continue;
    const SIZE needed = TextExtent(dc, font.get(), text, room.cx, kLabelFormat);
    if (needed.cy <= room.cy && needed.cx <= room.cx) break;
  }
  return size;
}

}  // namespace tarvelin
