// A Source RCON server on its own network thread. It reads packets, checks
// the password and hands every command to its owner as a Request; it never
// runs one itself. The owner runs requests on the game loop, one at a time,
// and answers each with Complete.
//
// The port may face a hostile network: everything it keeps is bounded, and
// so is everything it prints. A client that sends faster than the game loop
// runs its requests is no longer read until the game loop has taken some (TCP
// holds the rest); no client leaves more than kMaxPendingOutput unread.
// Password checks slow down per address and are held to a rate over all
// addresses; lines on failed logins are a few per address and interval, and
// a few in all. Connections that have not logged in, logins held back and
// connections closing each have places of their own, so none of them keeps a
// logged-in client or a clean address out.
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
  // Connections that have not sent a whole login yet, in places of their
  // own, at most kMaxConnectingPerAddress of them from one address. A
  // newcomer always gets a place: past its address's share it takes the place
  // of one of that address, past kMaxConnecting the place of any. Those that
  // have sent nothing go first, oldest first, then those in the middle of a
  // packet.
  static constexpr std::size_t kMaxConnecting = 16;
  static constexpr std::size_t kMaxConnectingPerAddress = 4;
  // Logins held back (by their address's delay or by kPasswordChecksPerSecond),
  // in places of their own: kMaxLoginsHeld for the trusted addresses (see
  // kTrustedAddresses) and as many for all others, at most
  // kMaxLoginsHeldPerAddress from one address. Past its address's share, the
  // oldest held login of the address goes; past the places, the oldest of the
  // address holding the most (the newcomer's own on a tie). It is closed at
  // once, unanswered, its password not checked. A held login whose client
  // hangs up ends likewise.
  static constexpr std::size_t kMaxLoginsHeld = 16;
  static constexpr std::size_t kMaxLoginsHeldPerAddress = 4;
  // Connections closing (answered, waiting up to kLingerTimeout for the
  // client to read and close). Past it the oldest is reset at once.
  static constexpr std::size_t kMaxClosing = 64;
  // Room for every place to be taken again at once.
  static constexpr int kListenBacklog = 2 * static_cast<int>(kMaxClients + kMaxConnecting + kMaxLoginsHeld);
  // A client's share of the game loop's queue: requests handed on and not
  // yet completed. With its share taken, the client is not read until one
  // is completed. An auth packet from a logged-in client waits likewise until
  // every earlier request is answered.
  static constexpr int kMaxQueuedRequests = 32;
  // Bytes queued for a client that does not read, answers to logins
  // included; past it the connection is closed.
  static constexpr std::size_t kMaxPendingOutput = 1 << 20;
  // A connection must log in within this, or it is closed; a login held back
  // is not closed for it while it waits.
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
  // Password checks over all addresses, as a bucket of this many that fills
  // at this rate: past it, logins wait in their held places for their turn,
  // so that guessing from many addresses gains nothing. Logins from the
  // kTrustedAddresses addresses that logged in last are not held to it
  // (their own delay still holds), so that a guesser cannot keep the
  // admins out.
  static constexpr int kPasswordChecksPerSecond = 32;
  static constexpr std::size_t kTrustedAddresses = 64;
  // Lines on connections that never logged in (wrong passwords, drops): the
  // first kLinesPerAddress of an address within kReportInterval are shown
  // as they happen, at most kLinesPerInterval of all addresses; the rest are
  // counted and reported at the end of the interval, as one line for each of
  // the kReportedAddresses addresses with the most and one for all others. An
  // address with lines counted stays quiet until an interval passes without.
  static constexpr int kLinesPerAddress = 5;
  static constexpr int kLinesPerInterval = 20;
  static constexpr std::size_t kReportedAddresses = 5;
  static constexpr std::chrono::seconds kReportInterval{10};
  // How long a closing connection may take to read its last answers.
  static constexpr std::chrono::seconds kLingerTimeout{2};
  static constexpr std::chrono::seconds kDefaultIdleTimeout{600};

  struct Options {
    std::string address = "127.0.0.1";  // numeric IPv4 or IPv6
    int port = 0;                       // 0: a free port
    std::string password;               // REQUIRES: non-empty
    // A logged-in connection that sends nothing for this long, with nothing
    // of it in the game loop, is closed, whatever is still to be written to
    // it. Zero: never.
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
