// Runs a child process without a terminal and waits for its end, with a
// busy cursor, after the user has been asked to wait.
#pragma once

#include "core/tool_output.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarvelin {

class HiddenChild {
 public:
  // With `errors`, the child's standard output is read into it as it comes
  // (the object must outlive the child); otherwise it goes to the null
  // device.
  HiddenChild(const QString& program, const QStringList& arguments, const QString& working_folder,
              ErrorLines* errors = nullptr);
  HiddenChild(const HiddenChild&) = delete;
  HiddenChild& operator=(const HiddenChild&) = delete;

  // Starts the child with no terminal, standard input and error on the null
  // device. False when it cannot be started.
  bool Start();
  // Returns once the child has ended, showing a busy cursor meanwhile, and
  // its output has been read. Its exit code, or nothing when it did not end
  // normally (a signal, a crash).
  std::optional<int> WaitForEnd();

 private:
  void ReadOutput();

  QProcess process_;
  ErrorLines* errors_;
};

}  // namespace tarvelin
