#include "programs/devserver/dev_server.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include <fmt/format.h>

#include "plugin/api/game.h"
#include "standin/host/host_control.h"
#include "standin/permissions/permissions.h"

namespace devserver {

namespace {

constexpr const char* kPluginName = "Glyphwork";

// The line after its first word and the one space that follows it.
std::string Rest(std::istringstream& in) {
  std::string rest;
  std::getline(in, rest);
  if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  return rest;
}

bool SameWord(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

DevServer::DevServer(std::string plugin_file) : plugin_file_(std::move(plugin_file)) {
  game_.on_chat = [](AShooterPlayerController* recipient, const FPrimalChatMessage& message) {
    fmt::print("[chat] {} -> {}: {}\n", standin::Narrow(message.SenderName), recipient->name,
               standin::Narrow(message.Message));
  };
  game_.on_direct = [](AShooterPlayerController* recipient, const AShooterPlayerController::DirectMessage& m) {
    fmt::print("[direct] -> {} ({},{},{},{}) {}: {}\n", recipient->name, m.colour.R, m.colour.G, m.colour.B,
               m.colour.A, m.sender, m.text);
  };
}

void DevServer::LoadPlugin() {
  if (!standin::LoadPlugin(kPluginName, plugin_file_)) fmt::print("[host] failed to load plugin {}\n", kPluginName);
}

AShooterPlayerController* DevServer::Player(const std::string& name) {
  AShooterPlayerController* player = game_.Find(name);
  if (player == nullptr) fmt::print("[game] no player {}\n", name);
  return player;
}

bool DevServer::Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "join") {
    std::string name, id;
    in >> name >> id;
    if (name.empty()) {
      fmt::print("[game] join needs a name\n");
    } else if (game_.Find(name) != nullptr) {
      fmt::print("[game] {} has already joined\n", name);
    } else {
      game_.Join(name, id.empty() ? "id-" + name : id);
    }
  } else if (command == "leave") {
    std::string name;
    in >> name;
    if (Player(name) != nullptr) game_.Leave(name);
  } else if (command == "group" || command == "ungroup") {
    std::string name, group;
    in >> name >> group;
    if (auto* player = Player(name)) {
      if (command == "group") {
        Permissions::StandIn::AddToGroup(player->unique_id, group);
      } else {
        Permissions::StandIn::RemoveFromGroup(player->unique_id, group);
      }
    }
  } else if (command == "say") {
    std::string name;
    in >> name;
    if (Player(name) != nullptr) game_.Say(name, Rest(in));
  } else if (command == "console") {
    std::string name;
    in >> name;
    const std::string text = Rest(in);
    if (auto* player = Player(name); player != nullptr && !standin::ExecuteConsoleCommand(player, text)) {
      fmt::print("[game] unknown command: {}\n", text);
    }
  } else if (command == "rcon") {
    for (const rcon::Reply& reply : Rcon(next_rcon_id_++, Rest(in))) {
      fmt::print("[rcon] #{}: {}\n", reply.id, reply.text);
    }
  } else if (command == "load") {
    LoadPlugin();
  } else if (command == "unload") {
    standin::UnloadPlugin(kPluginName);
  } else if (command == "echo") {
    fmt::print("{}\n", Rest(in));
  } else if (command == "help") {
    fmt::print("{}", kCommands);
  } else if (command == "quit") {
    standin::UnloadPlugin(kPluginName);
    fmt::print("[game] live allocations: {}\n", standin::Game::LiveAllocations());
    return false;
  } else {
    fmt::print("[game] unknown: {} (help lists the commands)\n", line);
  }
  return true;
}

std::vector<rcon::Reply> DevServer::Rcon(int32_t id, const std::string& command) {
  RCONClientConnection connection;
  {
    RCONPacket packet;
    packet.Id = id;
    packet.Type = 2;  // SERVERDATA_EXECCOMMAND
    packet.Body = FString(command.c_str());
    packet.Length = static_cast<int32_t>(10 + command.size());
    if (!standin::ExecuteRconCommand(&connection, &packet)) {
      std::istringstream in(command);
      std::string word;
      in >> word;
      FString reply;
      if (SameWord(word, "ServerChat")) {
        ServerChat(Rest(in));
        reply = FString(kNoResponse);
      } else if (SameWord(word, "ListPlayers")) {
        reply = FString(ListPlayers().c_str());
      } else {
        reply = FString(kNoResponse);
      }
      game::SendMessage(&connection, id, 0, reply);
    }
  }
  std::vector<rcon::Reply> replies;
  for (const auto& reply : connection.replies) replies.push_back({reply.id, reply.text});
  return replies;
}

void DevServer::ServerChat(const std::string& text) {
  FPrimalChatMessage message;
  message.SenderName = FString("SERVER");
  message.Message = FString(text.c_str());
  for (const auto& player : game_.Players()) standin::Game::Deliver(player.get(), message);
}

std::string DevServer::ListPlayers() const {
  if (game_.Players().empty()) return "No Players Connected";
  std::string list;
  int number = 0;
  for (const auto& player : game_.Players()) {
    if (number > 0) list += '\n';
    list += fmt::format("{}. {}, {}", number++, player->name, player->unique_id);
  }
  return list;
}

}  // namespace devserver
