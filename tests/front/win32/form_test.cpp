// The Win32 form and its boxes from inside the process, on a display: the
// layout in twips at the window's DPI and after a change of DPI, drops and
// the run they start, the boxes (one button, Enter and Esc) and the wait for
// a child.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/files.h"
#include "files/windows/wide_text.h"
#include "host/child_process.h"
#include "run/run_texts.h"
#include "win32/command_line.h"
#include "win32/dropped_files.h"
#include "win32/form1.h"
#include "win32/form_font.h"
#include "win32/form_layout.h"
#include "win32/message_box.h"
#include "win32/tool_resource.h"

namespace tarvelin {
namespace {

// Dispatches the thread's messages until `done` holds (at most 10 s),
// counting the WM_QUITs met in `quits`.
bool PumpUntil(const std::function<bool()>& done, int* quits = nullptr) {
  const ULONGLONG end = GetTickCount64() + 10000;
  MSG message{};
  while (!done()) {
    if (GetTickCount64() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT && quits != nullptr) ++*quits;
      if (message.message != WM_QUIT) DispatchMessageW(&message);
    }
  }
  return true;
}

// A drop as Explorer hands one over: DROPFILES, then the paths, each ended
// by a NUL, and an empty one.
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
  std::wstring list;
  for (const std::wstring& path : paths) list += path + L'\0';
  list += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (list.size() + 1) * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  list.copy(reinterpret_cast<wchar_t*>(drop + 1), list.size());
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

int FontPixels(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return -font.lfHeight;
}

// The form's inside, its controls' places and the label's font at `dpi`.
void ExpectLaidOut(const Form1& form, UINT dpi) {
  RECT client{};
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, dpi));
  for (const auto& [control, twips] :
       {std::pair{form.Label1(), kLabel1Twips}, std::pair{form.List1(), kList1Twips}}) {
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&place), 2);
    const RECT expected = PixelRect(twips, dpi);
    EXPECT_TRUE(EqualRect(&place, &expected))
        << place.left << "," << place.top << " " << place.right << "," << place.bottom;
  }
  // The largest size up to 12 px at 96 DPI at which both lines fit.
  const int pixels = FontPixels(form.Label1());
  EXPECT_LE(pixels, ScaleToDpi(kLabelPixelSize, dpi));
  EXPECT_EQ(FontPixels(form.List1()), pixels);
  RECT room{};
  GetClientRect(form.Label1(), &room);
  HDC dc = GetDC(form.Label1());
  const UniqueFont larger = MakeFont(pixels + 1);
  const SIZE needed =
      TextExtent(dc, reinterpret_cast<HFONT>(SendMessageW(form.Label1(), WM_GETFONT, 0, 0)),
                 TextOf(form.Label1()), room.right, kLabelFormat);
  const SIZE too_large =
      TextExtent(dc, larger.get(), TextOf(form.Label1()), room.right, kLabelFormat);
  ReleaseDC(form.Label1(), dc);
  EXPECT_LE(needed.cy, room.bottom);
  EXPECT_GT(needed.cy, pixels * 2) << "the credit on a line of its own";
  if (pixels < ScaleToDpi(kLabelPixelSize, dpi)) {
    EXPECT_GT(too_large.cy, room.bottom);
  }
}

