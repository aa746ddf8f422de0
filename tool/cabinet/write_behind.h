// The file work of extraction on a second thread: the bytes of the entries
// and their ends (time, close, rename) are handed over in order and done in
// that order, while the first thread goes on decoding. Once a write or a
// close has failed, everything handed after it is dropped but for the
// clean-up each task carries, until the failure is taken: so a failed
// entry stops what follows it, as a failed write stops a cabinet.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files/unique_fd.h"

class WriteBehind {
 public:
  // One entry's file, shared by the tasks that write and end it.
  struct File {
    files::UniqueFd fd;
    std::string path;
    // This run made the file at `path` (it is removed when the entry is
    // abandoned). False until a deferred open has made it.
    bool made = true;
    // `path` is a temporary name, renamed over the entry's place when whole.
    bool temporary = false;
    // `path` is the entry's File key in the target folder, its place having
    // been refused.
    bool under_key = false;

    // Closes the file and removes it, when this run made it.
    void Remove();
  };

  WriteBehind() = default;
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Hands over a copy of `count` bytes for `file`; waits while too many
  // bytes are still on their way. Work is handed over in batches.
  void Write(const std::shared_ptr<File>& file, const void* bytes, std::size_t count);
  // Hands over work to do after everything handed before: `done` when no
  // write has failed since the failure was last taken, else `dropped`.
  void Then(std::function<void()> done, std::function<void()> dropped);
  // Waits until everything handed over is done.
  void Drain();

  // A write or close has failed since the failure was last taken.
  bool Failed() const { return error_.load() != 0; }
  // `error`: an errno, or a nonzero code of the caller's own.
  void NoteFailure(int error);
  // Drains, then gives the error of the first failure (0 for none) and
  // forgets it.
  int TakeFailure();

 private:
  struct Task {
    std::shared_ptr<File> file;
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

  // The bytes on their way lie in one ring, in the order they were handed:
  // the second thread frees them in that order.
  std::unique_ptr<char[]> ring_;
  std::size_t ring_head_ = 0;         // where the next bytes go
  std::size_t ring_in_use_seen_ = 0;  // ring_in_use_ when the first thread last looked
  std::vector<Task> pending_;         // the first thread's batch, not yet handed
  std::size_t pending_ring_bytes_ = 0;

  std::mutex mutex_;
  std::condition_variable work_;  // the second thread waits here for work
  std::condition_variable room_;  // the first waits here for room or the end
  std::vector<Task> tasks_;       // handed, not yet taken by the second thread
  std::size_t ring_in_use_ = 0;   // by the tasks handed and not yet done
  bool busy_ = false;             // the second thread is running a batch
  bool idle_ = false;             // the second thread waits to be woken
  bool first_waiting_ = false;    // the first thread waits on `room_`
  bool stop_ = false;
  bool inline_ = false;  // no second thread could be had: work is done at once
  std::thread worker_;
  std::atomic<int> error_{0};
};
