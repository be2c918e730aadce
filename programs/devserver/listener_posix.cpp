#include "programs/devserver/listener.h"

namespace rcon {

void Listen(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& endpoint, int backlog,
            std::error_code& error) {
  acceptor.open(endpoint.protocol(), error);
  // Connections of the previous run in TIME_WAIT must not keep the port.
  if (!error) acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(backlog, error);
  if (error) {
    std::error_code ignored;
    acceptor.close(ignored);
  }
}

}  // namespace rcon
