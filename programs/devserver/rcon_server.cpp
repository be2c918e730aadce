#include "programs/devserver/rcon_server.h"

#include <algorithm>
#include <array>
#include <asio/error.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <deque>
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
// Addresses remembered (failures, lines shown); past it the longest quiet half
// goes. The limit on password checks over all addresses keeps guessing slow
// whatever is forgotten.
constexpr std::size_t kMaxAddresses = 4096;
// What a connection whose login is held may send meanwhile; reading on lets
// the server see at once a client that hangs up.
constexpr std::size_t kMaxHeldInput = 16 * (4 + kMaxPacketSize);

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
  // A login held back until its address may try again (login_at) and there
  // is a password check to spare; `held` orders held logins by arrival.
  std::optional<Packet> waiting_login;
  Clock::time_point login_at;
  uint64_t held = 0;
  bool held_as_trusted = false;
  bool counted_as_rate_held = false;
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
  Clock::time_point last_seen;
  // Lines in the current report interval: shown, and counted unshown.
  int shown = 0;
  bool quiet = false;  // had lines unshown in the last interval
  int64_t hidden_failures = 0;
  int64_t hidden_closes = 0;

  int64_t hidden() const { return hidden_failures + hidden_closes; }
};

// Password checks over all addresses: `rate` a second, and as many at once
// after a quiet second.
class CheckBucket {
 public:
  explicit CheckBucket(double rate) : rate_(rate), tokens_(rate) {}

  bool Take(Clock::time_point now) {
    tokens_ = std::min(rate_, tokens_ + rate_ * std::chrono::duration<double>(now - filled_).count());
    filled_ = now;
    if (tokens_ < 1) return false;
    tokens_ -= 1;
    return true;
  }

 private:
  const double rate_;
  double tokens_;
  Clock::time_point filled_ = Clock::now();
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
        // Out of descriptors: a closing connection gives its back at once.
        // Otherwise, or with none closing, wait instead of spinning.
        if (error == asio::error::no_descriptors && ResetOldestClosing(nullptr)) {
          Accept();
          return;
        }
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

