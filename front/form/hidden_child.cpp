#include "form/hidden_child.h"

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

#include <unistd.h>

namespace tarvelin {

namespace {

// Shows the busy cursor for as long as it lives.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

HiddenChild::HiddenChild(const QString& program, const QStringList& arguments,
                         const QString& working_folder, ErrorLines* errors)
    : errors_(errors) {
  process_.setProgram(program);
  process_.setArguments(arguments);
  process_.setWorkingDirectory(working_folder);
  process_.setStandardInputFile(QProcess::nullDevice());
  if (errors_ == nullptr) {
    process_.setStandardOutputFile(QProcess::nullDevice());
  } else {
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { ReadOutput(); });
  }
  process_.setStandardErrorFile(QProcess::nullDevice());
  // A session of its own: the child has no controlling terminal.
  process_.setChildProcessModifier([] { ::setsid(); });
}

bool HiddenChild::Start() {
  process_.start();
  return process_.waitForStarted(-1);
}

std::optional<int> HiddenChild::WaitForEnd() {
  if (process_.state() != QProcess::NotRunning) {
    BusyCursor busy;
    QEventLoop loop;
    QObject::connect(&process_, &QProcess::finished, &loop, &QEventLoop::quit);
    // The child may have ended while the user read the box.
    if (process_.state() != QProcess::NotRunning) loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The loop also ends when the application is told to quit: the child's
    // end is still the only way on.
    if (process_.state() != QProcess::NotRunning) process_.waitForFinished(-1);
    if (process_.state() != QProcess::NotRunning) {
      // Waiting failed: the child is stopped, never left writing on.
      process_.kill();
      process_.waitForFinished(-1);
      return std::nullopt;
    }
  }
  ReadOutput();
  if (errors_ != nullptr) errors_->Finish();
  if (process_.exitStatus() != QProcess::NormalExit) return std::nullopt;
  return process_.exitCode();
}

void HiddenChild::ReadOutput() {
  if (errors_ == nullptr) return;
  const QByteArray bytes = process_.readAllStandardOutput();
  errors_->Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace tarvelin
