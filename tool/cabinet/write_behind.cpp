#include "cabinet/write_behind.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

// Bytes on their way at most: enough to keep the second thread busy, small
// enough for the run's memory.
constexpr std::size_t kMaxBytesWaiting = 8u << 20;

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

WriteBehind::~WriteBehind() {
  Drain();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
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
    changed_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
    if (tasks_.empty()) return;
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
    changed_.notify_all();
  }
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
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
      return bytes_waiting_ == 0 || bytes_waiting_ + task.count <= kMaxBytesWaiting;
    });
    bytes_waiting_ += task.count;
    tasks_.push_back(std::move(task));
  }
  changed_.notify_all();
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
  changed_.wait(lock, [this] { return tasks_.empty() && !busy_; });
}

int WriteBehind::TakeFailure() {
  Drain();
  return error_.exchange(0);
}
