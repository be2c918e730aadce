// A soak of the dev server's RCON port under what an exposed server meets:
// two players, four logged-in clients flooding ServerChat and reloads, one
// writing thousands of commands without waiting for their answers, one
// client guessing passwords as fast as it can, one guessing from thousands
// of addresses in turn, eight addresses holding logins back on their delay,
// a logged-in client sending logins and reading nothing, sixteen sockets
// that never log in, and a new client logging in every second; then the
// time of a reload at two pack sizes. It prints a report. It fails when the
// server stops serving (a command unanswered, a pipelined answer missing or
// out of order, a login that does not go through, an unclean quit), and with
// --strict also when memory is not flat or the larger reload costs more than
// 12 times the smaller one.
//
//   rcon_soak [--seconds N] [--emoji SMALL,LARGE] [--devserver FILE] [--strict] [--attackers LIST]
#include <arpa/inet.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "common/regex.h"
#include "tests/devserver/process.h"
#include "tests/devserver/rcon_client.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string kPassword = "soak password";
constexpr int kFlooders = 4;
constexpr int kIdleSockets = 16;
// Commands a pipelining client writes without waiting for their answers.
constexpr int kPipelined = 5000;
// Addresses a rotating guesser goes through, twice what the server remembers.
constexpr int kRotatingAddresses = 8192;
constexpr std::array<const char*, 6> kAttackers = {"pipelining", "guesser",      "idle",
                                                   "rotating",   "holding-back", "login-flood"};
constexpr auto kLoginEvery = 1s;
// An answer slower than this counts as none: the server has stopped serving.
constexpr auto kAnswerWait = 30s;

struct Settings {
  int seconds = 60;
  int small_pack = 10000;
  int large_pack = 100000;
  std::string devserver = GLYPHWORK_DEVSERVER;
  bool strict = false;
  // Those that run beside the flooding clients and the new client every
  // second; all by default.
  std::set<std::string> attackers = {kAttackers.begin(), kAttackers.end()};
  bool Runs(const std::string& attacker) const { return attackers.contains(attacker); }
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Resident memory of a process in MB, or -1.
double RssMb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return -1;
}

// Open descriptors of a process, or -1.
int Descriptors(int pid) {
  std::error_code error;
  fs::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
  return error ? -1 : static_cast<int>(std::distance(fs::begin(fds), fs::end(fds)));
}

// A socket connected to 127.0.0.1 from the loopback address `from`, with
// SO_RCVBUF set to `receive_buffer` first when above 0; or -1.
int Connect(int port, const std::string& from = "127.0.0.1", int receive_buffer = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
      connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    return fd;
  }
  if (fd >= 0) close(fd);
  return -1;
}

// The bytes that have arrived on `fd` by now, without waiting.
std::size_t Received(int fd) {
  std::size_t total = 0;
  char buffer[65536];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) total += static_cast<std::size_t>(n);
  return total;
}

// Lines about connections that did not log in: each of them, and the counts
// of those not shown.
bool AboutFailedLogins(std::string_view line) {
  for (const char* mark : {") wrong password", ") dropped: ", "more wrong passwords", "closed before login",
                           "waited for their turn", "refused a connection"}) {
    if (line.find(mark) != std::string_view::npos) return true;
  }
  return false;
}

// The dev server on a fresh server folder, RCON on a free port, its output
// read and counted on a thread of its own so that it never waits on a pipe.
class DevServer {
 public:
  DevServer(const Settings& settings, const fs::path& root)
      : child_({settings.devserver, "--root", root.string(), "--rcon-port", "0", "--rcon-password", kPassword}) {
    bool found = false;
    const std::regex listening(R"(\[rcon\] listening on 127\.0\.0\.1:(\d+))");
    child_.ReadUntil(
        [&](const std::string& line) {
          std::smatch match;
          if (!std::regex_match(line, match, listening)) return false;
          port_ = std::stoi(match[1].str());
          return true;
        },
        &found, 60s);
    drain_ = std::thread([this] { Drain(); });
  }

