#include "host/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

extern char** environ;

namespace tarvelin {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Spawn attributes and file actions, released when they go.
struct SpawnSetup {
  posix_spawnattr_t attributes{};
  posix_spawn_file_actions_t actions{};
  SpawnSetup() {
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const ChildCommand& command) {
  SpawnSetup setup;
  // A session of its own: the child has no controlling terminal. Signals
  // the window ignores or handles start at their defaults in the child.
  sigset_t defaults;
  sigfillset(&defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setflags(&setup.attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  if (command.output_file.empty()) {
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
  } else {
    ::unlink(command.output_file.c_str());
    posix_spawn_file_actions_addopen(&setup.actions, 1, command.output_file.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  }
  posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
  if (!command.working_folder.empty())
    posix_spawn_file_actions_addchdir_np(&setup.actions, command.working_folder.c_str());

  std::vector<std::string> arguments = {command.program};
  arguments.insert(arguments.end(), command.arguments.begin(), command.arguments.end());
  std::vector<char*> argv = Pointers(arguments);
  pid_t pid = 0;
  if (posix_spawn(&pid, command.program.c_str(), &setup.actions, &setup.attributes, argv.data(),
                  environ) != 0)
    return std::nullopt;
  ChildProcess child;
  child.id_ = pid;
  // A descriptor that becomes readable at the child's end, where the kernel
  // has them; the wait polls otherwise.
  const long pidfd = ::syscall(SYS_pidfd_open, pid, 0);
  if (pidfd >= 0) child.process_.reset(static_cast<files::Handle>(pidfd));
  return child;
}

bool ChildProcess::WaitFor(int milliseconds) {
  if (ended_ || id_ < 0) return true;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
    if (got == static_cast<pid_t>(id_)) {
      ended_ = true;
      if (WIFEXITED(status)) exit_code_ = WEXITSTATUS(status);
      return true;
    }
    if (got < 0 && errno != EINTR) {
      // Nothing to wait for any more: it counts as an end that is not normal.
      ended_ = true;
      return true;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long waited =
        (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (milliseconds >= 0 && waited >= milliseconds) return false;
    const int slice =
        milliseconds < 0 ? 100 : static_cast<int>(std::min<long long>(100, milliseconds - waited));
    if (process_) {
      pollfd ready{static_cast<int>(process_.get()), POLLIN, 0};
      ::poll(&ready, 1, slice);
    } else {
      const timespec pause{0, std::min(slice, 5) * 1000000L};
      nanosleep(&pause, nullptr);
    }
  }
}

void ChildProcess::Kill() {
  if (ended_ || id_ < 0) return;
  ::kill(static_cast<pid_t>(id_), SIGKILL);
  WaitFor(-1);
  exit_code_.reset();
}

files::Handle ChildProcess::Waitable() const { return files::kNoHandle; }

}  // namespace tarvelin
