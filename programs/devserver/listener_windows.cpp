#include "programs/devserver/listener.h"

#include <winsock2.h>

namespace rcon {

namespace {

// Windows lets a new listener bind a port in TIME_WAIT anyway; its
// SO_REUSEADDR would let another program take the port as well.
class ExclusiveAddressUse {
 public:
  template <typename Protocol>
  int level(const Protocol&) const {
    return SOL_SOCKET;
  }
  template <typename Protocol>
  int name(const Protocol&) const {
    return SO_EXCLUSIVEADDRUSE;
  }
  template <typename Protocol>
  const int* data(const Protocol&) const {
    return &value_;
  }
  template <typename Protocol>
  std::size_t size(const Protocol&) const {
    return sizeof value_;
  }

 private:
  int value_ = 1;
};

}  // namespace

void Listen(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& endpoint, int backlog,
            std::error_code& error) {
  acceptor.open(endpoint.protocol(), error);
  if (!error) acceptor.set_option(ExclusiveAddressUse(), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(backlog, error);
  if (error) {
    std::error_code ignored;
    acceptor.close(ignored);
  }
}

}  // namespace rcon
