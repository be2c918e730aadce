// A soak of the dev server's RCON port under what an exposed server meets:
// two players, four logged-in clients flooding ServerChat and reloads, one
// client guessing passwords as fast as it can, sixteen sockets that never
// log in, and a new client logging in every second; then the time of a
// reload at two pack sizes. It prints a report. It fails when the server
// stops serving (a command unanswered, a login that does not go through, an
// unclean quit), and with --strict also when memory is not flat or the
// larger reload costs more than 12 times the smaller one.
//
//   rcon_soak [--seconds N] [--emoji SMALL,LARGE] [--devserver FILE] [--strict]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

#include <fmt/format.h>

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
constexpr auto kLoginEvery = 1s;
// An answer slower than this counts as none: the server has stopped serving.
constexpr auto kAnswerWait = 30s;

struct Settings {
  int seconds = 60;
  int small_pack = 10000;
  int large_pack = 100000;
  std::string devserver = GLYPHWORK_DEVSERVER;
  bool strict = false;
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

// A connected loopback socket, or -1.
int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
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
        if (line.find("wrong password") != std::string_view::npos) failed_login_bytes_ += line.size() + 1;
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
    std::size_t offset = 0, sent = 0, received = 0;
    while (!stop) {
      pollfd p{fd, POLLIN | POLLOUT, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      if (p.revents & POLLOUT) {
        const ssize_t n = send(fd, batch.data() + offset, batch.size() - offset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN) break;
        if (n > 0) {
          sent += static_cast<std::size_t>(n);
          offset = (offset + static_cast<std::size_t>(n)) % batch.size();
        }
      }
      if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[65536];
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN)) break;
        if (n > 0) received += static_cast<std::size_t>(n);
      }
    }
    close(fd);
    out.sent += sent / packet_size;
    out.answered += received / answer_size;
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
  std::atomic<bool> stop{false};
  std::vector<Latencies> flooders(kFlooders);
  Guesses guesses;
  Logins logins;
  int idle_closed = 0;
  std::vector<std::thread> threads;
  for (auto& flooder : flooders) threads.emplace_back(Flood, server.port(), std::cref(stop), std::ref(flooder));
  std::this_thread::sleep_for(200ms);  // logged in before the others arrive
  threads.emplace_back(Guess, server.port(), std::cref(stop), std::ref(guesses));
  std::this_thread::sleep_for(200ms);  // the guesser connected before the idle sockets take what is left
  threads.emplace_back(Idle, server.port(), std::cref(stop), std::ref(idle_closed));
  threads.emplace_back(LogIn, server.port(), std::cref(stop), std::ref(logins));

  const auto start = Clock::now();
  const auto checkpoint = std::min<Clock::duration>(10s, std::chrono::seconds(settings.seconds) / 3);
  std::this_thread::sleep_until(start + checkpoint);
  const double rss_checkpoint = RssMb(server.pid());
  std::this_thread::sleep_until(start + std::chrono::seconds(settings.seconds));
  const double rss_end = RssMb(server.pid());
  const uint64_t out_bytes = server.OutBytes(), failed_login_bytes = server.FailedLoginBytes();
  stop = true;
  for (auto& thread : threads) thread.join();
  const double elapsed = Seconds(Clock::now() - start);
  const std::string quit = server.Quit(60s);

  bool serving = server.Clean() && logins.succeeded == logins.tried && logins.tried > 0;
  fmt::print("soak: {} s; 2 players, {} clients flooding ServerChat and reloads, 1 password guesser, {} idle sockets\n",
             settings.seconds, kFlooders, kIdleSockets);
  for (std::size_t i = 0; i < flooders.size(); ++i) {
    Latencies& f = flooders[i];
    fmt::print(
        "  client {}: {} commands answered, {:.0f}/s, p50 {:.2f} ms, p99 {:.2f} ms, max {:.2f} ms, {} unanswered\n",
        i + 1, f.micros.size(), f.micros.size() / elapsed, f.Percentile(0.5), f.Percentile(0.99), f.Percentile(1.0),
        f.unanswered);
    serving = serving && f.unanswered == 0 && !f.micros.empty();
  }
  fmt::print("  guesser: {} wrong passwords sent on {} connections, {} answered\n", guesses.sent, guesses.connections,
             guesses.answered);
  fmt::print("  idle sockets: {} closed by the server\n", idle_closed);
  fmt::print("  new client every {} s: {} of {} logged in, slowest {:.2f} s{}\n", kLoginEvery.count(), logins.succeeded,
             logins.tried, logins.slowest, logins.failure.empty() ? "" : "; last failure: " + logins.failure);
  const bool flat = rss_end - rss_checkpoint <= 10.0;
  fmt::print("  RSS: start {:.1f} MB, at {} s {:.1f} MB, end {:.1f} MB ({})\n", rss_start,
             std::chrono::duration_cast<std::chrono::seconds>(checkpoint).count(), rss_checkpoint, rss_end,
             flat ? "flat" : "growing");
  fmt::print("  stdout: {} bytes, {} of them on failed logins\n", out_bytes, failed_login_bytes);
  fmt::print("  quit: {}\n", quit);
  return serving && (!settings.strict || flat);
}

// A server folder whose only pack has `emoji` emoji, each with its texture.
void MakePackServer(const fs::path& root, int emoji) {
  MakeExampleServer(root);
  const fs::path packs = root / "ArkApi/Plugins/Glyphwork/Packs";
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
    } else {
      std::cerr << "usage: rcon_soak [--seconds N] [--emoji SMALL,LARGE] [--devserver FILE] [--strict]\n";
      return 2;
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
