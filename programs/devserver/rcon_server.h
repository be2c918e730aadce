// A Source RCON server on its own network thread. It reads packets, checks
// the password and hands every command to its owner as a Request; it never
// runs one itself. The owner runs requests on the game loop, one at a time,
// and answers each with Complete.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "programs/devserver/socket.h"

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
  struct Handlers {
    // Both run on the network thread: they must only hand their argument on.
    std::function<void(Request)> on_request;
    std::function<void(std::string)> on_notice;  // a line for the server's output
  };

  // Binds `address`:`port` (0: a free port) and starts the network thread.
  // Null on failure, with the reason in `error`. REQUIRES: a non-empty password.
  static std::unique_ptr<Server> Start(const std::string& address, int port, std::string password,
                                       Handlers handlers, std::string* error);
  // Stops the network thread and closes every connection.
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Where it listens, as "127.0.0.1:27020".
  std::string Address() const;

  // Any thread. Sends `replies` in order to the request's client (gone
  // clients are skipped) and ends the request; every Request gets one call.
  void Complete(uint64_t client, std::vector<Reply> replies);

  // Connections served at once; more are closed on arrival.
  static constexpr std::size_t kMaxClients = 16;
  // Requests of one client handed on and not yet completed; past it the
  // client is not read.
  static constexpr int kMaxQueuedRequests = 32;
  // Reply bytes waiting for a client that does not read; past it the
  // connection is closed.
  static constexpr std::size_t kMaxPendingOutput = 1 << 20;

 private:
  struct Client;
  struct Completion {
    uint64_t client;
    std::string bytes;
  };

  Server(net::Socket listener, std::string password, Handlers handlers);
  void Loop();
  void Accept();
  void ReadFrom(Client& client);
  void Parse(Client& client);
  void Handle(Client& client, int32_t id, int32_t type, std::string body);
  void WriteTo(Client& client);
  void Drop(Client& client, const std::string& reason);
  void TakeCompletions();

  net::Socket listener_;
  const std::string password_;
  const Handlers handlers_;
  net::Waker waker_;
  std::atomic<bool> stop_{false};
  std::vector<std::unique_ptr<Client>> clients_;  // network thread only
  uint64_t next_client_ = 1;

  std::mutex mutex_;
  std::vector<Completion> completions_;  // guarded by mutex_

  std::thread thread_;
};

}  // namespace rcon
