#include "win32/message_box.h"

#include <algorithm>

#include "files/windows/wide_text.h"
#include "run/run_texts.h"
#include "win32/dialog_template.h"
#include "win32/form_font.h"
#include "win32/form_layout.h"
#include "win32/resource_ids.h"
#include "win32/window_owners.h"

namespace tarvelin {

namespace {

constexpr int kPointSize = 9;
// In pixels at 96 DPI.
constexpr int kMargin = 12;
constexpr int kGap = 10;
constexpr int kMinTextWidth = 200;
constexpr int kMaxTextWidth = 560;
constexpr int kMinDetailsWidth = 400;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;
constexpr int kBandPadding = 10;  // above and below the button
// The details field shows this many lines at most before it scrolls.
constexpr int kMinDetailsRows = 3;
constexpr int kMaxDetailsRows = 8;

// How the box's static control (SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL)
// lays out its text: a word too long for a line is broken.
constexpr UINT kTextFormat = kLabelFormat | DT_EDITCONTROL;
constexpr DWORD kBoxStyle = DS_MODALFRAME | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU;

struct Box {
  std::wstring text;
  std::wstring details;
  HWND owner = nullptr;
  HWND window = nullptr;
  UINT dpi = kBaseDpi;
  UniqueFont font;
  int band_top = 0;  // where the button's band starts
};

UINT DpiOf(HWND window) {
  const UINT dpi = window != nullptr ? GetDpiForWindow(window) : 0;
  return dpi != 0 ? dpi : kBaseDpi;
}

int LineCount(const std::wstring& text) {
  const auto breaks = std::count(text.begin(), text.end(), L'\n');
  return static_cast<int>(std::min<std::ptrdiff_t>(breaks, kMaxDetailsRows)) + 1;
}

// The box's window rectangle for a client area of `width` x `height`:
// at `suggested`'s corner, or over the middle of its owner (the work area
// when it has none), and within the work area of its monitor.
RECT Placement(const Box& box, int width, int height, const RECT* suggested) {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(box.window, GWL_STYLE));
  const DWORD extended = static_cast<DWORD>(GetWindowLongPtrW(box.window, GWL_EXSTYLE));
  RECT frame{0, 0, width, height};
  AdjustWindowRectExForDpi(&frame, style, FALSE, extended, box.dpi);
  const int outer_width = frame.right - frame.left;
  const int outer_height = frame.bottom - frame.top;
  if (suggested != nullptr) {
    return RECT{suggested->left, suggested->top, suggested->left + outer_width,
                suggested->top + outer_height};
  }
  HWND anchor = box.owner != nullptr ? box.owner : box.window;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(anchor, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;
  RECT over = work;
  if (box.owner != nullptr && IsWindowVisible(box.owner)) GetWindowRect(box.owner, &over);
  int left = over.left + ((over.right - over.left) - outer_width) / 2;
  int top = over.top + ((over.bottom - over.top) - outer_height) / 2;
  left = std::max(std::min(left, static_cast<int>(work.right) - outer_width),
                  static_cast<int>(work.left));
  top = std::max(std::min(top, static_cast<int>(work.bottom) - outer_height),
                 static_cast<int>(work.top));
  return RECT{left, top, left + outer_width, top + outer_height};
}

// Sizes the box to its text at its DPI and puts its controls in place.
void LayOut(Box& box, const RECT* suggested) {
  const UINT dpi = box.dpi;
  const auto px = [dpi](int pixels) { return ScaleToDpi(pixels, dpi); };
  UniqueFont font = MakeFont(MulDiv(kPointSize, static_cast<int>(dpi), 72));
  HWND text = GetDlgItem(box.window, kBoxTextId);
  HWND details = GetDlgItem(box.window, kBoxDetailsId);
  HWND button = GetDlgItem(box.window, IDOK);

  const WindowDc dc(box.window);
  const SIZE needed = TextExtent(dc.get(), font.get(), box.text, px(kMaxTextWidth), kTextFormat);
  int content_width = std::max(static_cast<int>(needed.cx), px(kMinTextWidth));
  int y = px(kMargin);
  MoveWindow(text, px(kMargin), y, content_width, needed.cy, FALSE);
  y += needed.cy;
  if (details != nullptr) {
    TEXTMETRICW metrics{};
    {
      const Selection selected(dc.get(), font.get());
      GetTextMetricsW(dc.get(), &metrics);
    }
    const int rows = std::max(LineCount(box.details), kMinDetailsRows);
    const int edge = GetSystemMetricsForDpi(SM_CYEDGE, dpi);
    content_width = std::max(content_width, px(kMinDetailsWidth));
    const int height = rows * metrics.tmHeight + 2 * edge + px(4);
    y += px(kGap);
    MoveWindow(details, px(kMargin), y, content_width, height, FALSE);
    y += height;
  }
  y += px(kMargin);
  box.band_top = y;

  const int client_width = content_width + 2 * px(kMargin);
  const int button_width = std::max(
      px(kButtonWidth), static_cast<int>(TextExtent(dc.get(), font.get(), files::Widen(kOkText), 0,
                                                    DT_SINGLELINE | DT_NOPREFIX)
                                             .cx) +
                            px(24));
  MoveWindow(button, client_width - px(kMargin) - button_width, y + px(kBandPadding), button_width,
             px(kButtonHeight), FALSE);
  const int client_height = y + px(kButtonHeight) + 2 * px(kBandPadding);

  for (HWND control : {text, details, button}) {
    if (control != nullptr) SendMessageW(control, WM_SETFONT, WPARAM(font.get()), FALSE);
  }
  box.font = std::move(font);
  const RECT place = Placement(box, client_width, client_height, suggested);
  SetWindowPos(box.window, nullptr, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(box.window, nullptr, TRUE);
}

// The box lays itself out again at a new DPI; Windows' own scaling of
// dialogs (where it has it) would scale it a second time.
void KeepDialogScalingOff(HWND window) {
  using SetBehavior = BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS, DIALOG_DPI_CHANGE_BEHAVIORS);
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return;
  FARPROC found = GetProcAddress(user32, "SetDialogDpiChangeBehavior");
  if (found == nullptr) return;
  const auto set = reinterpret_cast<SetBehavior>(reinterpret_cast<void*>(found));
  set(window, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
}

// The text and the details on the window's colour, the button on a band of
// the dialog colour below them.
void PaintBackground(const Box& box, HDC dc) {
  RECT client{};
  GetClientRect(box.window, &client);
  RECT upper = client;
  upper.bottom = std::min(box.band_top, static_cast<int>(client.bottom));
  RECT band = client;
  band.top = upper.bottom;
  FillRect(dc, &upper, GetSysColorBrush(COLOR_WINDOW));
  FillRect(dc, &band, GetSysColorBrush(COLOR_3DFACE));
}

INT_PTR CALLBACK BoxProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* box = reinterpret_cast<Box*>(GetWindowLongPtrW(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      box = reinterpret_cast<Box*>(lparam);
      SetWindowLongPtrW(window, DWLP_USER, lparam);
      box->window = window;
      KeepDialogScalingOff(window);
      SetDlgItemTextW(window, kBoxTextId, box->text.c_str());
      if (!box->details.empty()) {
        HWND details = GetDlgItem(window, kBoxDetailsId);
        // No limit of the typed text's kind on what is shown.
        SendMessageW(details, EM_SETLIMITTEXT, 0, 0);
        SetWindowTextW(details, WithCrLf(box->details).c_str());
      }
      box->dpi = DpiOf(box->owner != nullptr ? box->owner : window);
      LayOut(*box, nullptr);
      // Above the form, which stays above every other window.
      if (box->owner != nullptr &&
          (GetWindowLongPtrW(box->owner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      }
      // The program's icon in the caption, where the system shows one.
      if (HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TARVELIN_ICON),
                                   IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED)) {
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      }
      SendMessageW(window, DM_SETDEFID, IDOK, 0);
      SetFocus(GetDlgItem(window, IDOK));
      return FALSE;  // the focus is set
    }
    case WM_DPICHANGED:
      if (box == nullptr) break;
      box->dpi = HIWORD(wparam);
      LayOut(*box, reinterpret_cast<const RECT*>(lparam));
      return TRUE;
    case WM_ERASEBKGND:
      if (box == nullptr) break;
      PaintBackground(*box, reinterpret_cast<HDC>(wparam));
      SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      // The text and the read-only details, on the window's colour.
      const auto dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_COMMAND:
      // The button, Enter (the default button's id) and Esc (IDCANCEL).
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(window, LOWORD(wparam));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

std::wstring WithCrLf(const std::wstring& text) {
  std::wstring lines;
  lines.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) lines += L'\r';
    lines += text[i];
  }
  return lines;
}

void ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& details) {
  DialogTemplate layout(kBoxStyle, 0, files::Widen(kCaption), kPointSize, kFontFace);
  layout.AddControl(ControlClass::kStatic, kBoxTextId, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, L"");
  if (!details.empty()) {
    layout.AddControl(
        ControlClass::kEdit, kBoxDetailsId,
        WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, L"");
  }
  layout.AddControl(ControlClass::kButton, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP,
                    files::Widen(kOkText));
  Box box;
  box.text = text;
  box.details = details;
  box.owner = owner;
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), layout.get(), owner, BoxProcedure,
                          reinterpret_cast<LPARAM>(&box));
}

}  // namespace tarvelin
