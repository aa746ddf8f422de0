// The Win32 form and its boxes from inside the process, on a display: the
// layout in twips at 96 DPI and after a change of DPI, drops on the list and
// the run they start, the boxes (one button, Enter and Esc) and the wait for
// a child.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "files/windows/wide_text.h"
#include "host/child_process.h"
#include "run/run_texts.h"
#include "win32/command_line.h"
#include "win32/dropped_files.h"
#include "win32/form1.h"
#include "win32/form_font.h"
#include "win32/form_layout.h"
#include "win32/message_box.h"

namespace tarvelin {
namespace {

// Dispatches the thread's messages until `done` holds, for at most 10 s.
// A WM_QUIT met is counted in `quits` when given.
bool PumpUntil(const std::function<bool()>& done, int* quits = nullptr) {
  const ULONGLONG end = GetTickCount64() + 10000;
  while (!done()) {
    if (GetTickCount64() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        if (quits != nullptr) ++*quits;
        continue;
      }
      DispatchMessageW(&message);
    }
  }
  return true;
}

// Dispatches the thread's messages for `milliseconds`.
void PumpFor(int milliseconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  PumpUntil([end] { return GetTickCount64() > end; });
}

// A drop as Explorer hands one over: DROPFILES and the wide paths after it.
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
  std::size_t characters = 2;  // the list ends with an empty path
  for (const std::wstring& path : paths) characters += path.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(drop + 1);
  for (const std::wstring& path : paths) {
    path.copy(text, path.size());
    text += path.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A control's place in its parent's client area.
RECT PlaceOf(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

int FontPixels(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return -font.lfHeight;
}

void ExpectPlace(HWND control, const TwipsRect& twips, UINT dpi) {
  const RECT expected = PixelRect(twips, dpi);
  const RECT place = PlaceOf(control);
  EXPECT_EQ(place.left, expected.left);
  EXPECT_EQ(place.top, expected.top);
  EXPECT_EQ(place.right, expected.right);
  EXPECT_EQ(place.bottom, expected.bottom);
}

// The label's text fits it whole in the label's font.
void ExpectLabelFits(HWND label) {
  RECT room{};
  GetClientRect(label, &room);
  HDC dc = GetDC(label);
  const SIZE needed = TextExtent(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)),
                                 TextOf(label), room.right, kLabelFormat);
  ReleaseDC(label, dc);
  EXPECT_LE(needed.cx, room.right);
  EXPECT_LE(needed.cy, room.bottom);
  // Two lines: the instruction and the credit.
  EXPECT_GT(needed.cy, FontPixels(label) * 2);
}

class FormTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // What the form's end posted goes with it.
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
};

