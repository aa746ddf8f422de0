#include "win32/form1.h"

#include <exception>
#include <optional>

#include "files/windows/wide_text.h"
#include "host/child_process.h"
#include "run/run_texts.h"
#include "win32/dropped_files.h"
#include "win32/form_font.h"
#include "win32/form_layout.h"
#include "win32/message_box.h"
#include "win32/message_wait.h"
#include "win32/resource_ids.h"

namespace tarvelin {

namespace {

constexpr wchar_t kClassName[] = L"TarvelinForm1";
// Posted by a drop: the run shows modal boxes, so it starts once the drop
// has returned, never inside it.
constexpr UINT kStartRun = WM_APP + 1;
// Neither resizable nor to be maximized.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// How long the wait for a child sleeps at most before it looks again.
constexpr DWORD kWaitSliceMs = 100;

enum ControlId : int { kLabel1Id = 1, kList1Id, kText1Id };

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(0, std::min(copied, length))));
  return text;
}

// The busy cursor while a child runs (kept through WM_SETCURSOR while
// `waiting` holds), the arrow again afterwards.
class BusyCursor {
 public:
  explicit BusyCursor(bool& waiting) : waiting_(waiting) {
    waiting_ = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
  ~BusyCursor() {
    waiting_ = false;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  }

 private:
  bool& waiting_;
};

HICON ProgramIcon(HINSTANCE instance, int metric_x, int metric_y) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(TARVELIN_ICON), IMAGE_ICON,
                                       GetSystemMetrics(metric_x), GetSystemMetrics(metric_y),
                                       LR_SHARED));
}

}  // namespace

Form1::Form1(Runner runner) : runner_(std::move(runner)) {}

Form1::~Form1() {
  if (window_ != nullptr) DestroyWindow(window_);
}

bool Form1::Create(int show) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW form_class{};
  form_class.cbSize = sizeof form_class;
  if (GetClassInfoExW(instance, kClassName, &form_class) == 0) {
    form_class = WNDCLASSEXW{};
    form_class.cbSize = sizeof form_class;
    form_class.lpfnWndProc = WindowProcedure;
    form_class.hInstance = instance;
    form_class.hIcon = ProgramIcon(instance, SM_CXICON, SM_CYICON);
    form_class.hIconSm = ProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
    form_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form_class.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    form_class.lpszClassName = kClassName;
    if (RegisterClassExW(&form_class) == 0) return false;
  }
  CreateWindowExW(0, kClassName, files::Widen(kCaption).c_str(), kStyle, CW_USEDEFAULT,
                  CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
  if (window_ == nullptr) return false;
  LayOut(GetDpiForWindow(window_), nullptr);
  SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ShowWindow(window_, show);
  UpdateWindow(window_);
  return true;
}

void Form1::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto id = [](ControlId control) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(control));
  };
  label1_ = CreateWindowExW(0, L"STATIC", files::Widen(InstructionLine()).c_str(),
                            WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, window_,
                            id(kLabel1Id), instance, nullptr);
  list1_ = CreateWindowExW(0, L"LISTBOX", L"",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LBS_NOINTEGRALHEIGHT, 0,
                           0, 0, 0, window_, id(kList1Id), instance, nullptr);
  // The text box holds the run's input; the user does not need to see it.
  text1_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 0, 0, window_,
                           id(kText1Id), instance, nullptr);
  if (text1_ != nullptr) SendMessageW(text1_, EM_SETLIMITTEXT, 0, 0);
  if (list1_ != nullptr) {
    SetWindowLongPtrW(list1_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    list1_class_procedure_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list1_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(List1Procedure)));
    DragAcceptFiles(list1_, TRUE);
  }
}

