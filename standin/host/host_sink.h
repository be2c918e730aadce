// The host's log sinks and its own logger. The live host shares its sinks
// with every plugin's logger; how a shared sink must be made depends on the
// logging library's series, so each series has its implementation:
// host_sink_spdlog1.cpp (Debian's spdlog 1.x) and host_sink_spdlog0.cpp (the
// live host's spdlog 0.16.2). CMake compiles the one in use.
#pragma once

#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace standin {

// The colour console on standard output, as the host writes its lines there.
std::shared_ptr<spdlog::sinks::sink> ConsoleSink();
// A rotating file of 1 MB, five files kept.
std::shared_ptr<spdlog::sinks::sink> RotatingFileSink(const std::filesystem::path& file);

// The sink the host hands plugins (GetLogSinks) for `out`, whose lines the
// host writes with `pattern`.
std::shared_ptr<spdlog::sinks::sink> SharedSink(std::shared_ptr<spdlog::sinks::sink> out, const std::string& pattern);
// The host's own logger on its shared sinks, flushed at every line.
std::shared_ptr<spdlog::logger> HostLogger(const std::vector<spdlog::sink_ptr>& shared, const std::string& pattern);
// Before a plugin's code goes: nothing of it may stay in the shared sinks.
void ReclaimSharedSinks(const std::vector<spdlog::sink_ptr>& shared);

}  // namespace standin