TEST_F(FormTest, IsLaidOutInTwipsAboveTheOthers) {
  Form1 form([](RunWindow&) { return RunOutcome::kFailed; });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  const UINT dpi = form.Dpi();
  RECT client{};
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, dpi));
  if (dpi == kBaseDpi) {
    EXPECT_EQ(client.right, 349);
    EXPECT_EQ(client.bottom, 56);
  }
  ExpectPlace(form.Label1(), kLabel1Twips, dpi);
  ExpectPlace(form.List1(), kList1Twips, dpi);
  EXPECT_FALSE(IsWindowVisible(form.Text1()));
  EXPECT_TRUE(IsWindowVisible(form.List1()));

  const LONG_PTR style = GetWindowLongPtrW(form.Handle(), GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(GetWindowLongPtrW(form.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(GetWindowLongPtrW(form.List1(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  EXPECT_EQ(TextOf(form.Handle()), L"Tarvelin");
  EXPECT_EQ(TextOf(form.Label1()), files::Widen(InstructionLine()));

  const int pixels = FontPixels(form.Label1());
  EXPECT_LE(pixels, ScaleToDpi(kLabelPixelSize, dpi));
  EXPECT_GE(pixels, ScaleToDpi(kSmallestPixelSize, dpi));
  EXPECT_EQ(FontPixels(form.List1()), pixels);
  ExpectLabelFits(form.Label1());
}

TEST_F(FormTest, LaysItselfOutAgainAtANewDpi) {
  Form1 form([](RunWindow&) { return RunOutcome::kFailed; });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  const int pixels_before = FontPixels(form.Label1());
  const UINT dpi = form.Dpi() * 3 / 2;
  RECT suggested{50, 60, 50 + 600, 60 + 200};
  SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(form.Dpi(), dpi);
  RECT client{};
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, dpi));
  RECT frame{};
  GetWindowRect(form.Handle(), &frame);
  EXPECT_EQ(frame.left, 50);
  EXPECT_EQ(frame.top, 60);
  ExpectPlace(form.Label1(), kLabel1Twips, dpi);
  ExpectPlace(form.List1(), kList1Twips, dpi);
  EXPECT_GT(FontPixels(form.Label1()), pixels_before);
  ExpectLabelFits(form.Label1());
}

TEST_F(FormTest, ADropRunsOnceItHasReturnedAndTakesItsPathsInOrder) {
  const std::wstring first = L"C:\\packages\\first.msi";
  const std::wstring second = L"Z:\\dev\\shm\\我的 100% & ^.msi";
  int runs = 0;
  std::string taken;
  Form1* shown = nullptr;
  Form1 form([&](RunWindow& window) {
    ++runs;
    // Drops and closing while the run goes on are ignored.
    SendMessageW(shown->List1(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\x.msi"})),
                 0);
    SendMessageW(shown->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(shown->Handle()));
    window.SetStatus(LoadingText());
    taken = window.Intake();
    return RunOutcome::kFailed;
  });
  shown = &form;
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  SendMessageW(form.List1(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({first, second})), 0);
  // Not inside the drop: the run waits for the message loop.
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(form.Running());
  ASSERT_TRUE(PumpUntil([&] { return runs == 1 && !form.Running(); }));
  PumpFor(200);  // nothing more comes
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(taken, files::Narrow(second));
  ASSERT_EQ(SendMessageW(form.List1(), LB_GETCOUNT, 0, 0), 2);
  wchar_t row[64] = {};
  SendMessageW(form.List1(), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(row));
  EXPECT_EQ(std::wstring(row), first);
  EXPECT_EQ(TextOf(form.Text1()), second);
  EXPECT_EQ(TextOf(form.Label1()), files::Widen(LoadingText()));
  // A failed run leaves the window open for the next drop.
  EXPECT_TRUE(IsWindow(form.Handle()));
  EXPECT_TRUE(form.DropFiles({L"C:\\again.msi"}));
  ASSERT_TRUE(PumpUntil([&] { return runs == 2 && !form.Running(); }));
  EXPECT_EQ(taken, "C:\\again.msi");
}

TEST_F(FormTest, ADropOfNoFileStillRuns) {
  std::optional<std::string> taken;
  Form1 form([&](RunWindow& window) {
    taken = window.Intake();
    return RunOutcome::kFailed;
  });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  SendMessageW(form.List1(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({})), 0);
  ASSERT_TRUE(PumpUntil([&] { return taken.has_value(); }));
  EXPECT_EQ(*taken, "");
}

TEST_F(FormTest, ASuccessfulRunClosesTheWindowAndEndsTheProgram) {
  Form1 form([](RunWindow&) { return RunOutcome::kSucceeded; });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  const HWND window = form.Handle();
  ASSERT_TRUE(form.DropFiles({L"C:\\setup.msi"}));
  int quits = 0;
  ASSERT_TRUE(PumpUntil([&] { return quits > 0; }, &quits));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(form.Handle(), nullptr);
}

// What the box that shows next looked like; it is answered with `key`.
struct BoxSeen {
  WPARAM key = VK_RETURN;
  bool seen = false;
  std::wstring caption, text, details, button;
  int buttons = 0;
  bool prefix_off = false, button_focused = false, owner_disabled = false, text_fits = false;
  HWND owner = nullptr;
};
BoxSeen* box_seen = nullptr;  // for the timer below

BOOL CALLBACK LookAtControl(HWND control, LPARAM) {
  wchar_t class_name[32] = {};
  GetClassNameW(control, class_name, 32);
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  if (_wcsicmp(class_name, L"Button") == 0) {
    ++box_seen->buttons;
    box_seen->button = TextOf(control);
    box_seen->button_focused = GetFocus() == control && (style & BS_DEFPUSHBUTTON) != 0;
  } else if (GetDlgCtrlID(control) == kBoxTextId) {
    box_seen->text = TextOf(control);
    box_seen->prefix_off = (style & SS_NOPREFIX) != 0;
    RECT room{};
    GetClientRect(control, &room);
    HDC dc = GetDC(control);
    const SIZE needed =
        TextExtent(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
                   box_seen->text, room.right, kLabelFormat | DT_EDITCONTROL);
    ReleaseDC(control, dc);
    box_seen->text_fits = needed.cx <= room.right && needed.cy <= room.bottom;
  } else if (GetDlgCtrlID(control) == kBoxDetailsId) {
    box_seen->details = TextOf(control);
  }
  return TRUE;
}

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (IsWindowVisible(window) && std::wstring(class_name) == L"#32770") {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
  if (box == nullptr || box_seen->seen) return;
  KillTimer(nullptr, timer);
  box_seen->seen = true;
  box_seen->caption = TextOf(box);
  box_seen->owner = GetWindow(box, GW_OWNER);
  box_seen->owner_disabled = box_seen->owner != nullptr && !IsWindowEnabled(box_seen->owner);
  EnumChildWindows(box, LookAtControl, 0);
  // Through the box's own loop, as a key press comes.
  PostMessageW(GetFocus(), WM_KEYDOWN, box_seen->key, 0);
}

// Shows a box through `show`, looks at it and answers it with `key`.
BoxSeen ShowAndAnswer(const std::function<void()>& show, WPARAM key = VK_RETURN) {
  BoxSeen seen;
  seen.key = key;
  box_seen = &seen;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerBox);
  show();
  KillTimer(nullptr, timer);
  box_seen = nullptr;
  return seen;
}

TEST_F(FormTest, TheConfirmationBoxHasOneButtonThatEnterPresses) {
  Form1 form([](RunWindow&) { return RunOutcome::kFailed; });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  const std::string text = ExtractionConfirmation("&a&b 100%.msi", "&a&b 100%");
  const BoxSeen seen = ShowAndAnswer([&] { form.Confirm(text); });
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.caption, L"Tarvelin");
  EXPECT_EQ(seen.text, files::Widen(text));
  EXPECT_TRUE(seen.prefix_off);
  EXPECT_TRUE(seen.text_fits);
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_EQ(seen.button, L"确定");
  EXPECT_TRUE(seen.button_focused);
  EXPECT_EQ(seen.owner, form.Handle());
  EXPECT_TRUE(seen.owner_disabled);
  EXPECT_TRUE(seen.details.empty());
  EXPECT_TRUE(IsWindowEnabled(form.Handle()));
}

TEST_F(FormTest, TheFailureBoxShowsTheToolsLinesAndEscClosesIt) {
  Form1 form([](RunWindow&) { return RunOutcome::kFailed; });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  const BoxSeen seen = ShowAndAnswer([&] { form.ShowError("ERROR: one\nERROR: two"); }, VK_ESCAPE);
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.text, L"错误！");
  EXPECT_EQ(seen.details, L"ERROR: one\r\nERROR: two");
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_TRUE(seen.button_focused);

  const BoxSeen plain = ShowAndAnswer([&] { form.ShowError(""); });
  ASSERT_TRUE(plain.seen);
  EXPECT_EQ(plain.text, L"错误！");
  EXPECT_TRUE(plain.details.empty());
}

// Set by the timer while the form waits for a child.
bool busy_while_waiting = false;

TEST_F(FormTest, TheWaitForAChildKeepsTheBusyCursorAndIgnoresClosing) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  // A child that counts for a while, then ends with 3.
  ChildSpec spec;
  spec.program = files::Narrow(std::wstring(system) + L"\\cmd.exe");
  spec.arguments = {"/c", "for", "/l", "%i", "in", "(1,1,3000)", "do", "@rem", "&", "exit", "3"};
  spec.working_folder = files::Narrow(system);
  std::optional<int> exit_code;
  bool arrow_after = false;
  Form1* shown = nullptr;
  Form1 form([&](RunWindow& window) {
    std::optional<ChildProcess> child = ChildProcess::Start(spec);
    EXPECT_TRUE(child.has_value());
    if (!child) return RunOutcome::kFailed;
    busy_while_waiting = false;
    SetTimer(shown->Handle(), 1, 30, [](HWND window, UINT, UINT_PTR, DWORD) {
      busy_while_waiting = GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
      PostMessageW(window, WM_CLOSE, 0, 0);
    });
    exit_code = window.AwaitEnd(*child);
    KillTimer(shown->Handle(), 1);
    arrow_after = GetCursor() == LoadCursorW(nullptr, IDC_ARROW);
    return RunOutcome::kFailed;
  });
  shown = &form;
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  ASSERT_TRUE(form.DropFiles({}));
  ASSERT_TRUE(PumpUntil([&] { return !form.Running(); }));
  EXPECT_EQ(exit_code, 3);
  EXPECT_TRUE(busy_while_waiting);
  EXPECT_TRUE(arrow_after);
  EXPECT_TRUE(IsWindow(form.Handle())) << "closed while the child ran";
}

