// A plain ordered queue of file work on a second thread: bytes for a
// descriptor, and other work, handed over in order and done in that order
// while the first thread goes on decoding. It knows nothing of what the
// work is for. Once a write has failed (or the work has noted a failure),
// everything handed after it is dropped but for the clean-up each task
// carries, until the failure is taken: so a failed entry stops what follows
// it, as a failed write stops a cabinet.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "files/handle.h"

class WriteBehind {
 public:
  WriteBehind() = default;
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // A descriptor that the work handed before a write may still open: it is
  // read when the write is done.
  using Descriptor = std::shared_ptr<const files::UniqueHandle>;

  // Hands over a copy of `count` bytes for `fd`; waits while too many bytes
  // are still on their way. Work is handed over in batches.
  void Write(const Descriptor& fd, const void* bytes, std::size_t count);
  // Hands over work to do after everything handed before: `done` when no
  // write has failed since the failure was last taken, else `dropped`.
  void Then(std::function<void()> done, std::function<void()> dropped);
  // Waits until everything handed over is done.
  void Drain();

  // A write or close has failed since the failure was last taken.
  bool Failed() const { return error_.load() != 0; }
  // `error`: a files::Reason::Kind, or a nonzero code of the caller's own.
  void NoteFailure(int error);
  // Drains, then gives the error of the first failure (0 for none) and
  // forgets it.
  int TakeFailure();

 private:
  struct Task {
    Descriptor fd;
    const char* bytes = nullptr;  // in the ring; none for the other work
    std::size_t count = 0;
    std::size_t ring_bytes = 0;  // of the ring, freed once the task is done
    std::function<void()> done;
    std::function<void()> dropped;
  };
  // Starts the second thread when it is not running yet; false when none
  // can be had (the work is then done at once).
  bool Threaded();
  void Queue(Task task);
  // Hands the first thread's batch to the second.
  void Flush();
  // Waits until `count` bytes after the ring's head are free.
  void ReserveRing(std::size_t count);
  void Run(Task& task);
  void Work();
  // Wakes the second thread when it waits for work; the mutex is held.
  void WakeLocked();
  // Waits until `ready` holds, the second thread woken first; the mutex is
  // held by `lock`.
  void WaitLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready);
  // On the second thread: wakes the first one if what it waits for holds.
  void NotifyWaiterLocked();

  // The bytes on their way lie in one ring, in the order they were handed:
  // the second thread frees them in that order.
  std::unique_ptr<char[]> ring_;
  std::size_t ring_head_ = 0;          // where the next bytes go
  std::size_t ring_in_use_seen_ = 0;   // ring_in_use_ when the first thread last looked
  std::size_t tasks_in_use_seen_ = 0;  // tasks_in_use_ likewise
  std::vector<Task> pending_;          // the first thread's batch, not yet handed
  std::size_t pending_ring_bytes_ = 0;

  std::mutex mutex_;
  std::condition_variable work_;  // the second thread waits here for work
  std::condition_variable room_;  // the first waits here for room or the end
  std::vector<Task> tasks_;       // handed, not yet taken by the second thread
  std::size_t ring_in_use_ = 0;   // by the tasks handed and not yet done
  std::size_t tasks_in_use_ = 0;  // tasks handed and not yet done
  bool busy_ = false;             // the second thread is running a batch
  bool idle_ = false;             // the second thread waits to be woken
  // What the first thread waits on `room_` for, while it waits.
  const std::function<bool()>* waiting_for_ = nullptr;
  bool stop_ = false;
  bool inline_ = false;  // no second thread could be had: work is done at once
  std::thread worker_;
  std::atomic<int> error_{0};
};
