// ConsoleLines with spdlog 0.16.2, the live host's.
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <utility>

#include "log/log.h"
#include "programs/check/console_lines.h"

namespace glyphwork::check {

struct ConsoleLines::Sink final : public spdlog::sinks::base_sink<std::mutex> {
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(_mutex);
    return std::exchange(lines, {});
  }

 protected:
  void _sink_it(const spdlog::details::log_msg& message) override {
    lines.emplace_back(message.raw.data(), message.raw.size());
  }
  void _flush() override {}

 private:
  std::vector<std::string> lines;
};

ConsoleLines::ConsoleLines() : sink_(std::make_shared<Sink>()) {
  spdlog::drop(kConsoleLogName);
  spdlog::register_logger(std::make_shared<spdlog::logger>(kConsoleLogName, sink_));
}

ConsoleLines::~ConsoleLines() { spdlog::drop(kConsoleLogName); }

std::vector<std::string> ConsoleLines::Take() { return sink_->Take(); }

}  // namespace glyphwork::check