  ~DevServer() {
    if (!ended_) Quit(5s);
  }

  int port() const { return port_; }
  int pid() const { return child_.pid(); }
  void Send(const std::string& line) { child_.Send(line); }
  uint64_t OutBytes() const { return out_bytes_; }
  uint64_t FailedLoginBytes() const { return failed_login_bytes_; }

  // Quits, killing the server after `wait`; how it ended.
  std::string Quit(std::chrono::seconds wait) {
    child_.Send("unload");
    child_.Send("quit");
    const auto deadline = Clock::now() + wait;
    while (!ended_ && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
    if (!ended_) kill(child_.pid(), SIGKILL);
    drain_.join();
    int exit_code = -1;
    child_.ReadToEnd(&exit_code, 5s);
    std::lock_guard lock(mutex_);
    clean_ = exit_code == 0 && last_line_ == "[game] live allocations: 0";
    return fmt::format("exit {}, last line \"{}\"", exit_code, last_line_);
  }
  bool Clean() const { return clean_; }

 private:
  void Drain() {
    std::string chunk, partial;
    while (child_.ReadSome(&chunk, 200ms)) {
      partial += chunk;
      chunk.clear();
      std::size_t start = 0;
      for (std::size_t end; (end = partial.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string_view line(partial.data() + start, end - start);
        out_bytes_ += line.size() + 1;
        if (AboutFailedLogins(line)) failed_login_bytes_ += line.size() + 1;
        if (line.find("live allocations") != std::string_view::npos) {
          std::lock_guard lock(mutex_);
          last_line_ = line;
        }
      }
      partial.erase(0, start);
    }
    ended_ = true;
  }

  ChildProcess child_;
  int port_ = 0;
  std::thread drain_;
  std::atomic<uint64_t> out_bytes_{0};
  std::atomic<uint64_t> failed_login_bytes_{0};
  std::atomic<bool> ended_{false};
  std::mutex mutex_;
  std::string last_line_;  // guarded by mutex_
  bool clean_ = false;
};

struct Latencies {
  std::vector<uint32_t> micros;
  int unanswered = 0;

  double Percentile(double p) {
    if (micros.empty()) return 0;
    std::sort(micros.begin(), micros.end());
    return micros[std::min(micros.size() - 1, static_cast<std::size_t>(p * micros.size()))] / 1000.0;
  }
};

// Nine ServerChats, then a reload, one command at a time.
void Flood(int port, const std::atomic<bool>& stop, Latencies& out) {
  std::unique_ptr<RconClient> client;
  for (int32_t id = 1; !stop; ++id) {
    if (!client || !client->Connected()) {
      client = std::make_unique<RconClient>(port);
      if (!client->Login(kPassword)) {
        ++out.unanswered;
        std::this_thread::sleep_for(100ms);
        continue;
      }
    }
    const std::string command = id % 10 == 0 ? "Glyphwork.Reload" : fmt::format("ServerChat soak {} :smile:", id);
    const auto start = Clock::now();
    client->Send(id, 2, command);
    const auto reply = client->Read(kAnswerWait);
    if (!reply || reply->id != id) {
      ++out.unanswered;
      client.reset();
      continue;
    }
    out.micros.push_back(
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count()));
  }
}

struct Pipelined {
  int rounds = 0;  // whole rounds, every answer in order
  uint64_t answered = 0;
  double seconds = 0;  // spent in rounds
  int failed = 0;
  std::string failure;  // the last one
};

// One round: a connection that logs in and writes kPipelined ServerChat
// commands as fast as the server takes them, reading the answers meanwhile;
// every answer must come, in order. Rounds follow each other until `stop`;
// the last one runs to its end.
void Pipeline(int port, const std::atomic<bool>& stop, Pipelined& out) {
  std::string bytes = EncodePacket(0, 3, kPassword);
  for (int id = 1; id <= kPipelined; ++id)
    bytes += EncodePacket(id, 2, fmt::format("ServerChat pipelined {} :smile:", id));
  while (!stop) {
    const auto start = Clock::now();
    const int fd = Connect(port);
    if (fd < 0) {
      ++out.failed;
      out.failure = "could not connect";
      std::this_thread::sleep_for(100ms);
      continue;
    }
    std::size_t sent = 0;
    std::string input;
    int32_t next = 0;  // the login's id, then every command's
    std::string failure;
    for (auto progress = start; next <= kPipelined && failure.empty();) {
      if (Clock::now() - progress > kAnswerWait) {
        failure = fmt::format("no answer for {} s", kAnswerWait.count());
        break;
      }
      pollfd p{fd, static_cast<short>(POLLIN | (sent < bytes.size() ? POLLOUT : 0)), 0};
      if (poll(&p, 1, 100) <= 0) continue;
      if (p.revents & POLLOUT) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) sent += static_cast<std::size_t>(n);
      }
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN)) {
        failure = "closed by the server";
        break;
      }
      if (n > 0) input.append(buffer, static_cast<std::size_t>(n));
      std::size_t at = 0;
      for (WirePacket packet; failure.empty() && ReadWirePacket(input, &at, &packet);) {
        if (packet.id != next) failure = fmt::format("answer {} where {} was due", packet.id, next);
        ++next;
        progress = Clock::now();
      }
      input.erase(0, at);
    }
    close(fd);
    const int answered = std::max(0, next - 1);
    out.answered += static_cast<uint64_t>(answered);
    out.seconds += Seconds(Clock::now() - start);
    if (failure.empty()) {
      ++out.rounds;
    } else {
      ++out.failed;
      out.failure = fmt::format("{} after {} answers", failure, answered);
    }
  }
}

