#include "programs/devserver/rcon_server.h"

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <map>
#include <optional>
#include <thread>
#include <unordered_map>

#include "programs/devserver/listener.h"
#include "programs/devserver/rcon_packet.h"

namespace rcon {

namespace {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

// Deadlines are checked this often: fine enough for limits of a second or more.
constexpr std::chrono::milliseconds kTick{100};
// Addresses whose failures are remembered; past it the longest quiet goes.
constexpr std::size_t kMaxAddresses = 4096;

// Looks at every byte whatever the first difference. REQUIRES: expected non-empty.
bool SamePassword(const std::string& given, const std::string& expected) {
  unsigned difference = given.size() != expected.size();
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(expected[i % expected.size()]);
  }
  return difference == 0;
}

Clock::duration LoginDelay(int failures) {
  if (failures <= 0) return Clock::duration::zero();
  std::chrono::milliseconds delay = Server::kFirstLoginDelay;
  for (int i = 1; i < failures && delay < Server::kMaxLoginDelay; ++i) delay *= 2;
  return std::min(delay, Server::kMaxLoginDelay);
}

std::string Name(const tcp::endpoint& endpoint) {
  const std::string address = endpoint.address().to_string();
  return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

struct Connection {
  explicit Connection(tcp::socket s) : socket(std::move(s)) {}

  uint64_t id = 0;
  tcp::socket socket;
  std::string address;  // the peer's address, without its port
  std::string peer;     // with it
  Clock::time_point connected;
  Clock::time_point last_packet;
  std::array<char, 8192> buffer;
  std::string input;    // at most one partial packet, then what one read brought
  std::string output;   // bytes not yet handed to a write
  std::string writing;  // bytes of the write in flight
  bool reading = false;
  // Whole packets wait in `input` until the client may hand on more: nothing
  // is read meanwhile, so TCP holds the rest and slows the client down.
  bool paused = false;
  bool logged_in = false;
  bool input_ended = false;  // the client sent all it will: close once answered
  int pending = 0;           // requests handed on and not completed
  int failures = 0;          // wrong passwords on this connection
  // A login held until its address may try again, and when that is.
  std::optional<Packet> waiting_login;
  Clock::time_point login_at;
  // Closing: nothing more is read into commands; what is in `output` still
  // goes out, then the connection waits (at most until close_by) for the
  // client to close, so that it reads its last answers.
  bool closing = false;
  bool sent_anything = false;
  Clock::time_point close_by;
  bool closed = false;
};

struct AddressRecord {
  int failures = 0;  // consecutive, over all its connections
  Clock::time_point last_failure;
  Clock::time_point unlock;  // no password of it is checked before this
  // The report interval: open from the first line until an interval passes
  // with nothing left unshown.
  bool reporting = false;
  Clock::time_point interval_start;
  int shown = 0;
  int64_t hidden_failures = 0;
  int64_t hidden_closes = 0;
};

}  // namespace

// Everything here runs on the network thread, but for Complete's post.
struct Server::Impl {
  using ConnectionPtr = std::shared_ptr<Connection>;

  Impl(Options o, Handlers h) : options(std::move(o)), handlers(std::move(h)) {}

  void Run() {
    Accept();
    Tick();
    io.run();
  }

  void Shutdown() {
    stopping = true;
    std::error_code ignored;
    acceptor.close(ignored);
    tick.cancel();
    retry.cancel();
    for (auto& [id, connection] : connections) {
      connection->closed = true;
      connection->socket.close(ignored);
    }
    connections.clear();
  }

  void Accept() {
    acceptor.async_accept([this](std::error_code error, tcp::socket socket) {
      if (stopping) return;
      if (error) {
        // Out of descriptors or the like: wait instead of spinning.
        retry.expires_after(kTick);
        retry.async_wait([this](std::error_code e) {
          if (!e && !stopping) Accept();
        });
        return;
      }
      Admit(std::move(socket));
      Accept();
    });
  }

