// What an extraction run needs from the window that started it.
#pragma once

#include <QString>

namespace tarvelin {

class RunWindow {
 public:
  virtual ~RunWindow() = default;
  // Shows `text` as the label's status.
  virtual void SetStatus(const QString& text) = 0;
  // Collects the dropped paths into the list; returns the text box's text
  // afterwards: the last dropped path, or what it held before.
  virtual QString Intake() = 0;
  // A modal box with `text` and only an OK button; returns once answered.
  virtual void Confirm(const QString& text) = 0;
  // The modal failure box; `details` (the tool's ERROR lines), when not
  // empty, are its details.
  virtual void ShowError(const QString& details) = 0;
};

}  // namespace tarvelin