TEST(MessageBoxText, EndsEveryLineWithCrLf) {
  EXPECT_EQ(WithCrLf(L"a\nb\r\nc\n"), L"a\r\nb\r\nc\r\n");
  EXPECT_EQ(WithCrLf(L"\n"), L"\r\n");
  EXPECT_EQ(WithCrLf(L""), L"");
}

TEST(CommandLine, TakesEveryArgumentButTheOptionsAsAFile) {
  EXPECT_TRUE(ReadCommandLine({L"-h"}).help);
  EXPECT_TRUE(ReadCommandLine({L"--help"}).help);
  EXPECT_TRUE(ReadCommandLine({L"/?"}).help);
  EXPECT_TRUE(ReadCommandLine({L"--version"}).version);
  const CommandLine files = ReadCommandLine({L"a.msi", L"-x", L"C:\\b c.msi"});
  EXPECT_FALSE(files.help || files.version);
  EXPECT_EQ(files.files, (std::vector<std::wstring>{L"a.msi", L"-x", L"C:\\b c.msi"}));
  EXPECT_TRUE(ReadCommandLine({}).files.empty());
}

TEST(CommandLine, MakesARelativePathFull) {
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  std::wstring folder = current;
  if (folder.back() != L'\\') folder += L'\\';
  EXPECT_EQ(FullPath(L"我的 100% & ^.msi"), folder + L"我的 100% & ^.msi");
  EXPECT_EQ(FullPath(L"C:\\a\\..\\b.msi"), L"C:\\b.msi");
}

TEST(DroppedFiles, AreTakenInOrder) {
  EXPECT_EQ(TakeDroppedFiles(MakeDrop({L"C:\\a.msi", L"D:\\长 名\\b.msi"})),
            (std::vector<std::wstring>{L"C:\\a.msi", L"D:\\长 名\\b.msi"}));
  EXPECT_TRUE(TakeDroppedFiles(MakeDrop({})).empty());
  EXPECT_TRUE(TakeDroppedFiles(nullptr).empty());
}

}  // namespace
}  // namespace tarvelin