    // A place among those that have not sent a whole login: within its
    // address's share, where the oldest of the address makes room, else
    // among all. Either way those that have sent nothing go first, then
    // those in the middle of a packet.
    std::size_t connecting = 0, connecting_here = 0;
    Connection* room_here = nullptr;
    Connection* room_anywhere = nullptr;
    int rank_here = 0, rank_anywhere = 0;
    for (const auto& [id, c] : connections) {
      if (c->closing || c->logged_in || c->waiting_login) continue;
      const bool here = c->address == connection->address;
      ++connecting;
      connecting_here += here;
      const int rank = !c->input.empty() || c->socket.available(error) > 0 ? 1 : 0;
      auto consider = [&](Connection*& best, int& best_rank) {
        if (best == nullptr || rank < best_rank || (rank == best_rank && c->connected < best->connected)) {
          best = c.get();
          best_rank = rank;
        }
      };
      if (here) consider(room_here, rank_here);
      consider(room_anywhere, rank_anywhere);
    }
    Connection* room = connecting_here >= kMaxConnectingPerAddress ? room_here
                       : connecting >= kMaxConnecting              ? room_anywhere
                                                                   : nullptr;
    if (room != nullptr) {
      Drop(*room, "a newer connection took its place before it logged in");
      Settle(connections[room->id]);
    }
    connections[connection->id] = connection;
    Read(connection);
  }

  void Read(const ConnectionPtr& c) {
    if (c->reading || c->closed || c->input_ended) return;
    if (!c->closing && (c->paused || (c->waiting_login && c->input.size() >= kMaxHeldInput))) return;
    c->reading = true;
    c->socket.async_read_some(asio::buffer(c->buffer), [this, c](std::error_code error, std::size_t n) {
      c->reading = false;
      if (c->closed || stopping) return;
      if (error) {
        c->input_ended = true;
        // A client that hangs up before its login is checked leaves nobody
        // to answer: its login ends here, unchecked and uncounted.
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
  // queue is taken, the queue has no room at all, or it is a login that
  // must come after the replies before it. A logged-in client is slowed
  // down, never dropped, for sending fast.
  bool Handle(Connection& c, Packet packet) {
    const Clock::time_point now = Clock::now();
    c.last_packet = now;
    if (packet.type == kAuth) {
      if (c.logged_in) {
        // Its answer goes after the replies before it. A client logged in
        // knows the password: its checks need neither delay nor rate.
        if (c.pending > 0) return false;
        CheckLogin(c, packet, now);
        return true;
      }
      const auto record = addresses.find(c.address);
      const bool due = record == addresses.end() || now >= record->second.unlock;
      if (due && (Trusted(c.address) || (!HeldLoginsDue(now) && checks.Take(now)))) {
        CheckLogin(c, packet, now);
      } else {
        Hold(c, std::move(packet), due ? now : record->second.unlock);
      }
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

  // Holds the login of `c` back until `at` and a check to spare, in a place
  // for held logins: among those of the trusted addresses if its address is
  // one, so that others cannot crowd it out, else among all others. Past its
  // address's share, the oldest held login of the address goes; past the
  // places, the oldest of the address holding the most, its own first on a
  // tie (so that a newcomer from a new address goes itself).
  void Hold(Connection& c, Packet login, Clock::time_point at) {
    c.waiting_login = std::move(login);
    c.login_at = at;
    c.held = next_held++;
    c.held_as_trusted = Trusted(c.address);
    std::unordered_map<std::string, std::vector<Connection*>> held_by_address;
    std::size_t held = 0;
    for (const auto& [id, other] : connections) {
      if (!other->waiting_login || other->held_as_trusted != c.held_as_trusted) continue;
      held_by_address[other->address].push_back(other.get());
      ++held;
    }
    const std::vector<Connection*>* most = &held_by_address[c.address];
    std::string reason = std::to_string(kMaxLoginsHeldPerAddress) + " logins from its address held already";
    if (most->size() <= kMaxLoginsHeldPerAddress) {
      if (held <= kMaxLoginsHeld) return;
      for (const auto& [address, list] : held_by_address) {
        if (list.size() > most->size()) most = &list;
      }
      reason = std::to_string(kMaxLoginsHeld) + " logins held already, the most from its address";
    }
    Connection* oldest = *std::min_element(most->begin(), most->end(),
                                           [](const Connection* a, const Connection* b) { return a->held < b->held; });
    Drop(*oldest, reason);
    if (oldest != &c) Settle(connections.at(oldest->id));  // `c` is settled by its reader
  }

  // True when a held login is due and waits only for a check to spare: a
  // newcomer goes behind it.
  bool HeldLoginsDue(Clock::time_point now) const {
    for (const auto& [id, c] : connections) {
      if (Due(*c, now)) return true;
    }
    return false;
  }

  // A held login whose delay is over (a closing connection holds none: Drop
  // lets it go).
  static bool Due(const Connection& c, Clock::time_point now) { return c.waiting_login && now >= c.login_at; }

  // Checks the held logins that are due, the longest held first, while
  // there are checks to spare.
  void CheckHeldLogins(Clock::time_point now) {
    std::vector<ConnectionPtr> due;
    for (const auto& [id, c] : connections) {
      if (Due(*c, now)) due.push_back(c);
    }
    std::sort(due.begin(), due.end(), [](const ConnectionPtr& a, const ConnectionPtr& b) { return a->held < b->held; });
    for (const ConnectionPtr& c : due) {
      if (c->closed || c->closing || !c->waiting_login) continue;
      if (!Trusted(c->address) && !checks.Take(now)) {
        if (!c->counted_as_rate_held) ++rate_held;
        c->counted_as_rate_held = true;
        continue;
      }
      const Packet login = std::move(*c->waiting_login);
      c->waiting_login.reset();
      c->counted_as_rate_held = false;
      CheckLogin(*c, login, now);
      Resume(c);
    }
  }

  void CheckLogin(Connection& c, const Packet& packet, Clock::time_point now) {
    // The answer is the AUTH_RESPONSE alone: some clients take any packet
    // before it as the answer.
    if (SamePassword(packet.body, options.password)) {
      if (c.logged_in) {
        // Neither a new login nor a reason to let its address's guessers go
        // on sooner.
        Queue(c, WritePacket(packet.id, kAuthResponse, ""));
        return;
      }
      if (const auto record = addresses.find(c.address); record != addresses.end()) {
        record->second.failures = 0;
        record->second.unlock = now;
      }
      Trust(c.address);
      if (LoggedIn() >= kMaxClients) {
        Queue(c, WritePacket(-1, kAuthResponse, ""));
        Drop(c, std::to_string(kMaxClients) + " clients logged in already");
        return;
      }
      Notice("client " + std::to_string(c.id) + " logged in from " + c.peer);
      c.logged_in = true;
      Queue(c, WritePacket(packet.id, kAuthResponse, ""));
      return;
    }
    if (c.logged_in) Notice("client " + std::to_string(c.id) + " logged out by a wrong password");
    c.logged_in = false;
    ++c.failures;
    AddressRecord& record = Record(c.address, now);
    ++record.failures;
    record.last_failure = now;
    record.unlock = now + LoginDelay(record.failures);
    Queue(c, WritePacket(-1, kAuthResponse, ""));
    ReportBeforeLogin(c.address, "client " + std::to_string(c.id) + " (" + c.peer + ") wrong password", true);
    if (c.failures >= kMaxFailuresPerConnection) {
      Drop(c, std::to_string(c.failures) + " wrong passwords");
    } else if (now >= c.connected + kLoginTimeout) {
      Drop(c, "not logged in within " + std::to_string(kLoginTimeout.count()) + " s");
    }
  }

  // Every byte for a client goes through here, so that one that does not
  // read is closed past kMaxPendingOutput whatever it asked for.
  void Queue(Connection& c, const std::string& bytes) {
    if (c.closing) return;
    c.output += bytes;
    if (c.output.size() + c.writing.size() > kMaxPendingOutput) {
      c.output.clear();
      Drop(c, "not reading its replies");
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
  // goes out. Settle finishes it. Past kMaxClosing the oldest closing
  // connection is reset to make room.
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
    std::size_t closing = 0;
    for (const auto& [id, other] : connections) closing += other->closing;
    if (closing > kMaxClosing) ResetOldestClosing(&c);
  }

  // Closes at once the closing connection with the least time left, but
  // `except`; a reset rather than a close, as it may not have read its
  // answer. False when there is none.
  bool ResetOldestClosing(const Connection* except) {
    Connection* oldest = nullptr;
    for (const auto& [id, c] : connections) {
      if (c->closing && c.get() != except && (oldest == nullptr || c->close_by < oldest->close_by)) oldest = c.get();
    }
    if (oldest == nullptr) return false;
    std::error_code ignored;
    oldest->socket.set_option(asio::socket_base::linger(true, 0), ignored);
    Destroy(*oldest);
    return true;
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
    Queue(*c, bytes);
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
    CheckHeldLogins(now);
    std::vector<ConnectionPtr> all;
    all.reserve(connections.size());
    for (const auto& [id, c] : connections) all.push_back(c);
    for (const ConnectionPtr& c : all) {
      if (c->closed) continue;
      if (c->closing) {
        if (now >= c->close_by) Destroy(*c);
        continue;
      }
      if (c->waiting_login) continue;
      if (c->paused) {
        Resume(c);  // the game loop's queue may have room again
      } else if (!c->logged_in && now >= c->connected + kLoginTimeout) {
        Drop(*c, "not logged in within " + std::to_string(kLoginTimeout.count()) + " s");
        Settle(c);
      } else if (c->logged_in && options.idle_timeout.count() > 0 && c->pending == 0 &&
                 now >= c->last_packet + options.idle_timeout) {
        // Whatever is still to be written: a client that stopped reading
        // must not hold its place by that alone.
        Drop(*c, "idle for " + std::to_string(options.idle_timeout.count()) + " s");
        Settle(c);
      }
    }
    if (now >= report_start + kReportInterval) Report(now);
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

  bool Trusted(const std::string& address) const {
    return std::find(trusted.begin(), trusted.end(), address) != trusted.end();
  }

  void Trust(const std::string& address) {
    std::erase(trusted, address);
    trusted.push_front(address);
    if (trusted.size() > kTrustedAddresses) trusted.pop_back();
  }

  AddressRecord& Record(const std::string& address, Clock::time_point now) {
    auto it = addresses.find(address);
    if (it == addresses.end()) {
      if (addresses.size() >= kMaxAddresses) Forget();
      it = addresses.emplace(address, AddressRecord{}).first;
    }
    AddressRecord& record = it->second;
    if (record.failures > 0 && now - record.last_failure > kForgetFailures) record.failures = 0;
    record.last_seen = now;
    return record;
  }

  // Makes room in the address table: the half seen longest ago goes. What
  // their lines counted stays in the totals of the interval.
  void Forget() {
    std::vector<Clock::time_point> seen;
    seen.reserve(addresses.size());
    for (const auto& [address, record] : addresses) seen.push_back(record.last_seen);
    const auto middle = seen.begin() + static_cast<std::ptrdiff_t>(seen.size() / 2);
    std::nth_element(seen.begin(), middle, seen.end());
    const Clock::time_point cut = *middle;
    std::erase_if(addresses, [&](const auto& entry) { return entry.second.last_seen <= cut; });
  }

  // A line about a connection that is not logged in: shown while its
  // address and the interval have lines left, else counted for Report.
  void ReportBeforeLogin(const std::string& address, const std::string& line, bool wrong_password = false) {
    AddressRecord& record = Record(address, Clock::now());
    if (!record.quiet && record.shown < kLinesPerAddress && shown_in_interval < kLinesPerInterval) {
      ++record.shown;
      ++shown_in_interval;
      Notice(line);
    } else if (wrong_password) {
      ++record.hidden_failures;
      ++hidden_failures;
    } else {
      ++record.hidden_closes;
      ++hidden_closes;
    }
  }

  static std::string Counts(int64_t failures, int64_t closes) {
    std::string text;
    if (failures > 0) text += " " + std::to_string(failures) + " more wrong passwords";
    if (failures > 0 && closes > 0) text += ",";
    if (closes > 0) text += " " + std::to_string(closes) + " more connections closed before login";
    return text;
  }

  // The end of a report interval: one line for each of the addresses with
  // the most lines unshown, one for the rest, one for the logins held to the
  // rate of checks.
  void Report(Clock::time_point now) {
    const std::string interval = " in the last " + std::to_string(kReportInterval.count()) + " s";
    std::vector<std::pair<const std::string*, AddressRecord*>> hidden;
    for (auto& [address, record] : addresses) {
      if (record.hidden() > 0) hidden.emplace_back(&address, &record);
    }
    const std::size_t named = std::min(hidden.size(), kReportedAddresses);
    std::partial_sort(hidden.begin(), hidden.begin() + static_cast<std::ptrdiff_t>(named), hidden.end(),
                      [](const auto& a, const auto& b) { return a.second->hidden() > b.second->hidden(); });
    for (std::size_t i = 0; i < named; ++i) {
      const AddressRecord& record = *hidden[i].second;
      Notice(*hidden[i].first + ":" + Counts(record.hidden_failures, record.hidden_closes) + interval);
      hidden_failures -= record.hidden_failures;
      hidden_closes -= record.hidden_closes;
    }
    if (hidden_failures + hidden_closes > 0) {
      Notice("other addresses:" + Counts(hidden_failures, hidden_closes) + interval);
    }
    if (rate_held > 0) {
      Notice(std::to_string(rate_held) + " logins waited for their turn at " +
             std::to_string(kPasswordChecksPerSecond) + " password checks a second" + interval);
    }
    for (auto& [address, record] : addresses) {
      record.quiet = record.hidden() > 0;
      record.shown = record.quiet ? kLinesPerAddress : 0;
      record.hidden_failures = record.hidden_closes = 0;
    }
    hidden_failures = hidden_closes = rate_held = 0;
    shown_in_interval = 0;
    report_start = now;
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
  std::deque<std::string> trusted;  // the latest first
  CheckBucket checks{kPasswordChecksPerSecond};
  // The current report interval.
  Clock::time_point report_start = Clock::now();
  int shown_in_interval = 0;
  int64_t hidden_failures = 0;
  int64_t hidden_closes = 0;
  int64_t rate_held = 0;
  uint64_t next_id = 1;
  uint64_t next_held = 1;
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
