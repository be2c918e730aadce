// The host's sinks with spdlog 0.16.2, the live host's, which only the build
// in the live host's binary interface (Windows) uses: a logger formats each
// line itself and hands the text to its sinks, so the host shares its outputs
// as they are, as the live host does.
#include <spdlog/sinks/file_sinks.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/sinks/wincolor_sink.h>
#include <spdlog/spdlog.h>

#include "standin/host/host_sink.h"

namespace standin {

std::shared_ptr<spdlog::sinks::sink> ConsoleSink() {
  // The live host's colour sink writes to a console only: where standard
  // output is a file or a pipe, the lines go there as they are.
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return std::make_shared<spdlog::sinks::stdout_sink_mt>();
  return std::make_shared<spdlog::sinks::wincolor_stdout_sink_mt>();
}

std::shared_ptr<spdlog::sinks::sink> RotatingFileSink(const std::filesystem::path& file) {
  return std::make_shared<spdlog::sinks::rotating_file_sink_mt>(file.native(), 1024 * 1024, 5);
}

std::shared_ptr<spdlog::sinks::sink> SharedSink(std::shared_ptr<spdlog::sinks::sink> out, const std::string&) {
  return out;
}

std::shared_ptr<spdlog::logger> HostLogger(const std::vector<spdlog::sink_ptr>& shared, const std::string& pattern) {
  auto logger = std::make_shared<spdlog::logger>("AsaApi", shared.begin(), shared.end());
  logger->set_pattern(pattern, spdlog::pattern_time_type::local);
  logger->flush_on(spdlog::level::info);
  return logger;
}

void ReclaimSharedSinks(const std::vector<spdlog::sink_ptr>&) {}

}  // namespace standin
