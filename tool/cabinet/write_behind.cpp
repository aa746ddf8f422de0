#include "cabinet/write_behind.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <system_error>

#include "files/target_tree.h"

namespace {

// The ring that holds the bytes on their way: enough to keep the second
// thread busy, small enough for the run's memory.
constexpr std::size_t kRingBytes = 4u << 20;
// A write goes into the ring in pieces of at most this much.
constexpr std::size_t kMaxPiece = kRingBytes / 4;
// Work is handed over in batches of about this much, not task by task: a
// hand-over (a lock, maybe a wake-up) costs about as much as creating a
// small file.
constexpr std::size_t kBatchBytes = 1u << 20;
constexpr std::size_t kBatchTasks = 64;
// At most this many tasks are on their way: many small files take little of
// the ring, and each task holds its file until it is done.
constexpr std::size_t kMaxTasks = 4096;

}  // namespace

WriteBehind::~WriteBehind() {
  Drain();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    idle_ = false;
  }
  work_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void WriteBehind::NoteFailure(int error) {
  int none = 0;
  error_.compare_exchange_strong(
      none, error != 0 ? error : static_cast<int>(files::Reason::Kind::kOther));
}

void WriteBehind::Run(Task& task) {
  if (task.bytes != nullptr) {
    files::Reason why;
    if (!Failed() && !files::WriteAll(task.fd->get(), task.bytes, task.count, &why))
      NoteFailure(static_cast<int>(why.kind));
  } else if (Failed()) {
    if (task.dropped) task.dropped();
  } else if (task.done) {
    task.done();
  }
}

void WriteBehind::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (tasks_.empty()) {
      if (stop_) return;
      idle_ = true;
      NotifyWaiterLocked();
      work_.wait(lock, [this] { return stop_ || !idle_; });
      continue;
    }
    // The whole batch at once: the lock is taken once per batch, not per task.
    std::vector<Task> batch = std::move(tasks_);
    tasks_.clear();
    busy_ = true;
    lock.unlock();
    std::size_t freed = 0;
    const std::size_t done = batch.size();
    for (Task& task : batch) {
      Run(task);
      freed += task.ring_bytes;
      task = Task();  // the file goes as soon as it is done with
    }
    batch.clear();
    lock.lock();
    busy_ = false;
    ring_in_use_ -= freed;
    tasks_in_use_ -= done;
    NotifyWaiterLocked();
  }
}

void WriteBehind::WaitLocked(std::unique_lock<std::mutex>& lock,
                             const std::function<bool()>& ready) {
  if (ready()) return;
  WakeLocked();
  waiting_for_ = &ready;
  room_.wait(lock, ready);
  waiting_for_ = nullptr;
}

void WriteBehind::NotifyWaiterLocked() {
  // Woken only once what it waits for holds: where a wake-up is dear (a
  // round trip through wine's server, for one), none is spent in vain.
  if (waiting_for_ != nullptr && (*waiting_for_)()) room_.notify_all();
}

void WriteBehind::WakeLocked() {
  if (!idle_) return;
  idle_ = false;
  work_.notify_one();
}

bool WriteBehind::Threaded() {
  if (!inline_ && !worker_.joinable()) {
    try {
      worker_ = std::thread(&WriteBehind::Work, this);
    } catch (const std::system_error&) {
      inline_ = true;
    }
  }
  return !inline_;
}

void WriteBehind::Queue(Task task) {
  // What was last seen in use can only have shrunk since.
  if (tasks_in_use_seen_ + pending_.size() >= kMaxTasks) {
    Flush();
    std::unique_lock<std::mutex> lock(mutex_);
    WaitLocked(lock, [&] { return tasks_in_use_ <= kMaxTasks / 2; });
    tasks_in_use_seen_ = tasks_in_use_;
  }
  pending_ring_bytes_ += task.ring_bytes;
  pending_.push_back(std::move(task));
  if (pending_ring_bytes_ >= kBatchBytes || pending_.size() >= kBatchTasks) Flush();
}

void WriteBehind::Flush() {
  if (pending_.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ring_in_use_ += pending_ring_bytes_;
    ring_in_use_seen_ = ring_in_use_;
    tasks_in_use_ += pending_.size();
    tasks_in_use_seen_ = tasks_in_use_;
    if (tasks_.empty()) {
      tasks_.swap(pending_);
    } else {
      std::move(pending_.begin(), pending_.end(), std::back_inserter(tasks_));
      pending_.clear();
    }
    pending_ring_bytes_ = 0;
    WakeLocked();
  }
}

void WriteBehind::ReserveRing(std::size_t count) {
  // What was last seen in use can only have shrunk since.
  if (ring_in_use_seen_ + pending_ring_bytes_ + count <= kRingBytes) return;
  Flush();
  std::unique_lock<std::mutex> lock(mutex_);
  // Once it waits, the first thread waits until half the ring is free (a
  // piece is at most a quarter of it): it then fills that half at once
  // rather than waking for every batch written.
  static_assert(kMaxPiece <= kRingBytes / 2);
  WaitLocked(lock, [&] { return ring_in_use_ <= kRingBytes / 2; });
  ring_in_use_seen_ = ring_in_use_;
}

void WriteBehind::Write(const Descriptor& fd, const void* bytes, std::size_t count) {
  if (count == 0) return;
  const char* from = static_cast<const char*>(bytes);
  if (!Threaded()) {
    files::Reason why;
    if (!Failed() && !files::WriteAll(fd->get(), from, count, &why))
      NoteFailure(static_cast<int>(why.kind));
    return;
  }
  if (!ring_) ring_.reset(new char[kRingBytes]);  // no need to clear what is copied over
  while (count > 0) {
    const std::size_t piece = std::min(count, kMaxPiece);
    // A piece lies in one stretch of the ring: the end that is too short
    // for it is skipped, and freed with it.
    const std::size_t skipped = ring_head_ + piece > kRingBytes ? kRingBytes - ring_head_ : 0;
    ReserveRing(skipped + piece);
    if (skipped != 0) ring_head_ = 0;
    std::memcpy(ring_.get() + ring_head_, from, piece);
    Task task;
    task.fd = fd;
    task.bytes = ring_.get() + ring_head_;
    task.count = piece;
    task.ring_bytes = skipped + piece;
    ring_head_ = (ring_head_ + piece) % kRingBytes;
    from += piece;
    count -= piece;
    Queue(std::move(task));
  }
}

void WriteBehind::Then(std::function<void()> done, std::function<void()> dropped) {
  Task task;
  task.done = std::move(done);
  task.dropped = std::move(dropped);
  if (!Threaded()) {
    Run(task);
    return;
  }
  Queue(std::move(task));
}

void WriteBehind::Drain() {
  if (!worker_.joinable()) return;
  Flush();
  std::unique_lock<std::mutex> lock(mutex_);
  WaitLocked(lock, [this] { return tasks_.empty() && !busy_; });
  ring_in_use_seen_ = ring_in_use_;
  tasks_in_use_seen_ = tasks_in_use_;
}

int WriteBehind::TakeFailure() {
  Drain();
  return error_.exchange(0);
}
