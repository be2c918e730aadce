// A Source RCON server on its own network thread. It reads packets, checks
// the password and hands every command to its owner as a Request; it never
// runs one itself. The owner runs requests on the game loop, one at a time,
// and answers each with Complete.
//
// The port may face a hostile network: everything it keeps is bounded. A
// client that sends faster than the game loop runs its requests is no longer
// read until the game loop has taken some (TCP holds the rest), and it
// cannot leave more than kMaxPendingOutput of unread replies; failed logins slow down per address
// and are reported as a few lines per address and interval, never a line per
// guess; connections that do not log in are closed after kLoginTimeout and
// never take the places of logged-in ones.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rcon {

struct Request {
  enum class Kind {
    kCommand,  // run `command`, reply with its answers
    kEcho,     // a RESPONSE_VALUE from the client: answer one empty reply,
               // after the replies to every earlier request
  };
  uint64_t client = 0;
  Kind kind = Kind::kCommand;
  int32_t id = 0;
  std::string command;  // UTF-8 as the client sent it
};

struct Reply {
  int32_t id = 0;
  std::string text;  // UTF-8; split into packets as needed
};

class Server {
 public:
  // Logged-in connections served at once; a login past it is refused.
  static constexpr std::size_t kMaxClients = 16;
  // Connections not logged in yet, in places of their own, and at most
  // kMaxLoginsWaitingPerAddress of them from one address, so that one
  // address cannot keep the others out. A newcomer past its address's share
  // takes the place of one of that address; past kMaxLoginsWaiting, the
  // place of one that has not sent a whole login, or with none such it is
  // closed. The oldest of those that have sent nothing goes first, then of
  // those in the middle of a packet.
  static constexpr std::size_t kMaxLoginsWaiting = 16;
  static constexpr std::size_t kMaxLoginsWaitingPerAddress = 4;
  // Room for every place to be taken again at once.
  static constexpr int kListenBacklog = 2 * static_cast<int>(kMaxClients + kMaxLoginsWaiting);
  // A client's share of the game loop's queue: requests handed on and not
  // yet completed. With its share taken, the client is not read until one
  // is completed.
  static constexpr int kMaxQueuedRequests = 32;
  // Reply bytes waiting for a client that does not read; past it the
  // connection is closed.
  static constexpr std::size_t kMaxPendingOutput = 1 << 20;
  // A connection must log in within this, or it is closed.
  static constexpr std::chrono::seconds kLoginTimeout{5};
  // Wrong passwords on one connection before it is closed.
  static constexpr int kMaxFailuresPerConnection = 3;
  // After N consecutive failures from one address, no password from it is
  // checked for kFirstLoginDelay * 2^(N-1), at most kMaxLoginDelay. The first
  // failure is answered at once; the right password waits like any other
  // (an answer that came sooner would tell a guesser it was right).
  static constexpr std::chrono::milliseconds kFirstLoginDelay{250};
  static constexpr std::chrono::milliseconds kMaxLoginDelay{4000};
  // An address's failures are forgotten after this long without one.
  static constexpr std::chrono::minutes kForgetFailures{5};
  // Lines on connections that never logged in (wrong passwords, drops): the
  // first kLinesPerAddress of an address are shown as they happen, the rest
  // counted and reported as one line per address and kReportInterval.
  static constexpr int kLinesPerAddress = 5;
  static constexpr std::chrono::seconds kReportInterval{10};
  // How long a closing connection may take to read its last answers.
  static constexpr std::chrono::seconds kLingerTimeout{2};
  static constexpr std::chrono::seconds kDefaultIdleTimeout{600};

  struct Options {
    std::string address = "127.0.0.1";  // numeric IPv4 or IPv6
    int port = 0;                       // 0: a free port
    std::string password;               // REQUIRES: non-empty
    // A logged-in connection that sends nothing for this long, with nothing
    // of it in the game loop, is closed. Zero: never.
    std::chrono::seconds idle_timeout = kDefaultIdleTimeout;
  };

  struct Handlers {
    // Both run on the network thread and must only hand their argument on.
    // False when the owner has no room: the request waits, its client
    // unread, and is offered again within a tick; a notice is counted and the
    // count reported once there is room again.
    std::function<bool(Request)> on_request;
    std::function<bool(std::string)> on_notice;  // a line for the server's output
  };

  // Binds the address and port and starts the network thread. Null on
  // failure, with the reason in `error`.
  static std::unique_ptr<Server> Start(Options options, Handlers handlers, std::string* error);
  // Stops the network thread and closes every connection.
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Where it listens, as "127.0.0.1:27020" or "[::1]:27020".
  std::string Address() const;

  // Any thread. Sends `replies` in order to the request's client (gone
  // clients are skipped) and ends the request; every Request gets one call.
  void Complete(uint64_t client, std::vector<Reply> replies);

 private:
  struct Impl;
  explicit Server(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace rcon
