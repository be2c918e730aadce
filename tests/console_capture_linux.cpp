// Linux: the logging library is one shared library, so its registry is shared
// too. The plugin takes a console logger already registered under its name:
// the capture registers one writing into memory.
#include <sstream>

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include "log/log.h"
#include "tests/console_capture.h"

namespace glyphwork::testing {

struct ConsoleCapture::State {
  std::ostringstream text;
  std::shared_ptr<spdlog::logger> logger;
};

ConsoleCapture::ConsoleCapture() : state_(std::make_unique<State>()) {
  state_->logger =
      std::make_shared<spdlog::logger>(kConsoleLogName, std::make_shared<spdlog::sinks::ostream_sink_mt>(state_->text));
  spdlog::drop(kConsoleLogName);
  spdlog::register_logger(state_->logger);
}

ConsoleCapture::~ConsoleCapture() { spdlog::drop(kConsoleLogName); }

void ConsoleCapture::Rearm() {
  // The plugin drops the name at unload.
  if (!spdlog::get(kConsoleLogName)) spdlog::register_logger(state_->logger);
}

std::string ConsoleCapture::Take() { return std::exchange(state_->text, std::ostringstream()).str(); }

bool ConsoleCapture::SharesLoggingRegistry() { return true; }

}  // namespace glyphwork::testing
