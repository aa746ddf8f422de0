#include "win32/dialog_template.h"

namespace tarvelin {

DialogTemplate::DialogTemplate(DWORD style, DWORD extended_style, const std::wstring& title,
                               WORD point_size, const std::wstring& face) {
  Dword(style | DS_SETFONT);
  Dword(extended_style);
  count_index_ = words_.size();
  Word(0);                              // controls
  for (int i = 0; i < 4; ++i) Word(0);  // x, y, cx, cy
  Word(0);                              // no menu
  Word(0);                              // the predefined dialog class
  Text(title);
  Word(point_size);
  Text(face);
}

void DialogTemplate::AddControl(ControlClass control_class, WORD id, DWORD style,
                                const std::wstring& text) {
  AlignToDword();
  Dword(style | WS_CHILD | WS_VISIBLE);
  Dword(0);                             // extended style
  for (int i = 0; i < 4; ++i) Word(0);  // x, y, cx, cy
  Word(id);
  Word(0xFFFF);  // a class atom follows
  Word(static_cast<WORD>(control_class));
  Text(text);
  Word(0);  // no creation data
  ++words_[count_index_];
}

void DialogTemplate::Dword(DWORD dword) {
  Word(LOWORD(dword));
  Word(HIWORD(dword));
}

void DialogTemplate::Text(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c == L'\0') break;
    Word(static_cast<WORD>(c));
  }
  Word(0);
}

void DialogTemplate::AlignToDword() {
  if (words_.size() % 2 != 0) Word(0);
}

}  // namespace tarvelin
