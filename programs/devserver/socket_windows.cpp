#include <winsock2.h>
#include <ws2tcpip.h>

#include "programs/devserver/socket.h"

namespace net {

namespace {

SOCKET Handle(Socket socket) { return static_cast<SOCKET>(socket); }

// Winsock must be started once per process before the first socket call.
bool Started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

bool SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

std::string ErrorText(int code) { return "winsock error " + std::to_string(code); }

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

bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

}  // namespace

Socket Listen(const std::string& address, int port, std::string* error) {
  if (!Started()) {
    *error = "winsock could not start";
    return kNoSocket;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0) {
    *error = "bad address " + address + ": " + ErrorText(status);
    return kNoSocket;
  }
  const SOCKET socket = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  if (socket == INVALID_SOCKET) {
    *error = ErrorText(WSAGetLastError());
    freeaddrinfo(found);
    return kNoSocket;
  }
  // Windows' SO_REUSEADDR would let another program take the port too.
  const BOOL on = TRUE;
  setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  const bool ok = bind(socket, found->ai_addr, int(found->ai_addrlen)) == 0 && listen(socket, 16) == 0 &&
                  SetNonBlocking(socket);
  freeaddrinfo(found);
  if (!ok) {
    *error = ErrorText(WSAGetLastError());
    closesocket(socket);
    return kNoSocket;
  }
  return Socket(socket);
}

int LocalPort(Socket socket) {
  sockaddr_storage address{};
  int length = sizeof address;
  if (getsockname(Handle(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port)
                                       : ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
}

std::string LocalName(Socket socket) {
  sockaddr_storage address{};
  int length = sizeof address;
  if (getsockname(Handle(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return "?";
  return Name(address);
}

Socket Accept(Socket listener, std::string* peer) {
  sockaddr_storage address{};
  int length = sizeof address;
  const SOCKET socket = accept(Handle(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (socket == INVALID_SOCKET) return kNoSocket;
  if (!SetNonBlocking(socket)) {
    closesocket(socket);
    return kNoSocket;
  }
  *peer = Name(address);
  return Socket(socket);
}

long Receive(Socket socket, char* buffer, std::size_t size) {
  const int n = recv(Handle(socket), buffer, int(size), 0);
  if (n > 0) return n;
  if (n == 0) return -1;
  return WouldBlock() ? 0 : -1;
}

long Send(Socket socket, const char* data, std::size_t size) {
  const int n = send(Handle(socket), data, int(size), 0);
  if (n >= 0) return n;
  return WouldBlock() ? 0 : -1;
}

void Close(Socket socket) {
  if (socket != kNoSocket) closesocket(Handle(socket));
}

// Windows has no pipe that WSAPoll can watch: the waker is a UDP socket on
// loopback that sends to itself.
Waker::Waker() {
  if (!Started()) return;
  const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || !SetNonBlocking(socket)) {
    closesocket(socket);
    return;
  }
  read_end_ = write_end_ = Socket(socket);
}

Waker::~Waker() { Close(read_end_); }

void Waker::Signal() {
  const char byte = 1;
  send(Handle(write_end_), &byte, 1, 0);
}

void Waker::Drain() {
  char buffer[64];
  while (recv(Handle(read_end_), buffer, sizeof buffer, 0) > 0) {
  }
}

void Wait(std::vector<Watch>& watches, Waker& waker) {
  std::vector<WSAPOLLFD> fds;
  fds.reserve(watches.size() + 1);
  fds.push_back({Handle(waker.read_end_), POLLRDNORM, 0});
  for (const Watch& watch : watches) {
    fds.push_back({Handle(watch.socket),
                   static_cast<short>((watch.want_read ? POLLRDNORM : 0) | (watch.want_write ? POLLWRNORM : 0)), 0});
  }
  WSAPoll(fds.data(), ULONG(fds.size()), -1);
  if (fds[0].revents != 0) waker.Drain();
  for (std::size_t i = 0; i < watches.size(); ++i) {
    const short events = fds[i + 1].revents;
    const bool failed = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    watches[i].readable = watches[i].want_read && (failed || (events & POLLRDNORM) != 0);
    watches[i].writable = watches[i].want_write && (failed || (events & POLLWRNORM) != 0);
  }
}

}  // namespace net
