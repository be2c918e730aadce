#include "standin/host/host_sink.h"

#include <spdlog/pattern_formatter.h>

namespace standin {

namespace {

std::unique_ptr<spdlog::formatter> HostFormatter(const std::string& pattern) {
  return std::make_unique<spdlog::pattern_formatter>(pattern, spdlog::pattern_time_type::local);
}

}  // namespace

HostSink::HostSink(std::shared_ptr<spdlog::sinks::sink> out, const std::string& pattern)
    : out_(std::move(out)), pattern_(pattern), formatter_(HostFormatter(pattern)) {
  // The text arrives formatted, end of line included.
  out_->set_formatter(std::make_unique<spdlog::pattern_formatter>("%v", spdlog::pattern_time_type::local, ""));
}

void HostSink::log(const spdlog::details::log_msg& message) {
  std::lock_guard lock(mutex_);
  spdlog::memory_buf_t text;
  formatter_->format(message, text);
  spdlog::details::log_msg formatted = message;
  formatted.payload = spdlog::string_view_t(text.data(), text.size());
  out_->log(formatted);
}

void HostSink::flush() {
  std::lock_guard lock(mutex_);
  out_->flush();
}

void HostSink::set_pattern(const std::string& pattern) { set_formatter(HostFormatter(pattern)); }

void HostSink::set_formatter(std::unique_ptr<spdlog::formatter> formatter) {
  std::lock_guard lock(mutex_);
  formatter_ = std::move(formatter);
}

void HostSink::Reclaim() {
  std::lock_guard lock(mutex_);
  formatter_ = HostFormatter(pattern_);
}

}  // namespace standin
