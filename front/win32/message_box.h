// The modal boxes: the caption "Tarvelin", a text, and one button "确定"
// whatever the system's language, which Enter and Esc press.
#pragma once

#include <windows.h>

#include <string>

namespace tarvelin {

// The control ids of a box, for whoever looks into one.
inline constexpr int kBoxTextId = 100;
inline constexpr int kBoxDetailsId = 101;

// Shows a box over `owner` (disabled meanwhile; null for none) and returns
// once it has been answered. `details`, when not empty, stand below the
// text in a read-only field that scrolls.
void ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& details = {});

// `text` with its lines ending as an edit control ends them: CR LF.
std::wstring WithCrLf(const std::wstring& text);

}  // namespace tarvelin
