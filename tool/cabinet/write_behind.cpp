#include "cabinet/write_behind.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

// Bytes on their way at most: enough to keep the second thread busy, small
// enough for the run's memory.
constexpr std::size_t kMaxBytesWaiting = 8u << 20;
// An idle second thread is woken once this much work waits, not for each
// task: a wake-up costs about as much as creating a small file.
constexpr std::size_t kWakeBytes = 1u << 20;
constexpr std::size_t kWakeTasks = 32;

bool WriteAll(int fd, const char* bytes, std::size_t count, int* error) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t put = write(fd, bytes + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *error = put < 0 ? errno : ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

void WriteBehind::File::Remove() {
  fd.reset();
  if (made) unlink(path.c_str());
  made = false;
}

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
  error_.compare_exchange_strong(none, error != 0 ? error : EIO);
}

void WriteBehind::Run(Task& task) {
  if (task.bytes) {
    int error = 0;
    if (!Failed() && !WriteAll(task.file->fd.get(), task.bytes.get(), task.count, &error))
      NoteFailure(error);
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
      if (first_waiting_) room_.notify_all();
      work_.wait(lock, [this] { return stop_ || !idle_; });
      continue;
    }
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    busy_ = true;
    lock.unlock();
    Run(task);
    const std::size_t count = task.count;
    task = Task();  // the file and bytes go before the first thread hears
    lock.lock();
    busy_ = false;
    bytes_waiting_ -= count;
    if (first_waiting_) room_.notify_all();
  }
}

void WriteBehind::WakeLocked() {
  if (!idle_) return;
  idle_ = false;
  work_.notify_one();
}

void WriteBehind::Hand(Task task) {
  if (!inline_ && !worker_.joinable()) {
    try {
      worker_ = std::thread(&WriteBehind::Work, this);
    } catch (const std::system_error&) {
      inline_ = true;
    }
  }
  if (inline_) {
    Run(task);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  auto has_room = [&] {
    return bytes_waiting_ == 0 || bytes_waiting_ + task.count <= kMaxBytesWaiting;
  };
  if (!has_room()) {
    WakeLocked();
    first_waiting_ = true;
    room_.wait(lock, has_room);
    first_waiting_ = false;
  }
  bytes_waiting_ += task.count;
  tasks_.push_back(std::move(task));
  if (bytes_waiting_ >= kWakeBytes || tasks_.size() >= kWakeTasks) WakeLocked();
}

void WriteBehind::Write(const std::shared_ptr<File>& file, const void* bytes, std::size_t count) {
  if (count == 0) return;
  Task task;
  task.file = file;
  task.bytes.reset(new char[count]);  // no need to clear what is copied over
  std::memcpy(task.bytes.get(), bytes, count);
  task.count = count;
  Hand(std::move(task));
}

void WriteBehind::Then(std::function<void()> done, std::function<void()> dropped) {
  Task task;
  task.done = std::move(done);
  task.dropped = std::move(dropped);
  Hand(std::move(task));
}

void WriteBehind::Drain() {
  if (!worker_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  if (tasks_.empty() && !busy_) return;
  WakeLocked();
  first_waiting_ = true;
  room_.wait(lock, [this] { return tasks_.empty() && !busy_; });
  first_waiting_ = false;
}

int WriteBehind::TakeFailure() {
  Drain();
  return error_.exchange(0);
}
