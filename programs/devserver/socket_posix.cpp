#include "programs/devserver/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

int Fd(Socket socket) { return static_cast<int>(socket); }

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string Name(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, host, sizeof host);
    return "[" + std::string(host) + "]:" + std::to_string(ntohs(v6.sin6_port));
  }
  const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
  inet_ntop(AF_INET, &v4.sin_addr, host, sizeof host);
  return std::string(host) + ":" + std::to_string(ntohs(v4.sin_port));
}

}  // namespace

Socket Listen(const std::string& address, int port, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0) {
    *error = "bad address " + address + ": " + gai_strerror(status);
    return kNoSocket;
  }
  const int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  if (fd < 0) {
    *error = std::strerror(errno);
    freeaddrinfo(found);
    return kNoSocket;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const bool ok = bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, 16) == 0 && SetNonBlocking(fd);
  freeaddrinfo(found);
  if (!ok) {
    *error = std::strerror(errno);
    close(fd);
    return kNoSocket;
  }
  return fd;
}

int LocalPort(Socket socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port)
                                       : ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
}

std::string LocalName(Socket socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return "?";
  return Name(address);
}

Socket Accept(Socket listener, std::string* peer) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int fd = accept4(Fd(listener), reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return kNoSocket;
  *peer = Name(address);
  return fd;
}

long Receive(Socket socket, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = recv(Fd(socket), buffer, size, 0);
    if (n > 0) return n;
    if (n == 0) return -1;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  }
}

long Send(Socket socket, const char* data, std::size_t size) {
  for (;;) {
    // A client that went away must not end the server with SIGPIPE.
    const ssize_t n = send(Fd(socket), data, size, MSG_NOSIGNAL);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  }
}

void Close(Socket socket) {
  if (socket != kNoSocket) close(Fd(socket));
}

Waker::Waker() {
  int fds[2];
  if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return;
  read_end_ = fds[0];
  write_end_ = fds[1];
}

Waker::~Waker() {
  Close(read_end_);
  Close(write_end_);
}

void Waker::Signal() {
  const char byte = 1;
  // A full pipe already wakes the reader: the lost byte does not matter.
  [[maybe_unused]] const ssize_t n = write(Fd(write_end_), &byte, 1);
}

void Waker::Drain() {
  char buffer[64];
  while (read(Fd(read_end_), buffer, sizeof buffer) > 0) {
  }
}

void Wait(std::vector<Watch>& watches, Waker& waker) {
  std::vector<pollfd> fds;
  fds.reserve(watches.size() + 1);
  fds.push_back({Fd(waker.read_end_), POLLIN, 0});
  for (const Watch& watch : watches) {
    fds.push_back({Fd(watch.socket), static_cast<short>((watch.want_read ? POLLIN : 0) | (watch.want_write ? POLLOUT : 0)), 0});
  }
  while (poll(fds.data(), fds.size(), -1) < 0 && errno == EINTR) {
  }
  if (fds[0].revents != 0) waker.Drain();
  for (std::size_t i = 0; i < watches.size(); ++i) {
    const short events = fds[i + 1].revents;
    const bool failed = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    watches[i].readable = watches[i].want_read && (failed || (events & POLLIN) != 0);
    watches[i].writable = watches[i].want_write && (failed || (events & POLLOUT) != 0);
  }
}

}  // namespace net
