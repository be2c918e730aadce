// A TCP proxy on loopback between a MariaDB client and its server that can
// play the network's faults: hold back a COMMIT as a partition would (the
// client's connection times out while the server's side stays open, the
// packet arriving later), or answer every statement slowly.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace glyphwork::testing {

class DbProxy {
 public:
  explicit DbProxy(int upstream_port);
  ~DbProxy();
  DbProxy(const DbProxy&) = delete;
  DbProxy& operator=(const DbProxy&) = delete;

  int port() const { return port_; }
  // Connections accepted so far.
  int connections() const { return accepted_; }

  // The next COMMIT a client sends is held back: nothing more of that
  // connection reaches the server, and when the client gives up, the
  // server's side stays open, as across a partition.
  void HoldNextCommit() { hold_ = true; }
  bool holding() const;
  // The held COMMIT goes on to the server; then its connection closes.
  void Release();
  // Each statement (COM_QUERY) waits this long before it goes on.
  void DelayStatements(std::chrono::milliseconds delay) { delay_ms_ = delay.count(); }

 private:
  struct Link;
  void Accept();
  void ClientToServer(const std::shared_ptr<Link>& link);
  static void ServerToClient(const std::shared_ptr<Link>& link);

  int upstream_port_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hold_{false};
  std::atomic<int> accepted_{0};
  std::atomic<long long> delay_ms_{0};
  mutable std::mutex mutex_;
  std::shared_ptr<Link> held_;
  std::string held_packet_;
  std::vector<std::shared_ptr<Link>> links_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};

}  // namespace glyphwork::testing
