// A program started without a terminal or console window, and waited for.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/handle.h"

namespace tarvelin {

struct ChildCommand {
  std::string program;  // a full path
  std::vector<std::string> arguments;
  std::string working_folder;
  // Standard output goes into this file, made anew; to the null device when
  // empty. Standard input and error are the null device.
  std::string output_file;
};

// One started child. A child that still runs when the object goes is
// stopped and waited for: it never goes on writing unseen.
class ChildProcess {
 public:
  // Starts `command` hidden: on POSIX in a session of its own (no controlling
  // terminal), on Windows with no console window. Nothing when it cannot
  // be started (the program missing among the reasons).
  static std::optional<ChildProcess> Start(const ChildCommand& command);

  ChildProcess(ChildProcess&& other) noexcept
      : id_(std::exchange(other.id_, -1)),
        process_(std::move(other.process_)),
        ended_(other.ended_),
        exit_code_(other.exit_code_) {}
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (id_ >= 0 && !ended_) Kill();
  }

  // Waits at most `milliseconds` (-1: as long as it takes) for the child's
  // end; true once it has ended.
  bool WaitFor(int milliseconds);
  // After the end: the exit code, or nothing when the child did not end
  // normally (a signal, a crash) or was stopped.
  std::optional<int> ExitCode() const { return exit_code_; }
  // Stops the child and waits for it.
  void Kill();
  // On Windows the process handle, for a window that waits on it beside its
  // messages; kNoHandle on POSIX.
  files::Handle Waitable() const;

 private:
  ChildProcess() = default;

  long long id_ = -1;  // the process id; -1 for none
  files::UniqueHandle
      process_;  // pidfd on POSIX (when the host has them), process handle on Windows
  bool ended_ = false;
  std::optional<int> exit_code_;
};

}  // namespace tarvelin
