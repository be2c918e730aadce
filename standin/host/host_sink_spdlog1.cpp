// The host's sinks with spdlog 1.x. There a logger's set_pattern sets its
// formatter on every sink it logs to, and the sinks are the host's, shared
// with every plugin: the formatter is then the plugin's own object (on
// Windows each module has its own copy of the header-only library), whose
// code goes away with the plugin. So each shared sink formats with a
// formatter of its own, which the host takes back before a plugin goes, and
// hands the text to the real output.
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <mutex>

#include "standin/host/host_sink.h"

namespace standin {

namespace {

std::unique_ptr<spdlog::formatter> HostFormatter(const std::string& pattern) {
  return std::make_unique<spdlog::pattern_formatter>(pattern, spdlog::pattern_time_type::local);
}

class HostSink final : public spdlog::sinks::sink {
 public:
  HostSink(std::shared_ptr<spdlog::sinks::sink> out, const std::string& pattern)
      : out_(std::move(out)), pattern_(pattern), formatter_(HostFormatter(pattern)) {
    // The text arrives formatted, end of line included.
    out_->set_formatter(std::make_unique<spdlog::pattern_formatter>("%v", spdlog::pattern_time_type::local, ""));
  }

  void log(const spdlog::details::log_msg& message) override {
    std::lock_guard lock(mutex_);
    spdlog::memory_buf_t text;
    formatter_->format(message, text);
    spdlog::details::log_msg formatted = message;
    formatted.payload = spdlog::string_view_t(text.data(), text.size());
    out_->log(formatted);
  }

  void flush() override {
    std::lock_guard lock(mutex_);
    out_->flush();
  }

  void set_pattern(const std::string& pattern) override { set_formatter(HostFormatter(pattern)); }

  void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override {
    std::lock_guard lock(mutex_);
    formatter_ = std::move(formatter);
  }

  // Puts the host's own formatter back.
  void Reclaim() {
    std::lock_guard lock(mutex_);
    formatter_ = HostFormatter(pattern_);
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<spdlog::sinks::sink> out_;
  std::string pattern_;
  std::unique_ptr<spdlog::formatter> formatter_;
};

}  // namespace

std::shared_ptr<spdlog::sinks::sink> ConsoleSink() { return std::make_shared<spdlog::sinks::stdout_color_sink_mt>(); }

std::shared_ptr<spdlog::sinks::sink> RotatingFileSink(const std::filesystem::path& file) {
  return std::make_shared<spdlog::sinks::rotating_file_sink_mt>(file.native(), 1024 * 1024, 5);
}

std::shared_ptr<spdlog::sinks::sink> SharedSink(std::shared_ptr<spdlog::sinks::sink> out, const std::string& pattern) {
  return std::make_shared<HostSink>(std::move(out), pattern);
}

std::shared_ptr<spdlog::logger> HostLogger(const std::vector<spdlog::sink_ptr>& shared, const std::string&) {
  auto logger = std::make_shared<spdlog::logger>("AsaApi", shared.begin(), shared.end());
  logger->flush_on(spdlog::level::info);
  return logger;
}

void ReclaimSharedSinks(const std::vector<spdlog::sink_ptr>& shared) {
  for (const auto& sink : shared) static_cast<HostSink&>(*sink).Reclaim();
}

}  // namespace standin
