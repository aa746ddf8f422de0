// What an extraction run needs from the window that started it. Texts are
// UTF-8.
#pragma once

#include <optional>
#include <string>

namespace tarvelin {

class ChildProcess;

class RunWindow {
 public:
  virtual ~RunWindow() = default;
  // Shows `text` as the label's status.
  virtual void SetStatus(const std::string& text) = 0;
  // Collects the dropped paths into the list; returns the text box's text
  // afterwards: the last dropped path, or what it held before.
  virtual std::string Intake() = 0;
  // A modal box with `text` and only an OK button; returns once answered.
  virtual void Confirm(const std::string& text) = 0;
  // The modal failure box; `details` (the tool's ERROR lines), when not
  // empty, are its details.
  virtual void ShowError(const std::string& details) = 0;
  // Returns once `child` has ended, showing a busy cursor meanwhile and
  // keeping the window drawn; the child's exit code (ChildProcess::ExitCode).
  virtual std::optional<int> AwaitEnd(ChildProcess& child) = 0;
};

}  // namespace tarvelin