struct Blasted {
  std::size_t sent = 0;
  std::size_t received = 0;
  bool closed = false;  // by the server
};

// Writes `batch` on `fd` over and over, as fast as the server takes it,
// until the server closes the connection or `stop`; reads what comes back
// only when `read`.
Blasted Blast(int fd, const std::string& batch, const std::atomic<bool>& stop, bool read) {
  Blasted out;
  for (std::size_t offset = 0; !stop && !out.closed;) {
    pollfd p{fd, static_cast<short>(POLLOUT | (read ? POLLIN : 0)), 0};
    if (poll(&p, 1, 100) <= 0) continue;
    if (p.revents & POLLOUT) {
      const ssize_t n = send(fd, batch.data() + offset, batch.size() - offset, MSG_NOSIGNAL | MSG_DONTWAIT);
      out.closed = n < 0 && errno != EAGAIN;
      if (n > 0) {
        out.sent += static_cast<std::size_t>(n);
        offset = (offset + static_cast<std::size_t>(n)) % batch.size();
      }
    }
    if (read && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
      char buffer[65536];
      const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      out.closed = out.closed || n == 0 || (n < 0 && errno != EAGAIN);
      if (n > 0) out.received += static_cast<std::size_t>(n);
    }
  }
  return out;
}

struct Guesses {
  uint64_t sent = 0;
  uint64_t answered = 0;
  int connections = 0;
};

// Wrong passwords written back to back, never waiting for an answer; a new
// connection whenever the server closes one.
void Guess(int port, const std::atomic<bool>& stop, Guesses& out) {
  std::string batch;
  for (int i = 0; i < 64; ++i) batch += EncodePacket(i, 3, "guess" + std::to_string(i));
  const std::size_t packet_size = batch.size() / 64;
  const std::size_t answer_size = EncodePacket(0, 2, "").size();
  while (!stop) {
    const int fd = Connect(port);
    if (fd < 0) {
      std::this_thread::sleep_for(10ms);
      continue;
    }
    ++out.connections;
    const Blasted blasted = Blast(fd, batch, stop, true);
    close(fd);
    out.sent += blasted.sent / packet_size;
    out.answered += blasted.received / answer_size;
  }
}

