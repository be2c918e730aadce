// The few socket operations the RCON server needs, behind one seam: this
// header is the whole interface, socket_posix.cpp the only file with socket
// calls (a Windows port adds socket_windows.cpp). Every socket is
// non-blocking; nothing here raises a signal or throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// A listening TCP socket on `address` (numeric IPv4 or IPv6) and `port`
// (0: any free port). kNoSocket on failure, with the reason in `error`.
Socket Listen(const std::string& address, int port, std::string* error);
// The port a socket is bound to, and its local address as "a.b.c.d:port" or
// "[v6]:port".
int LocalPort(Socket socket);
std::string LocalName(Socket socket);

// A waiting connection, or kNoSocket when none is waiting. `peer` gets the
// remote address in the form of LocalName.
Socket Accept(Socket listener, std::string* peer);

// Bytes moved (> 0), 0 when nothing can move now, -1 when the connection is
// closed or failed.
long Receive(Socket socket, char* buffer, std::size_t size);
long Send(Socket socket, const char* data, std::size_t size);

void Close(Socket socket);

struct Watch {
  Socket socket = kNoSocket;
  bool want_read = true;
  bool want_write = false;
  // Out, only where wanted: the socket can be read or written, or has closed
  // or failed (the next Receive or Send says which).
  bool readable = false;
  bool writable = false;
};

// Wakes a Wait from another thread.
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;
  bool Ok() const { return read_end_ != kNoSocket; }
  // Any thread.
  void Signal();

 private:
  friend void Wait(std::vector<Watch>& watches, Waker& waker);
  void Drain();
  Socket read_end_ = kNoSocket;
  Socket write_end_ = kNoSocket;
};

// Blocks until a watched socket is ready or the waker is signalled.
void Wait(std::vector<Watch>& watches, Waker& waker);

}  // namespace net