void Form1::LayOut(UINT dpi, const RECT* suggested) {
  dpi_ = dpi != 0 ? dpi : kBaseDpi;
  const int client_width = TwipsToPixels(kClientWidthTwips, dpi_);
  const int client_height = TwipsToPixels(kClientHeightTwips, dpi_);
  RECT frame{0, 0, client_width, client_height};
  AdjustWindowRectExForDpi(&frame, kStyle, FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)), dpi_);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  if (suggested != nullptr) {
    SetWindowPos(window_, nullptr, suggested->left, suggested->top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Where the frame came out otherwise than foretold (its caption drawn at
  // another DPI than the window's), the inside gets its size all the same.
  RECT inside{};
  GetClientRect(window_, &inside);
  if (inside.right != client_width || inside.bottom != client_height) {
    width += client_width - inside.right;
    height += client_height - inside.bottom;
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  const RECT label = PixelRect(kLabel1Twips, dpi_);
  const RECT list = PixelRect(kList1Twips, dpi_);
  for (const auto& [control, place] :
       {std::pair{label1_, label}, std::pair{list1_, list}, std::pair{text1_, list}}) {
    MoveWindow(control, place.left, place.top, place.right - place.left, place.bottom - place.top,
               TRUE);
  }

  // The instruction fills the first line and the credit the second; the
  // font is as large as lets both fit the label whole.
  int pixels = ScaleToDpi(kLabelPixelSize, dpi_);
  {
    const WindowDc dc(label1_);
    pixels = FittingPixelSize(dc.get(), files::Widen(InstructionLine()),
                              SIZE{label.right - label.left, label.bottom - label.top}, pixels,
                              ScaleToDpi(kSmallestPixelSize, dpi_));
  }
  UniqueFont font = MakeFont(pixels);
  for (HWND control : {label1_, list1_, text1_})
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  // The row as high as the list's inside, so that its text is not cut.
  RECT row{};
  GetClientRect(list1_, &row);
  if (row.bottom > 0) SendMessageW(list1_, LB_SETITEMHEIGHT, 0, row.bottom);
  font_ = std::move(font);
}

LRESULT CALLBACK Form1::WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* created = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* form = static_cast<Form1*>(created->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->window_ = window;
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    form->window_ = form->label1_ = form->list1_ = form->text1_ = nullptr;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return form->OnMessage(message, wparam, lparam);
}

LRESULT CALLBACK Form1::List1Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  WNDPROC class_procedure = form != nullptr ? form->list1_class_procedure_ : nullptr;
  if (class_procedure == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_DROPFILES) {
    try {
      form->DropFiles(TakeDroppedFiles(reinterpret_cast<HDROP>(wparam)));
    } catch (const std::exception&) {
      // Out of memory for the paths: the drop is not taken.
    }
    return 0;
  }
  if (message == WM_NCDESTROY)
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(class_procedure));
  return CallWindowProcW(class_procedure, window, message, wparam, lparam);
}

LRESULT Form1::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      return label1_ != nullptr && list1_ != nullptr && text1_ != nullptr ? 0 : -1;
    case kStartRun:
      Run();
      return 0;
    case WM_DPICHANGED:
      LayOut(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_SETCURSOR:
      if (waiting_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_SETFOCUS:
      if (list1_ != nullptr) SetFocus(list1_);
      return 0;
    case WM_CLOSE:
      // A run ends by itself; closing the window would leave it half done.
      if (!running_) DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

bool Form1::DropFiles(std::vector<std::wstring> paths) {
  if (running_ || window_ == nullptr) return false;
  dropped_ = std::move(paths);
  if (PostMessageW(window_, kStartRun, 0, 0) == 0) return false;
  running_ = true;
  return true;
}

void Form1::Run() {
  bool succeeded = false;
  try {
    succeeded = runner_(*this) == RunOutcome::kSucceeded;
  } catch (const std::exception&) {
    // Out of memory somewhere in the run: it failed.
    ShowMessageBox(window_, files::Widen(kErrorText));
  }
  running_ = false;
  // The program ends with a successful run (WM_DESTROY posts the quit).
  if (succeeded && window_ != nullptr) DestroyWindow(window_);
}

void Form1::SetStatus(const std::string& text) {
  SetWindowTextW(label1_, files::Widen(text).c_str());
}

std::string Form1::Intake() {
  for (const std::wstring& path : dropped_) {
    SendMessageW(list1_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
    SetWindowTextW(text1_, path.c_str());
  }
  const LRESULT rows = SendMessageW(list1_, LB_GETCOUNT, 0, 0);
  if (rows > 0) SendMessageW(list1_, LB_SETTOPINDEX, static_cast<WPARAM>(rows - 1), 0);
  dropped_.clear();
  return files::Narrow(WindowText(text1_));
}

void Form1::Confirm(const std::string& text) { ShowMessageBox(window_, files::Widen(text)); }

void Form1::ShowError(const std::string& details) {
  ShowMessageBox(window_, files::Widen(kErrorText), files::Widen(details));
}

std::optional<int> Form1::AwaitEnd(ChildProcess& child) {
  if (!child.WaitFor(0)) {
    const BusyCursor busy(waiting_);
    const files::Handle waitable = child.Waitable();
    HANDLE process =
        waitable == files::kNoHandle || waitable == 0 ? nullptr : files::Native(waitable);
    // The window is drawn while the child runs; a quit asked meanwhile
    // waits for its end.
    std::optional<int> quit;
    while (!child.WaitFor(0)) WaitDispatchingMessages(process, kWaitSliceMs, &quit);
    if (quit) PostQuitMessage(*quit);
  }
  return child.ExitCode();
}

}  // namespace tarvelin