struct RotatingGuesses {
  uint64_t sent = 0;
  uint64_t answered = 0;
};

// One wrong password from each of kRotatingAddresses loopback addresses in
// turn, a new connection each, the latest 256 kept open: a guesser that the
// delay per address never meets. Paced a little, so that a burst past the
// listen backlog does not cost it a second per connection for a SYN sent again.
void Rotate(int port, const std::atomic<bool>& stop, RotatingGuesses& out) {
  const std::size_t answer_size = EncodePacket(0, 2, "").size();
  std::deque<int> open;
  auto hang_up = [&] {
    out.answered += Received(open.front()) / answer_size;
    close(open.front());
    open.pop_front();
  };
  for (int i = 0; !stop; ++i) {
    const int n = i % kRotatingAddresses;
    const int fd = Connect(port, fmt::format("127.2.{}.{}", n >> 8, n & 0xFF));
    if (fd < 0) continue;
    const std::string guess = EncodePacket(i, 3, "guess" + std::to_string(i));
    if (send(fd, guess.data(), guess.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(guess.size())) ++out.sent;
    open.push_back(fd);
    if (open.size() > 256) hang_up();
    std::this_thread::sleep_for(200us);
  }
  while (!open.empty()) hang_up();
}

struct HeldLogins {
  uint64_t connections = 0;
  uint64_t answered = 0;
};

// Eight addresses put on the login delay, each keeping four connections that
// send three wrong passwords at once; every second each address replaces its
// oldest connection with a fresh one.
void HoldLoginsBack(int port, const std::atomic<bool>& stop, HeldLogins& out) {
  const std::size_t answer_size = EncodePacket(0, 2, "").size();
  std::string three;
  for (int i = 0; i < 3; ++i) three += EncodePacket(i, 3, "wrong" + std::to_string(i));
  std::map<std::string, std::deque<int>> addresses;
  auto open = [&](const std::string& from) {
    const int fd = Connect(port, from);
    if (fd < 0) return;
    ++out.connections;
    send(fd, three.data(), three.size(), MSG_NOSIGNAL);
    addresses[from].push_back(fd);
  };
  auto hang_up = [&](std::deque<int>& fds) {
    out.answered += Received(fds.front()) / answer_size;
    close(fds.front());
    fds.pop_front();
  };
  for (int i = 2; i <= 9; ++i) {
    for (int k = 0; k < 4; ++k) open(fmt::format("127.0.0.{}", i));
  }
  while (!stop) {
    const auto start = Clock::now();
    for (auto& [from, fds] : addresses) {
      if (!fds.empty()) hang_up(fds);
      open(from);
    }
    while (!stop && Clock::now() < start + 1s) std::this_thread::sleep_for(50ms);
  }
  for (auto& [from, fds] : addresses) {
    while (!fds.empty()) hang_up(fds);
  }
}

struct AuthFlood {
  uint64_t sent = 0;
  int connections = 0;
  int closed_by_server = 0;
};

// A client that logs in, then sends the right password again and again and
// reads nothing, with a small receive buffer; a new one whenever the server
// closes it.
void FloodAuth(int port, const std::atomic<bool>& stop, AuthFlood& out) {
  std::string batch;
  for (int i = 0; i < 256; ++i) batch += EncodePacket(i, 3, kPassword);
  const std::size_t packet_size = batch.size() / 256;
  while (!stop) {
    const int fd = Connect(port, "127.0.0.1", 4096);
    if (fd < 0) {
      std::this_thread::sleep_for(10ms);
      continue;
    }
    ++out.connections;
    const Blasted blasted = Blast(fd, batch, stop, false);
    close(fd);
    out.closed_by_server += blasted.closed;
    out.sent += blasted.sent / packet_size;
  }
}

// Sockets that connect and say nothing; each reconnects when the server
// closes it.
void Idle(int port, const std::atomic<bool>& stop, int& closed_by_server) {
  std::vector<int> fds;
  while (!stop) {
    while (static_cast<int>(fds.size()) < kIdleSockets) {
      const int fd = Connect(port);
      if (fd < 0) break;
      fds.push_back(fd);
    }
    std::this_thread::sleep_for(100ms);
    for (int& fd : fds) {
      pollfd p{fd, POLLIN, 0};
      char byte;
      if (poll(&p, 1, 0) > 0 && recv(fd, &byte, 1, MSG_DONTWAIT) <= 0) {
        close(fd);
        fd = -1;
        ++closed_by_server;
      }
    }
    std::erase(fds, -1);
  }
  for (const int fd : fds) close(fd);
}

struct Logins {
  int tried = 0;
  int succeeded = 0;
  double slowest = 0;
  std::string failure;  // the last one
};

// A new client every kLoginEvery: connect, log in, list the players.
void LogIn(int port, const std::atomic<bool>& stop, Logins& out) {
  while (!stop) {
    const auto start = Clock::now();
    RconClient client(port);
    const char* failure = !client.Connected()        ? "could not connect"
                          : !client.Login(kPassword) ? "login not answered"
                          : client.Command("ListPlayers").value_or("").find("Ann") == std::string::npos
                              ? "ListPlayers not answered"
                              : nullptr;
    ++out.tried;
    if (failure == nullptr) {
      ++out.succeeded;
    } else {
      out.failure = fmt::format("{} after {:.2f} s", failure, Seconds(Clock::now() - start));
    }
    out.slowest = std::max(out.slowest, Seconds(Clock::now() - start));
    std::this_thread::sleep_until(start + kLoginEvery);
  }
}

// Returns whether the server kept serving throughout.
bool Soak(const Settings& settings) {
  TempFolder root;
  MakeExampleServer(root.path());
  DevServer server(settings, root.path());
  if (server.port() == 0) {
    std::cout << "the dev server did not start\n";
    return false;
  }
  server.Send("join Ann");
  server.Send("join Zoë");
  server.Send("group Zoë Emoji");
  std::this_thread::sleep_for(500ms);

  const double rss_start = RssMb(server.pid());
  const int descriptors_start = Descriptors(server.pid());
  std::atomic<bool> stop{false};
  std::vector<Latencies> flooders(kFlooders);
  Pipelined pipelined;
  Guesses guesses;
  RotatingGuesses rotating;
  HeldLogins held;
  AuthFlood auth_flood;
  Logins logins;
  int idle_closed = 0;
  std::vector<std::thread> threads;
  auto start_thread = [&](const char* attacker, auto function, auto& out) {
    if (attacker == nullptr || settings.Runs(attacker)) {
      threads.emplace_back(function, server.port(), std::cref(stop), std::ref(out));
    }
  };
  for (auto& flooder : flooders) start_thread(nullptr, Flood, flooder);
  start_thread("pipelining", Pipeline, pipelined);
  std::this_thread::sleep_for(200ms);  // logged in before the others arrive
  start_thread("guesser", Guess, guesses);
  std::this_thread::sleep_for(200ms);  // the guesser connected before the idle sockets take what is left
  start_thread("idle", Idle, idle_closed);
  start_thread("rotating", Rotate, rotating);
  start_thread("holding-back", HoldLoginsBack, held);
  start_thread("login-flood", FloodAuth, auth_flood);
  start_thread(nullptr, LogIn, logins);

  const auto start = Clock::now();
  const auto checkpoint = start + std::min<Clock::duration>(10s, std::chrono::seconds(settings.seconds) / 3);
  const auto end = start + std::chrono::seconds(settings.seconds);
  double rss_checkpoint = -1, rss_peak = rss_start;
  int descriptors_peak = descriptors_start;
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    if (rss_checkpoint < 0 && now >= checkpoint) rss_checkpoint = RssMb(server.pid());
    rss_peak = std::max(rss_peak, RssMb(server.pid()));
    descriptors_peak = std::max(descriptors_peak, Descriptors(server.pid()));
    std::this_thread::sleep_until(std::min(end, now + 100ms));
  }
  const double rss_end = RssMb(server.pid());
  const uint64_t out_bytes = server.OutBytes(), failed_login_bytes = server.FailedLoginBytes();
  stop = true;
  for (auto& thread : threads) thread.join();
  const double elapsed = Seconds(Clock::now() - start);
  const std::string quit = server.Quit(60s);

  bool serving = server.Clean() && logins.succeeded == logins.tried && logins.tried > 0;
  std::string attackers;
  for (const std::string& attacker : settings.attackers) attackers += (attackers.empty() ? "" : ", ") + attacker;
  fmt::print("soak: {} s; 2 players, {} clients flooding ServerChat and reloads, a new client every {} s; {}\n",
             settings.seconds, kFlooders, kLoginEvery.count(), attackers);
  for (std::size_t i = 0; i < flooders.size(); ++i) {
    Latencies& f = flooders[i];
    fmt::print(
        "  client {}: {} commands answered, {:.0f}/s, p50 {:.2f} ms, p99 {:.2f} ms, max {:.2f} ms, {} unanswered\n",
        i + 1, f.micros.size(), f.micros.size() / elapsed, f.Percentile(0.5), f.Percentile(0.99), f.Percentile(1.0),
        f.unanswered);
    serving = serving && f.unanswered == 0 && !f.micros.empty();
  }
  if (settings.Runs("pipelining")) {
    fmt::print("  pipelining client: {} rounds of {} commands, {} answered in order, {:.0f}/s, {} rounds failed{}\n",
               pipelined.rounds, kPipelined, pipelined.answered,
               pipelined.seconds > 0 ? pipelined.answered / pipelined.seconds : 0.0, pipelined.failed,
               pipelined.failure.empty() ? "" : "; last failure: " + pipelined.failure);
    serving = serving && pipelined.failed == 0 && pipelined.rounds > 0;
  }
  if (settings.Runs("guesser")) {
    fmt::print("  guesser: {} wrong passwords sent on {} connections, {} answered\n", guesses.sent, guesses.connections,
               guesses.answered);
  }
  if (settings.Runs("idle")) fmt::print("  {} idle sockets: {} closed by the server\n", kIdleSockets, idle_closed);
  if (settings.Runs("rotating")) {
    fmt::print("  rotating guesser: {} wrong passwords from {} addresses, {} answered ({:.1f}/s)\n", rotating.sent,
               kRotatingAddresses, rotating.answered, rotating.answered / elapsed);
  }
  if (settings.Runs("holding-back")) {
    fmt::print("  8 addresses holding logins back: {} connections of 3 wrong passwords each, {} answered\n",
               held.connections, held.answered);
  }
  if (settings.Runs("login-flood")) {
    fmt::print("  login flood unread: {} right passwords sent on {} connections, {} closed by the server\n",
               auth_flood.sent, auth_flood.connections, auth_flood.closed_by_server);
  }
  fmt::print("  new client every {} s: {} of {} logged in, slowest {:.2f} s{}\n", kLoginEvery.count(), logins.succeeded,
             logins.tried, logins.slowest, logins.failure.empty() ? "" : "; last failure: " + logins.failure);
  const bool flat = rss_end - rss_checkpoint <= 10.0;
  fmt::print("  RSS: start {:.1f} MB, at {} s {:.1f} MB, end {:.1f} MB ({}), peak {:.1f} MB\n", rss_start,
             std::chrono::duration_cast<std::chrono::seconds>(checkpoint - start).count(), rss_checkpoint, rss_end,
             flat ? "flat" : "growing", rss_peak);
  fmt::print("  descriptors: {} at the start, peak {}\n", descriptors_start, descriptors_peak);
  fmt::print("  stdout: {} bytes, {} of them on connections that did not log in\n", out_bytes, failed_login_bytes);
  fmt::print("  quit: {}\n", quit);
  return serving && (!settings.strict || flat);
}