  void Admit(tcp::socket socket) {
    std::error_code error;
    const tcp::endpoint endpoint = socket.remote_endpoint(error);
    if (error) return;  // gone already
    // Replies are whole packets written at once: nothing gains from waiting
    // to fill a segment, and a client that reads a reply to its end would
    // wait for a delayed acknowledgement.
    socket.set_option(tcp::no_delay(true), error);
    const Clock::time_point now = Clock::now();
    auto connection = std::make_shared<Connection>(std::move(socket));
    connection->id = next_id++;
    connection->address = endpoint.address().to_string();
    connection->peer = Name(endpoint);
    connection->connected = connection->last_packet = now;

    // Room for a connection not logged in, first within its address's share,
    // where the oldest of the address makes room; then in the places of all,
    // where another address's login is never pushed out. Either way those
    // that have sent nothing go first, then those in the middle of a packet.
    std::size_t waiting = 0, waiting_here = 0;
    Connection* room_here = nullptr;
    Connection* room_anywhere = nullptr;
    int rank_here = 0, rank_anywhere = 0;
    for (const auto& [id, c] : connections) {
      if (c->closing || c->logged_in) continue;
      const bool here = c->address == connection->address;
      ++waiting;
      waiting_here += here;
      const int rank = c->waiting_login ? 2 : !c->input.empty() || c->socket.available(error) > 0 ? 1 : 0;
      auto consider = [&](Connection*& best, int& best_rank) {
        if (best == nullptr || rank < best_rank || (rank == best_rank && c->connected < best->connected)) {
          best = c.get();
          best_rank = rank;
        }
      };
      if (here) consider(room_here, rank_here);
      if (rank < 2) consider(room_anywhere, rank_anywhere);
    }
    Connection* room = nullptr;
    if (waiting_here >= kMaxLoginsWaitingPerAddress) {
      room = room_here;
    } else if (waiting >= kMaxLoginsWaiting) {
      room = room_anywhere;
      if (room == nullptr) {
        connection->socket.close(error);
        ReportBeforeLogin(connection->address, "refused a connection from " + connection->peer + ": " +
                                                   std::to_string(waiting) + " logins waiting");
        return;
      }
    }
    if (room != nullptr) {
      Drop(*room, "a newer connection took its place before it logged in");
      Settle(connections[room->id]);
    }
    connections[connection->id] = connection;
    Read(connection);
  }

  void Read(const ConnectionPtr& c) {
    if (c->reading || c->closed || c->input_ended || (!c->closing && (c->waiting_login || c->paused))) return;
    c->reading = true;
    c->socket.async_read_some(asio::buffer(c->buffer), [this, c](std::error_code error, std::size_t n) {
      c->reading = false;
      if (c->closed || stopping) return;
      if (error) {
        c->input_ended = true;
        // A client that hangs up before its login is checked leaves nobody
        // to answer: it must not hold a place for the rest of the delay.
        if (!c->logged_in) c->waiting_login.reset();
        if (c->closing) {
          Destroy(*c);
        } else {
          Settle(c);
        }
        return;
      }
      if (!c->closing) {  // a closing connection's input is read and let go
        c->input.append(c->buffer.data(), n);
        Parse(*c);
        Settle(c);
      }
      Read(c);
    });
  }

  // Hands on the whole packets in `input` until one must wait (see Handle);
  // that one stays in `input`, read again when the client may go on.
  void Parse(Connection& c) {
    c.paused = false;
    while (!c.closing && !c.closed && !c.waiting_login) {
      ReadResult result = ReadPacket(c.input);
      if (result.status == ReadStatus::kIncomplete) return;
      if (result.status == ReadStatus::kMalformed) {
        Drop(c, result.error);
        return;
      }
      if (!Handle(c, std::move(result.packet))) {
        c.paused = true;
        return;
      }
      c.input.erase(0, result.consumed);
    }
  }

