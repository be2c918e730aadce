// The host's log: its sinks, and a logger on them for a plugin.
#pragma once

#include <API/Base.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <string>
#include <vector>

// The host's sinks: a colour console and a rotating file,
// ShooterGame/Binaries/Win64/logs/ArkApi_<process id>_<date>.log.
ARK_API std::vector<spdlog::sink_ptr>& APIENTRY GetLogSinks();

class Log {
 public:
  static Log& Get() {
    static Log instance;
    return instance;
  }

  // A logger named `plugin_name` on the host's sinks, flushed at every line.
  void Init(const std::string& plugin_name) {
    auto& sinks = GetLogSinks();
    logger_ = std::make_shared<spdlog::logger>(plugin_name, sinks.begin(), sinks.end());
    logger_->set_pattern("%D %R [%n][%l] %v", spdlog::pattern_time_type::local);
    logger_->flush_on(spdlog::level::info);
  }

  static std::shared_ptr<spdlog::logger>& GetLog() { return Get().logger_; }

 private:
  std::shared_ptr<spdlog::logger> logger_;
};
