#include "programs/check/console_lines.h"

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <utility>

#include "log/log.h"

namespace glyphwork::check {

// A sink keeps a line's message as it was logged. Its hooks and its lock are
// named apart in the two series of the logging library: Debian's 1.x, and the
// live host's 0.16.2, which the Windows build uses.
struct ConsoleLines::Sink final : public spdlog::sinks::base_sink<std::mutex> {
#ifdef SPDLOG_VER_MAJOR
  std::mutex& Lock() { return mutex_; }

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    lines.emplace_back(message.payload.data(), message.payload.size());
  }
  void flush_() override {}
#else
  std::mutex& Lock() { return _mutex; }

 protected:
  void _sink_it(const spdlog::details::log_msg& message) override {
    lines.emplace_back(message.raw.data(), message.raw.size());
  }
  void _flush() override {}
#endif

 public:
  std::vector<std::string> lines;
};

ConsoleLines::ConsoleLines() : sink_(std::make_shared<Sink>()) {
  spdlog::drop(kConsoleLogName);
  spdlog::register_logger(std::make_shared<spdlog::logger>(kConsoleLogName, sink_));
}

ConsoleLines::~ConsoleLines() { spdlog::drop(kConsoleLogName); }

std::vector<std::string> ConsoleLines::Take() {
  std::lock_guard<std::mutex> lock(sink_->Lock());
  return std::exchange(sink_->lines, {});
}

}  // namespace glyphwork::check
