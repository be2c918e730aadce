// What the game loop runs, in order of arrival: command lines from the input
// reader, requests and notices from the RCON network thread. Bounded: a
// producer that may be slowed waits for room, the network thread is told
// there is none and holds its client back instead. The waiting producer
// leaves `reserved` places to the network thread, so that a long script
// cannot keep RCON clients out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "programs/devserver/rcon_server.h"

namespace devserver {

struct Work {
  enum class Kind { kLine, kEndOfInput, kRequest, kNotice };
  Kind kind = Kind::kLine;
  std::string text;       // kLine, kNotice
  rcon::Request request;  // kRequest
};

class WorkQueue {
 public:
  // REQUIRES: reserved < capacity.
  WorkQueue(std::size_t capacity, std::size_t reserved) : capacity_(capacity), reserved_(reserved) {}

  // Any thread. Waits until there is room beyond the reserved places.
  void Push(Work work) {
    {
      std::unique_lock lock(mutex_);
      room_.wait(lock, [this] { return queue_.size() + reserved_ < capacity_; });
      queue_.push_back(std::move(work));
    }
    ready_.notify_one();
  }

  // Any thread. False, and nothing queued, when the queue is full.
  bool TryPush(Work work) {
    {
      std::lock_guard lock(mutex_);
      if (queue_.size() >= capacity_) return false;
      queue_.push_back(std::move(work));
    }
    ready_.notify_one();
    return true;
  }

  // The oldest work, or nothing once `timeout` has passed without any.
  std::optional<Work> Pop(std::chrono::milliseconds timeout) {
    std::optional<Work> work;
    {
      std::unique_lock lock(mutex_);
      if (!ready_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    room_.notify_one();
    return work;
  }

 private:
  const std::size_t capacity_;
  const std::size_t reserved_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
  std::deque<Work> queue_;  // guarded by mutex_
};

}  // namespace devserver