// A server folder whose only pack has `emoji` emoji, each with its texture.
void MakePackServer(const fs::path& root, int emoji) {
  MakeExampleServer(root);
  const fs::path packs = root / "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/Packs";
  fs::remove_all(packs);
  fs::create_directories(packs);
  const fs::path content = root / "ShooterGame/Content/Emojis/Soak";
  fs::create_directories(content);
  std::string pack = R"({"EmojiPath": "/Game/Emojis/Soak/", "EmojiArray": [)";
  for (int i = 0; i < emoji; ++i) {
    const std::string name = "e" + std::to_string(i);
    pack += (i ? ",\"" : "\"") + name + "\"";
    std::ofstream(content / (name + ".uasset"));
  }
  std::ofstream(packs / "soak.json") << pack << "]}";
}

// The median of three reloads over RCON, in seconds; -1 when one failed.
double ReloadSeconds(const Settings& settings, int emoji) {
  TempFolder root;
  MakePackServer(root.path(), emoji);
  DevServer server(settings, root.path());
  RconClient client(server.port());
  if (!client.Login(kPassword)) return -1;
  std::vector<double> times;
  for (int32_t id = 1; id <= 3; ++id) {
    const auto start = Clock::now();
    client.Send(id, 2, "Glyphwork.Reload");
    const auto reply = client.Read(300s);
    if (!reply || reply->body != "Reloaded Config!") return -1;
    times.push_back(Seconds(Clock::now() - start));
  }
  server.Quit(60s);
  std::sort(times.begin(), times.end());
  return server.Clean() ? times[1] : -1;
}

