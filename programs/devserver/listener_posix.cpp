#include "programs/devserver/listener.h"

#include <sys/socket.h>

namespace rcon {

void SetAddressRule(std::intptr_t native_socket) {
  // Connections of the previous run in TIME_WAIT must not keep the port.
  const int on = 1;
  setsockopt(static_cast<int>(native_socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

}  // namespace rcon