class FormTest : public ::testing::Test {
 protected:
  // What the forms' ends posted goes with them.
  void TearDown() override {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
};

Form1::Runner Failing() {
  return [](RunWindow&) { return RunOutcome::kFailed; };
}

TEST_F(FormTest, IsLaidOutInTwipsAboveTheOthersAndAgainAtANewDpi) {
  Form1 form(Failing());
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  ExpectLaidOut(form, form.Dpi());
  EXPECT_FALSE(IsWindowVisible(form.Text1()));
  EXPECT_EQ(GetWindowLongPtrW(form.Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(GetWindowLongPtrW(form.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(GetWindowLongPtrW(form.List1(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  EXPECT_EQ(TextOf(form.Handle()), L"Tarvelin");
  EXPECT_EQ(TextOf(form.Label1()), files::Widen(InstructionLine()));

  const UINT dpi = form.Dpi() * 3 / 2;
  RECT suggested{50, 60, 650, 260};
  SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
               reinterpret_cast<LPARAM>(&suggested));
  ExpectLaidOut(form, dpi);
  RECT frame{};
  GetWindowRect(form.Handle(), &frame);
  EXPECT_EQ(frame.left, 50);
  EXPECT_EQ(frame.top, 60);
}

TEST_F(FormTest, ADropRunsAfterItReturnedAndWhileItRunsDropsAndClosingAreIgnored) {
  const std::wstring first = L"C:\\packages\\first.msi";
  const std::wstring second = L"Z:\\dev\\shm\\我的 100% & ^.msi";
  std::vector<std::string> taken;
  HWND list = nullptr;
  Form1 form([&](RunWindow& window) {
    SendMessageW(list, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\x.msi"})), 0);
    SendMessageW(GetParent(list), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(list));
    window.SetStatus(LoadingText());
    taken.push_back(window.Intake());
    return RunOutcome::kFailed;
  });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  list = form.List1();
  SendMessageW(list, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({first, second})), 0);
  EXPECT_TRUE(taken.empty()) << "ran inside the drop";
  EXPECT_TRUE(form.Running());
  ASSERT_TRUE(PumpUntil([&] { return !form.Running(); }));
  EXPECT_EQ(taken, std::vector<std::string>{files::Narrow(second)});
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
  wchar_t row[64] = {};
  SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(row));
  EXPECT_EQ(row, first);
  EXPECT_EQ(TextOf(form.Text1()), second);
  EXPECT_EQ(TextOf(form.Label1()), files::Widen(LoadingText()));

  // After a failed run the window takes the next drop, one of no file too:
  // the text box keeps the last path.
  SendMessageW(list, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({})), 0);
  ASSERT_TRUE(PumpUntil([&] { return !form.Running(); }));
  EXPECT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken.back(), files::Narrow(second));
}

TEST_F(FormTest, ASuccessfulRunClosesTheWindowAndEndsTheProgram) {
  Form1 form([](RunWindow&) { return RunOutcome::kSucceeded; });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  const HWND window = form.Handle();
  ASSERT_TRUE(form.DropFiles({L"C:\\setup.msi"}));
  int quits = 0;
  ASSERT_TRUE(PumpUntil([&] { return quits > 0; }, &quits));
  EXPECT_FALSE(IsWindow(window));
}

// What a box looked like; the timer that looks answers it with `key`.
struct BoxSeen {
  WPARAM key = VK_RETURN;
  std::wstring caption, text, details, button;
  int buttons = 0;
  bool plain_text = false, button_focused = false, owner_disabled = false;
};
BoxSeen* box_seen = nullptr;

BOOL CALLBACK LookAtControl(HWND control, LPARAM) {
  wchar_t class_name[16] = {};
  GetClassNameW(control, class_name, 16);
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  if (_wcsicmp(class_name, L"Button") == 0) {
    ++box_seen->buttons;
    box_seen->button = TextOf(control);
    box_seen->button_focused = GetFocus() == control && (style & BS_DEFPUSHBUTTON) != 0;
  } else if (GetDlgCtrlID(control) == kBoxTextId) {
    box_seen->text = TextOf(control);
    box_seen->plain_text = (style & SS_NOPREFIX) != 0;
  } else if (GetDlgCtrlID(control) == kBoxDetailsId) {
    box_seen->details = TextOf(control);
  }
  return TRUE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = FindWindowW(L"#32770", L"Tarvelin");
  if (box == nullptr || !IsWindowVisible(box)) return;
  KillTimer(nullptr, timer);
  box_seen->caption = TextOf(box);
  box_seen->owner_disabled = !IsWindowEnabled(GetWindow(box, GW_OWNER));
  EnumChildWindows(box, LookAtControl, 0);
  // Through the box's own loop, as a key press comes.
  PostMessageW(GetFocus(), WM_KEYDOWN, box_seen->key, 0);
}

BoxSeen ShowAndAnswer(const std::function<void()>& show, WPARAM key) {
  BoxSeen seen;
  seen.key = key;
  box_seen = &seen;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerBox);
  show();
  KillTimer(nullptr, timer);
  return seen;
}

TEST_F(FormTest, BoxesHaveOneButtonThatEnterAndEscPress) {
  Form1 form(Failing());
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  const std::string text = ExtractionConfirmation("&a&b 100%.msi", "&a&b 100%");
  const BoxSeen confirmation = ShowAndAnswer([&] { form.Confirm(text); }, VK_RETURN);
  EXPECT_EQ(confirmation.caption, L"Tarvelin");
  EXPECT_EQ(confirmation.text, files::Widen(text));
  EXPECT_TRUE(confirmation.plain_text);
  EXPECT_EQ(confirmation.buttons, 1);
  EXPECT_EQ(confirmation.button, L"确定");
  EXPECT_TRUE(confirmation.button_focused);
  EXPECT_TRUE(confirmation.owner_disabled);
  EXPECT_TRUE(IsWindowEnabled(form.Handle()));

  const BoxSeen failure =
      ShowAndAnswer([&] { form.ShowError("ERROR: one\nERROR: two"); }, VK_ESCAPE);
  EXPECT_EQ(failure.text, L"错误！");
  EXPECT_EQ(failure.details, L"ERROR: one\r\nERROR: two");
  EXPECT_EQ(failure.buttons, 1);
  EXPECT_TRUE(failure.button_focused);
}

bool busy_while_waiting = false;  // set by the timer during the wait

TEST_F(FormTest, TheWaitForAChildShowsTheBusyCursorAndIgnoresClosing) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  // A child that counts for a while, then ends with 3.
  ChildCommand command;
  command.program = files::Narrow(std::wstring(system) + L"\\cmd.exe");
  command.arguments = {"/c", "for", "/l", "%i", "in", "(1,1,3000)", "do", "@rem", "&", "exit", "3"};
  command.working_folder = files::Narrow(system);
  std::optional<int> exit_code;
  Form1 form([&](RunWindow& window) {
    std::optional<ChildProcess> child = ChildProcess::Start(command);
    if (!child) return RunOutcome::kFailed;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR, DWORD) {
      busy_while_waiting = GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
      PostMessageW(FindWindowW(nullptr, L"Tarvelin"), WM_CLOSE, 0, 0);
    });
    exit_code = window.AwaitEnd(*child);
    KillTimer(nullptr, timer);
    return RunOutcome::kFailed;
  });
  ASSERT_TRUE(form.Create(SW_SHOWNOACTIVATE));
  ASSERT_TRUE(form.DropFiles({}));
  ASSERT_TRUE(PumpUntil([&] { return !form.Running(); }));
  EXPECT_EQ(exit_code, 3);
  EXPECT_TRUE(busy_while_waiting);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_TRUE(IsWindow(form.Handle())) << "closed while the child ran";
}

