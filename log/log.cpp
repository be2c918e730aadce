#include "log/log.h"

#include <Logger/Logger.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <ctime>

#include "platform/platform.h"

namespace glyphwork {

namespace {

std::shared_ptr<spdlog::logger> console_log;
bool console_log_ready = false;

// The line a print operation writes, for the given local time.
std::string FormatConsoleLine(const std::string& colour, const std::string& tag, const std::string& message,
                              const std::tm& local_time) {
  char time[32];
  const size_t length = std::strftime(time, sizeof time, "%m/%d/%y %H:%M", &local_time);
  std::string line = "\x1b[" + colour + "m";
  line.append(time, length);
  line += tag;
  line += message;
  line += "\x1b[0m";
  return line;
}

void PrintLine(const std::string& colour, const std::string& tag, const std::string& message) {
  if (!console_log_ready) SetUpConsoleLog();
  const std::tm now = platform::LocalTime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
  // "%v" logs the line as given: braces in the message are not a format.
  console_log->info(FormatConsoleLine(colour, tag, message, now));
}

}  // namespace

std::shared_ptr<spdlog::logger>& HostLog() {
  static std::shared_ptr<spdlog::logger> host_log;
  return host_log;
}

void SetUpHostLog(const std::string& name) {
  auto& sinks = GetLogSinks();
  auto logger = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());
  logger->set_pattern("%D %R [%n][%l] %v", spdlog::pattern_time_type::local);
  logger->flush_on(spdlog::level::info);
  HostLog() = std::move(logger);
}

void SetUpConsoleLog() {
  auto logger = spdlog::get(kConsoleLogName);
  if (!logger) {
    logger = std::make_shared<spdlog::logger>(kConsoleLogName, platform::ConsoleSink());
    spdlog::register_logger(logger);
  }
  logger->set_pattern("%v");
  console_log = std::move(logger);
  console_log_ready = true;
}

void ReleaseConsoleLog() { spdlog::drop(kConsoleLogName); }

void PrintInfo(const std::string& message) { PrintLine("37", " [Glyphwork] ", message); }

void PrintColored(const std::string& colour, const std::string& message) {
  PrintLine(colour, " [Glyphwork] ", message);
}

void PrintError(const std::string& message) { PrintLine("31", " [Glyphwork][ERR] ", message); }

}  // namespace glyphwork
