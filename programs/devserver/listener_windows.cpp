#include "programs/devserver/listener.h"

#include <winsock2.h>

namespace rcon {

void SetAddressRule(std::intptr_t native_socket) {
  // Windows lets a new listener bind a port in TIME_WAIT anyway; its
  // SO_REUSEADDR would let another program take the port as well.
  const BOOL on = TRUE;
  setsockopt(static_cast<SOCKET>(native_socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
}

}  // namespace rcon