TEST(FormParts, TheToolRidesWholeAsItsResource) {
  // CUSTOM 101 in Chinese (Simplified): the build's own tool, every byte of
  // it, whatever its size.
  const std::string_view tool = LoadEmbeddedTool();
  std::optional<files::ReadableFile> copy = files::OpenRegularFile(EMBEDDED_TOOL);
  ASSERT_TRUE(copy.has_value());
  ASSERT_EQ(tool.size(), copy->size);
  std::string bytes(tool.size(), '\0');
  ASSERT_EQ(files::ReadAt(copy->handle.get(), bytes.data(), bytes.size(), 0),
            static_cast<long long>(bytes.size()));
  EXPECT_TRUE(tool == bytes);
  EXPECT_EQ(tool.substr(0, 2), "MZ");
}

TEST(FormParts, CommandLineDropsAndDetails) {
  EXPECT_TRUE(ReadCommandLine({L"/?"}).help);
  EXPECT_TRUE(ReadCommandLine({L"--version"}).version);
  EXPECT_EQ(ReadCommandLine({L"a.msi", L"-x"}).files, (std::vector<std::wstring>{L"a.msi", L"-x"}));
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  EXPECT_EQ(FullPath(L"我的.msi"),
            std::wstring(current) + (current[3] ? L"\\" : L"") + L"我的.msi");
  EXPECT_EQ(TakeDroppedFiles(MakeDrop({L"C:\\a.msi", L"D:\\长 名\\b.msi"})),
            (std::vector<std::wstring>{L"C:\\a.msi", L"D:\\长 名\\b.msi"}));
  EXPECT_TRUE(TakeDroppedFiles(MakeDrop({})).empty());
  EXPECT_EQ(WithCrLf(L"a\nb\r\nc\n"), L"a\r\nb\r\nc\r\n");
}

}  // namespace
}  // namespace tarvelin
