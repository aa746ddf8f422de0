// The drop window: an instruction line and a one-row list that takes the
// dropped packages, above every other window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "run/extraction_run.h"
#include "run/run_window.h"
#include "win32/window_owners.h"

namespace tarvelin {

class Form1 : public RunWindow {
 public:
  // What a drop starts: RunExtraction with the embedded tool in the program.
  using Runner = std::function<RunOutcome(RunWindow&)>;

  explicit Form1(Runner runner);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() override;

  // Makes the window, lays it out at its monitor's DPI and shows it as
  // `show` says (a wWinMain's show command). False when it cannot be made.
  bool Create(int show);

  HWND Handle() const { return window_; }
  HWND Label1() const { return label1_; }
  HWND List1() const { return list1_; }
  HWND Text1() const { return text1_; }
  bool Running() const { return running_; }
  UINT Dpi() const { return dpi_; }

  // What a drop of `paths` on the list does: a run starts once the drop has
  // returned, with the paths taken into the list. Ignored while a run is
  // going on (false then).
  bool DropFiles(std::vector<std::wstring> paths);

  void SetStatus(const std::string& text) override;
  std::string Intake() override;
  void Confirm(const std::string& text) override;
  void ShowError(const std::string& details) override;
  std::optional<int> AwaitEnd(ChildProcess& child) override;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK List1Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  // Sizes the window and its controls for `dpi`, with the window's corner at
  // `suggested`'s when given, and makes the font anew for it.
  void LayOut(UINT dpi, const RECT* suggested);
  void Run();

  Runner runner_;
  HWND window_ = nullptr;
  HWND label1_ = nullptr;
  HWND list1_ = nullptr;
  HWND text1_ = nullptr;
  WNDPROC list1_class_procedure_ = nullptr;  // the LISTBOX class's own
  UINT dpi_ = 96;
  UniqueFont font_;
  std::vector<std::wstring> dropped_;
  bool running_ = false;
  bool waiting_ = false;  // for a child: the cursor is the busy one
};

}  // namespace tarvelin
