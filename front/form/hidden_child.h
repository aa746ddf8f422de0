// Runs a child process without a terminal and waits for its end, with a
// busy cursor, after the user has been asked to wait.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarvelin {

class HiddenChild {
 public:
  HiddenChild(const QString& program, const QStringList& arguments, const QString& working_folder);
  HiddenChild(const HiddenChild&) = delete;
  HiddenChild& operator=(const HiddenChild&) = delete;

  // Starts the child with no terminal and every standard stream on the null
  // device. False when it cannot be started.
  bool Start();
  // Returns once the child has ended, showing a busy cursor meanwhile. Its
  // exit code, or nothing when it did not end normally (a signal, a crash).
  std::optional<int> WaitForEnd();

 private:
  QProcess process_;
};

}  // namespace tarvelin