  // False when the packet must wait: its client's share of the game loop's
  // queue is taken, or the queue has no room at all. A logged-in client is
  // slowed down, never dropped, for sending fast.
  bool Handle(Connection& c, Packet packet) {
    const Clock::time_point now = Clock::now();
    c.last_packet = now;
    if (packet.type == kAuth) {
      const AddressRecord& record = Record(c.address, now);
      if (now < record.unlock) {
        c.waiting_login = std::move(packet);
        c.login_at = record.unlock;
        return true;
      }
      CheckLogin(c, packet, now);
      return true;
    }
    if (packet.type != kExecCommand && packet.type != kResponseValue) {
      Drop(c, "packet type " + std::to_string(packet.type) + " not accepted");
      return true;
    }
    if (!c.logged_in) {
      Drop(c, "command before login");
      return true;
    }
    if (c.pending >= kMaxQueuedRequests) return false;
    const auto kind = packet.type == kExecCommand ? Request::Kind::kCommand : Request::Kind::kEcho;
    if (!handlers.on_request({c.id, kind, packet.id, std::move(packet.body)})) return false;
    ++c.pending;
    return true;
  }

  void CheckLogin(Connection& c, const Packet& packet, Clock::time_point now) {
    AddressRecord& record = Record(c.address, now);
    // The answer is the AUTH_RESPONSE alone: some clients take any packet
    // before it as the answer.
    if (SamePassword(packet.body, options.password)) {
      record.failures = 0;
      record.unlock = now;
      if (!c.logged_in && LoggedIn() >= kMaxClients) {
        c.output += WritePacket(-1, kAuthResponse, "");
        Drop(c, std::to_string(kMaxClients) + " clients logged in already");
        return;
      }
      if (!c.logged_in) Notice("client " + std::to_string(c.id) + " logged in from " + c.peer);
      c.logged_in = true;
      c.output += WritePacket(packet.id, kAuthResponse, "");
      return;
    }
    if (c.logged_in) Notice("client " + std::to_string(c.id) + " logged out by a wrong password");
    c.logged_in = false;
    ++c.failures;
    ++record.failures;
    record.last_failure = now;
    record.unlock = now + LoginDelay(record.failures);
    c.output += WritePacket(-1, kAuthResponse, "");
    ReportBeforeLogin(c.address, "client " + std::to_string(c.id) + " (" + c.peer + ") wrong password", true);
    if (c.failures >= kMaxFailuresPerConnection) {
      Drop(c, std::to_string(c.failures) + " wrong passwords");
    } else if (now >= c.connected + kLoginTimeout) {
      Drop(c, "not logged in within " + std::to_string(kLoginTimeout.count()) + " s");
    }
  }

  // Writes what is waiting; ends a connection whose client is done.
  void Settle(const ConnectionPtr& c) {
    if (c->closed) return;
    if (c->writing.empty() && !c->output.empty()) {
      c->writing.swap(c->output);
      c->sent_anything = true;
      asio::async_write(c->socket, asio::buffer(c->writing), [this, c](std::error_code error, std::size_t) {
        c->writing.clear();
        if (c->closed || stopping) return;
        if (error) {
          if (c->logged_in && !c->closing) Notice("client " + std::to_string(c->id) + " disconnected");
          Destroy(*c);
          return;
        }
        Settle(c);
      });
      return;
    }
    if (!c->writing.empty()) return;
    if (c->closing) {
      std::error_code ignored;
      // Lingers only where an answer went out: the client closes once it has
      // read it, and a close with unread input would reset the connection
      // and lose that answer on the way.
      if (!c->sent_anything || c->input_ended) {
        Destroy(*c);
        return;
      }
      c->socket.shutdown(tcp::socket::shutdown_send, ignored);
      Read(c);
      return;
    }
    if (c->input_ended && c->pending == 0 && !c->waiting_login) {
      if (c->logged_in) Notice("client " + std::to_string(c->id) + " disconnected");
      Destroy(*c);
    }
  }