bool Reloads(const Settings& settings) {
  const double small = ReloadSeconds(settings, settings.small_pack);
  const double large = ReloadSeconds(settings, settings.large_pack);
  const double ratio = small > 0 ? large / small : 0;
  fmt::print("reload: {} emoji {:.3f} s, {} emoji {:.3f} s ({:.1f} times)\n", settings.small_pack, small,
             settings.large_pack, large, ratio);
  return small > 0 && large > 0 && (!settings.strict || ratio <= 12.0 * settings.large_pack / settings.small_pack / 10);
}

int Usage() {
  std::cerr << "usage: rcon_soak [--seconds N] [--emoji SMALL,LARGE] [--devserver FILE] [--strict] [--attackers LIST]\n"
               "  LIST: some of";
  for (const char* attacker : kAttackers) std::cerr << " " << attacker;
  std::cerr << ", with commas between them (all by default)\n";
  return 2;
}

int Main(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--seconds" && has_value) {
      settings.seconds = std::stoi(argv[++i]);
    } else if (arg == "--emoji" && has_value) {
      const std::string value = argv[++i];
      settings.small_pack = std::stoi(value);
      settings.large_pack = std::stoi(value.substr(value.find(',') + 1));
    } else if (arg == "--devserver" && has_value) {
      settings.devserver = argv[++i];
    } else if (arg == "--strict") {
      settings.strict = true;
    } else if (arg == "--attackers" && has_value) {
      settings.attackers.clear();
      std::istringstream list(argv[++i]);
      for (std::string name; std::getline(list, name, ',');) {
        if (std::find(kAttackers.begin(), kAttackers.end(), name) == kAttackers.end()) return Usage();
        settings.attackers.insert(name);
      }
    } else {
      return Usage();
    }
  }
  const bool soak_ok = Soak(settings);
  const bool reloads_ok = Reloads(settings);
  if (!soak_ok || !reloads_ok) {
    std::cout << "soak failed\n";
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace glyphwork::testing

int main(int argc, char** argv) { return glyphwork::testing::Main(argc, argv); }
