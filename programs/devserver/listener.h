// The one thing about a listening socket that differs between platforms:
// how a restarted server gets its port back at once while no other program
// can share it. listener_posix.cpp and listener_windows.cpp; CMake picks one.
#pragma once

#include <asio/ip/tcp.hpp>
#include <system_error>

namespace rcon {

// Opens, binds and listens. On failure `error` is set and the acceptor is
// left closed.
void Listen(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& endpoint, int backlog,
            std::error_code& error);

}  // namespace rcon