  // Starts closing: every later packet is ignored, what is in `output` still
  // goes out. Settle finishes it.
  void Drop(Connection& c, const std::string& reason) {
    if (c.closing || c.closed) return;
    c.closing = true;
    c.close_by = Clock::now() + kLingerTimeout;
    c.waiting_login.reset();
    if (c.logged_in) {
      Notice("client " + std::to_string(c.id) + " dropped: " + reason);
    } else {
      ReportBeforeLogin(c.address, "client " + std::to_string(c.id) + " (" + c.peer + ") dropped: " + reason);
    }
  }

  void Destroy(Connection& c) {
    if (c.closed) return;
    c.closed = true;
    std::error_code ignored;
    c.socket.close(ignored);
    connections.erase(c.id);  // last: it may hold the last reference to c
  }

  void Completed(uint64_t client, std::string bytes) {
    const auto it = connections.find(client);
    if (it == connections.end()) return;
    const ConnectionPtr c = it->second;
    --c->pending;
    if (c->closing) return;
    c->output += bytes;
    if (c->output.size() + c->writing.size() > kMaxPendingOutput) {
      c->output.clear();
      Drop(*c, "not reading its replies");
    }
    Resume(c);
  }

  // Hands on what waited in `input`, writes, reads on.
  void Resume(const ConnectionPtr& c) {
    Parse(*c);
    Settle(c);
    Read(c);
  }

  void Tick() {
    const Clock::time_point now = Clock::now();
    std::vector<ConnectionPtr> all;
    all.reserve(connections.size());
    for (const auto& [id, c] : connections) all.push_back(c);
    for (const ConnectionPtr& c : all) {
      if (c->closed) continue;
      if (c->closing) {
        if (now >= c->close_by) Destroy(*c);
        continue;
      }
      if (c->waiting_login) {
        if (now < c->login_at) continue;
        const Packet login = std::move(*c->waiting_login);
        c->waiting_login.reset();
        CheckLogin(*c, login, now);
        Resume(c);
      } else if (c->paused) {
        Resume(c);  // the game loop's queue may have room again
      } else if (!c->logged_in && now >= c->connected + kLoginTimeout) {
        Drop(*c, "not logged in within " + std::to_string(kLoginTimeout.count()) + " s");
        Settle(c);
      } else if (c->logged_in && options.idle_timeout.count() > 0 && c->pending == 0 && c->writing.empty() &&
                 now >= c->last_packet + options.idle_timeout) {
        Drop(*c, "idle for " + std::to_string(options.idle_timeout.count()) + " s");
        Settle(c);
      }
    }
    Report(now);
    tick.expires_after(kTick);
    tick.async_wait([this](std::error_code error) {
      if (!error && !stopping) Tick();
    });
  }

  std::size_t LoggedIn() const {
    std::size_t n = 0;
    for (const auto& [id, c] : connections) n += c->logged_in && !c->closing;
    return n;
  }

  AddressRecord& Record(const std::string& address, Clock::time_point now) {
    auto it = addresses.find(address);
    if (it == addresses.end()) {
      if (addresses.size() >= kMaxAddresses) Forget(now);
      it = addresses.emplace(address, AddressRecord{}).first;
    }
    AddressRecord& record = it->second;
    if (record.failures > 0 && now - record.last_failure > kForgetFailures) record.failures = 0;
    return record;
  }

  // Makes room in the address table: the quiet ones go, else the longest quiet.
  void Forget(Clock::time_point now) {
    std::erase_if(addresses, [&](const auto& entry) {
      return !entry.second.reporting && now - entry.second.last_failure > kForgetFailures;
    });
    if (addresses.size() < kMaxAddresses) return;
    auto quietest = addresses.begin();
    for (auto it = addresses.begin(); it != addresses.end(); ++it) {
      if (it->second.last_failure < quietest->second.last_failure) quietest = it;
    }
    addresses.erase(quietest);
  }

