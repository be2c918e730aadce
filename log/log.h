// The plugin's two loggers: HostLog on the host's own sinks (error lines only)
// and ConsoleLog, coloured report lines on the server console.
#pragma once

#include <memory>
#include <string>

// Declared only: the logging library is the host's, and a file that logs
// includes it itself (programs that format text with another fmt keep the
// two apart).
namespace spdlog {
class logger;
}

namespace glyphwork {

inline constexpr const char* kConsoleLogName = "custom";

// The HostLog holder: empty until SetUpHostLog. Created on first use.
std::shared_ptr<spdlog::logger>& HostLog();

// Builds HostLog on copies of the host's sink pointers (sharing the sinks),
// pattern "%D %R [%n][%l] %v", flushed at every line.
void SetUpHostLog(const std::string& name);

// Creates ConsoleLog in the logging library's registry (colour console on
// standard output, pattern "%v"). Reuses a logger already registered under the
// name, so a second load in one process cannot fail here.
void SetUpConsoleLog();
// Removes ConsoleLog's name from the registry; the logger lives on until its
// last holder lets go. Called at unload.
void ReleaseConsoleLog();

// Console report lines: ESC "[" colour "m", local time "%m/%d/%y %H:%M", tag,
// the message unchanged, ESC "[0m". Never throw.
void PrintInfo(const std::string& message);
void PrintColored(const std::string& colour, const std::string& message);
void PrintError(const std::string& message);

}  // namespace glyphwork
