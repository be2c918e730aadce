// The few services the plugin needs from the operating system itself. One
// implementation file per platform; the build compiles exactly one.
#pragma once

#include <Permissions.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

namespace spdlog::sinks {
class sink;
}

namespace glyphwork::platform {

// Full path of the plugin's own library file, found from an address inside it
// without changing the library's reference count.
std::wstring ModuleFilePath();

// The file a text of the host's names: GetCurrentDir's is in the system's
// ANSI code page on Windows, the file system's own bytes on Linux.
std::filesystem::path PathFromHostText(const std::string& text);

// Permissions::IsPlayerInGroup from the host's permissions library, bound by
// the name the library exports it under, loading the library if need be.
// Null when it cannot be bound; `error` then says why.
using IsPlayerInGroupFn = decltype(&Permissions::IsPlayerInGroup);
IsPlayerInGroupFn BindIsPlayerInGroup(std::string* error);

// The sink of the plugin's console lines: the colour console on standard
// output, or where standard output is no console (a file, a pipe) plain text
// to it, so that the lines are not lost.
std::shared_ptr<spdlog::sinks::sink> ConsoleSink();

// The local time of `time`.
std::tm LocalTime(std::time_t time);

// Seconds since 1970-01-01 00:00 UTC, from the system's clock. A host that
// exports `long long StandInClockShiftSeconds()` (the stand-in host, so that
// tests can move its clock by days) has its shift added; the live host has
// no such export. May run on any thread; cheap enough for every message.
int64_t UtcSecondsNow();

}  // namespace glyphwork::platform
