// What the game loop runs, in order of arrival: command lines from the input
// reader, requests and notices from the RCON network thread.
#pragma once

#include <chrono>
#include <condition_variable>
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
  // Any thread.
  void Push(Work work) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(work));
    }
    ready_.notify_one();
  }

  // The oldest work, or nothing once `timeout` has passed without any.
  std::optional<Work> Pop(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
    Work work = std::move(queue_.front());
    queue_.pop_front();
    return work;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Work> queue_;
};

}  // namespace devserver
