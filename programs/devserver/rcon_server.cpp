#include "programs/devserver/rcon_server.h"

#include <algorithm>

#include "programs/devserver/rcon_packet.h"

namespace rcon {

struct Server::Client {
  uint64_t id = 0;
  net::Socket socket = net::kNoSocket;
  std::string input;   // at most one partial packet
  std::string output;  // bytes not yet sent
  bool logged_in = false;
  bool input_ended = false;  // the client sent all it will; close once answered
  int pending = 0;           // requests handed on and not completed
  bool closed = false;
};

namespace {

// Looks at every byte whatever the first difference. REQUIRES: expected non-empty.
bool SamePassword(const std::string& given, const std::string& expected) {
  unsigned difference = given.size() != expected.size();
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(expected[i % expected.size()]);
  }
  return difference == 0;
}

}  // namespace

std::unique_ptr<Server> Server::Start(const std::string& address, int port, std::string password, Handlers handlers,
                                      std::string* error) {
  if (password.empty()) {
    *error = "an RCON password is required";
    return nullptr;
  }
  const net::Socket listener = net::Listen(address, port, error);
  if (listener == net::kNoSocket) return nullptr;
  std::unique_ptr<Server> server(new Server(listener, std::move(password), std::move(handlers)));
  if (!server->waker_.Ok()) {
    *error = "cannot make the network thread's wake-up";
    return nullptr;
  }
  server->thread_ = std::thread([raw = server.get()] { raw->Loop(); });
  return server;
}

Server::Server(net::Socket listener, std::string password, Handlers handlers)
    : listener_(listener), password_(std::move(password)), handlers_(std::move(handlers)) {}

Server::~Server() {
  stop_ = true;
  waker_.Signal();
  if (thread_.joinable()) thread_.join();
  for (const auto& client : clients_) net::Close(client->socket);
  net::Close(listener_);
}

std::string Server::Address() const { return net::LocalName(listener_); }

void Server::Complete(uint64_t client, std::vector<Reply> replies) {
  std::string bytes;
  for (const Reply& reply : replies) bytes += WriteResponse(reply.id, reply.text);
  {
    std::lock_guard lock(mutex_);
    completions_.push_back({client, std::move(bytes)});
  }
  waker_.Signal();
}

void Server::Loop() {
  std::vector<net::Watch> watches;
  std::vector<Client*> watched;
  while (!stop_) {
    watches.assign(1, {listener_});
    watched.clear();
    for (const auto& client : clients_) {
      // A client with many requests in the game loop is not read until they
      // are answered: its input waits in the socket, not here.
      const bool read = !client->input_ended && client->pending < kMaxQueuedRequests;
      const bool write = !client->output.empty();
      if (!read && !write) continue;
      watches.push_back({client->socket, read, write});
      watched.push_back(client.get());
    }
    net::Wait(watches, waker_);
    if (stop_) break;
    for (std::size_t i = 0; i < watched.size(); ++i) {
      if (watches[i + 1].readable) ReadFrom(*watched[i]);
    }
    TakeCompletions();
    for (const auto& client : clients_) {
      Parse(*client);
      if (!client->closed && !client->output.empty()) WriteTo(*client);
      if (!client->closed && client->input_ended && client->pending == 0 && client->output.empty()) {
        client->closed = true;
        handlers_.on_notice("client " + std::to_string(client->id) + " disconnected");
      }
    }
    std::erase_if(clients_, [](const std::unique_ptr<Client>& client) {
      if (client->closed) net::Close(client->socket);
      return client->closed;
    });
    if (watches[0].readable) Accept();
  }
}

void Server::Accept() {
  for (;;) {
    std::string peer;
    const net::Socket socket = net::Accept(listener_, &peer);
    if (socket == net::kNoSocket) return;
    if (clients_.size() >= kMaxClients) {
      net::Close(socket);
      handlers_.on_notice("refused a connection from " + peer + ": too many clients");
      continue;
    }
    auto client = std::make_unique<Client>();
    client->id = next_client_++;
    client->socket = socket;
    handlers_.on_notice("client " + std::to_string(client->id) + " connected from " + peer);
    clients_.push_back(std::move(client));
  }
}

void Server::ReadFrom(Client& client) {
  char buffer[8192];
  // A few reads per wake-up, so that one busy client cannot starve the rest.
  for (int round = 0; round < 4 && !client.closed && client.pending < kMaxQueuedRequests; ++round) {
    const long n = net::Receive(client.socket, buffer, sizeof buffer);
    if (n == 0) return;
    if (n < 0) {
      client.input_ended = true;
      return;
    }
    client.input.append(buffer, static_cast<std::size_t>(n));
    Parse(client);
  }
}

void Server::Parse(Client& client) {
  while (!client.closed && client.pending < kMaxQueuedRequests) {
    ReadResult result = ReadPacket(client.input);
    if (result.status == ReadStatus::kIncomplete) return;
    if (result.status == ReadStatus::kMalformed) {
      Drop(client, result.error);
      return;
    }
    client.input.erase(0, result.consumed);
    Handle(client, result.packet.id, result.packet.type, std::move(result.packet.body));
  }
}

void Server::Handle(Client& client, int32_t id, int32_t type, std::string body) {
  const std::string name = "client " + std::to_string(client.id);
  if (type == kAuth) {
    client.logged_in = SamePassword(body, password_);
    // The answer is the AUTH_RESPONSE alone: some clients take any packet
    // before it as the answer.
    client.output += WritePacket(client.logged_in ? id : -1, kAuthResponse, "");
    handlers_.on_notice(name + (client.logged_in ? " logged in" : " wrong password"));
    return;
  }
  if (type != kExecCommand && type != kResponseValue) {
    Drop(client, "packet type " + std::to_string(type) + " not accepted");
    return;
  }
  if (!client.logged_in) {
    Drop(client, "command before login");
    return;
  }
  ++client.pending;
  handlers_.on_request(
      {client.id, type == kExecCommand ? Request::Kind::kCommand : Request::Kind::kEcho, id, std::move(body)});
}

void Server::WriteTo(Client& client) {
  while (!client.output.empty()) {
    const long n = net::Send(client.socket, client.output.data(), client.output.size());
    if (n == 0) break;
    if (n < 0) {
      client.closed = true;
      handlers_.on_notice("client " + std::to_string(client.id) + " disconnected");
      return;
    }
    client.output.erase(0, static_cast<std::size_t>(n));
  }
  if (client.output.size() > kMaxPendingOutput) Drop(client, "not reading its replies");
}

void Server::Drop(Client& client, const std::string& reason) {
  client.closed = true;
  handlers_.on_notice("client " + std::to_string(client.id) + " dropped: " + reason);
}

void Server::TakeCompletions() {
  std::vector<Completion> completions;
  {
    std::lock_guard lock(mutex_);
    completions.swap(completions_);
  }
  for (Completion& completion : completions) {
    const auto it = std::find_if(clients_.begin(), clients_.end(),
                                 [&](const auto& client) { return client->id == completion.client; });
    if (it == clients_.end() || (*it)->closed) continue;
    (*it)->output += completion.bytes;
    --(*it)->pending;
  }
}

}  // namespace rcon
