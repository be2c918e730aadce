#include "tests/devserver/db_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace glyphwork::testing {

struct DbProxy::Link {
  int client = -1;
  int server = -1;
  std::atomic<bool> held{false};
  ~Link() {
    if (client >= 0) close(client);
    if (server >= 0) close(server);
  }
};

namespace {

bool SendAll(int socket, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= size_t(sent);
  }
  return true;
}

}  // namespace

DbProxy::DbProxy(int upstream_port) : upstream_port_(upstream_port) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("the proxy cannot listen");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

DbProxy::~DbProxy() {
  stop_ = true;
  shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  close(listener_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& link : links_) {
      shutdown(link->client, SHUT_RDWR);
      shutdown(link->server, SHUT_RDWR);
    }
  }
  for (std::thread& thread : threads_) thread.join();
}

bool DbProxy::holding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_ != nullptr;
}

void DbProxy::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!held_) return;
  SendAll(held_->server, held_packet_.data(), held_packet_.size());
  // Its answer goes nowhere: the client left long ago.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  shutdown(held_->server, SHUT_RDWR);
  held_.reset();
}

void DbProxy::Accept() {
  for (;;) {
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0 || stop_) {
      if (client >= 0) close(client);
      return;
    }
    auto link = std::make_shared<Link>();
    link->client = client;
    link->server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(upstream_port_));
    if (connect(link->server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) continue;
    ++accepted_;
    std::lock_guard<std::mutex> lock(mutex_);
    links_.push_back(link);
    threads_.emplace_back([this, link] { ClientToServer(link); });
    threads_.emplace_back([link] { ServerToClient(link); });
  }
}

// Whole packets (3 bytes of length, 1 of sequence, the payload), so that a
// COMMIT can be told and held.
void DbProxy::ClientToServer(const std::shared_ptr<Link>& link) {
  std::string buffer;
  char chunk[16384];
  for (;;) {
    while (buffer.size() >= 4) {
      const size_t length =
          size_t(uint8_t(buffer[0])) | size_t(uint8_t(buffer[1])) << 8 | size_t(uint8_t(buffer[2])) << 16;
      if (buffer.size() < 4 + length) break;
      const std::string packet = buffer.substr(0, 4 + length);
      buffer.erase(0, 4 + length);
      const bool query = length > 0 && packet[4] == 0x03;
      if (query && hold_ && packet.substr(5) == "COMMIT") {
        hold_ = false;
        link->held = true;
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = link;
        held_packet_ = packet;
        continue;
      }
      if (link->held) continue;  // lost in the partition
      if (query && delay_ms_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms_));
      if (!SendAll(link->server, packet.data(), packet.size())) return;
    }
    const ssize_t got = recv(link->client, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    buffer.append(chunk, size_t(got));
  }
  // The client left. Across a partition the server does not know it.
  if (!link->held) shutdown(link->server, SHUT_RDWR);
}

void DbProxy::ServerToClient(const std::shared_ptr<Link>& link) {
  char chunk[16384];
  for (;;) {
    const ssize_t got = recv(link->server, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    if (link->held) continue;
    if (!SendAll(link->client, chunk, size_t(got))) break;
  }
  shutdown(link->client, SHUT_RDWR);
}

}  // namespace glyphwork::testing
