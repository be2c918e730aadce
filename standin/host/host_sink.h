// The host's log sink. A plugin's logger sets its formatter on the sinks it
// shares with the host; that formatter is the plugin's own object, whose code
// goes away with the plugin (Windows: each module has its own copy of the
// header-only logging library). The host takes its sinks back before a
// plugin's code goes.
#pragma once

#include <spdlog/sinks/sink.h>

#include <memory>
#include <mutex>
#include <string>

namespace standin {

class HostSink final : public spdlog::sinks::sink {
 public:
  // Formats lines with the formatter last set and hands the text to `out`.
  HostSink(std::shared_ptr<spdlog::sinks::sink> out, const std::string& pattern);

  void log(const spdlog::details::log_msg& message) override;
  void flush() override;
  void set_pattern(const std::string& pattern) override;
  void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override;

  // Puts the host's own formatter back.
  void Reclaim();

 private:
  std::mutex mutex_;
  std::shared_ptr<spdlog::sinks::sink> out_;
  std::string pattern_;
  std::unique_ptr<spdlog::formatter> formatter_;
};

}  // namespace standin
