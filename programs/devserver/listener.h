// The one thing about a listening socket that differs between platforms:
// how a restarted server gets its port back at once while no other program
// can share it. listener_posix.cpp and listener_windows.cpp; CMake picks one.
#pragma once

#include <cstdint>

namespace rcon {

// Sets that rule on an open socket not yet bound (its native handle). Best
// effort: without it the server still runs.
void SetAddressRule(std::intptr_t native_socket);

}  // namespace rcon
