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

// Permissions::IsPlayerInGroup of the host's permissions library, found by
// the name the library exports it under, where the host loaded it; never
// loaded here. The library is a plugin the host may unload or load again at
// another address at any time between two calls of the game thread: the
// address is good until the game thread's current work ends. Null when the
// library is not loaded or lacks it; `error` then says why.
using IsPlayerInGroupFn = decltype(&Permissions::IsPlayerInGroup);
IsPlayerInGroupFn FindIsPlayerInGroup(std::string* error);

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

// Shuts a connected socket down both ways, from any thread: a thread blocked
// on it wakes with an error. The descriptor stays its owner's to close.
void ShutDownSocket(uint64_t socket);

}  // namespace glyphwork::platform