  // A line about a connection that is not logged in: shown while the
  // address has lines left in its interval, else counted for Report.
  void ReportBeforeLogin(const std::string& address, const std::string& line, bool wrong_password = false) {
    const Clock::time_point now = Clock::now();
    AddressRecord& record = Record(address, now);
    if (!record.reporting) {
      record.reporting = true;
      record.interval_start = now;
    }
    if (record.shown < kLinesPerAddress) {
      ++record.shown;
      Notice(line);
    } else if (wrong_password) {
      ++record.hidden_failures;
    } else {
      ++record.hidden_closes;
    }
  }

  // One line per address whose interval ended with lines unshown; an
  // address stays quiet (no lines shown as they happen) until an interval
  // passes with nothing to report.
  void Report(Clock::time_point now) {
    for (auto& [address, record] : addresses) {
      if (!record.reporting || now < record.interval_start + kReportInterval) continue;
      if (record.hidden_failures == 0 && record.hidden_closes == 0) {
        record.reporting = false;
        record.shown = 0;
        continue;
      }
      std::string line = address + ":";
      if (record.hidden_failures > 0) line += " " + std::to_string(record.hidden_failures) + " more wrong passwords";
      if (record.hidden_failures > 0 && record.hidden_closes > 0) line += ",";
      if (record.hidden_closes > 0) {
        line += " " + std::to_string(record.hidden_closes) + " more connections closed before login";
      }
      Notice(line + " in the last " + std::to_string(kReportInterval.count()) + " s");
      record.hidden_failures = record.hidden_closes = 0;
      record.interval_start = now;
    }
  }

  void Notice(std::string line) {
    if (lost_notices > 0) {
      if (!handlers.on_notice(std::to_string(lost_notices) + " lines not shown: the game loop was behind")) {
        ++lost_notices;
        return;
      }
      lost_notices = 0;
    }
    if (!handlers.on_notice(std::move(line))) ++lost_notices;
  }

  const Options options;
  const Handlers handlers;
  // Before everything that does I/O through it: destroyed last.
  asio::io_context io;
  tcp::acceptor acceptor{io};
  asio::steady_timer tick{io};
  asio::steady_timer retry{io};
  std::string address_name;
  std::map<uint64_t, ConnectionPtr> connections;
  std::unordered_map<std::string, AddressRecord> addresses;
  uint64_t next_id = 1;
  uint64_t lost_notices = 0;
  bool stopping = false;
  std::thread thread;
};

std::unique_ptr<Server> Server::Start(Options options, Handlers handlers, std::string* error) {
  if (options.password.empty()) {
    *error = "an RCON password is required";
    return nullptr;
  }
  std::error_code code;
  const asio::ip::address address = asio::ip::make_address(options.address, code);
  if (code) {
    *error = "bad address " + options.address;
    return nullptr;
  }
  if (options.port < 0 || options.port > 65535) {
    *error = "bad port " + std::to_string(options.port);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>(std::move(options), std::move(handlers));
  tcp::acceptor& acceptor = impl->acceptor;
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(impl->options.port));
  acceptor.open(endpoint.protocol(), code);
  if (!code) SetAddressRule(static_cast<std::intptr_t>(acceptor.native_handle()));
  if (!code) acceptor.bind(endpoint, code);
  if (!code) acceptor.listen(kListenBacklog, code);
  if (code) {
    *error = code.message();
    return nullptr;
  }
  impl->address_name = Name(impl->acceptor.local_endpoint(code));
  impl->thread = std::thread([raw = impl.get()] { raw->Run(); });
  return std::unique_ptr<Server>(new Server(std::move(impl)));
}

Server::Server(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Server::~Server() {
  asio::post(impl_->io, [raw = impl_.get()] { raw->Shutdown(); });
  impl_->thread.join();
}

std::string Server::Address() const { return impl_->address_name; }

void Server::Complete(uint64_t client, std::vector<Reply> replies) {
  std::string bytes;
  for (const Reply& reply : replies) bytes += WriteResponse(reply.id, reply.text);
  asio::post(impl_->io, [raw = impl_.get(), client, bytes = std::move(bytes)]() mutable {
    raw->Completed(client, std::move(bytes));
  });
}

}  // namespace rcon
