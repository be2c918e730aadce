// glyphwork-devserver: the stand-in host and game with the real plugin
// library loaded from a server folder, driven by commands, one per line.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <fmt/format.h>

#include "standin/game/game.h"
#include "standin/host/host_control.h"
#include "standin/permissions/permissions.h"

namespace {

struct Options {
  std::string root = ".";
  std::string plugin;
  std::string script;
};

void Usage() {
  std::cerr << "usage: glyphwork-devserver [--root DIR] [--plugin FILE] [--script FILE]\n";
}

std::string Rest(std::istringstream& in) {
  std::string rest;
  std::getline(in, rest);
  if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  return rest;
}

class Server {
 public:
  explicit Server(const Options& options) : options_(options) {
    game_.on_chat = [this](AShooterPlayerController* recipient, const FPrimalChatMessage& message) {
      fmt::print("[chat] {} -> {}: {}\n", standin::Narrow(message.SenderName), recipient->name,
                 standin::Narrow(message.Message));
    };
    game_.on_direct = [](AShooterPlayerController* recipient, const AShooterPlayerController::DirectMessage& m) {
      fmt::print("[direct] -> {} ({},{},{},{}) {}: {}\n", recipient->name, m.colour.R, m.colour.G, m.colour.B,
                 m.colour.A, m.sender, m.text);
    };
    game_.on_rcon_reply = [](RCONClientConnection*, const RCONClientConnection::Reply& reply) {
      fmt::print("[rcon] #{}: {}\n", reply.id, reply.text);
    };
  }

  void Load() {
    if (!standin::LoadPlugin("Glyphwork", options_.plugin)) fmt::print("[host] failed to load plugin Glyphwork\n");
  }

  // False at "quit".
  bool Run(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "join") {
      std::string name, id;
      in >> name >> id;
      game_.Join(name, id.empty() ? "id-" + name : id);
    } else if (command == "leave") {
      std::string name;
      in >> name;
      game_.Leave(name);
    } else if (command == "group" || command == "ungroup") {
      std::string name, group;
      in >> name >> group;
      if (auto* player = game_.Find(name)) {
        if (command == "group") Permissions::StandIn::AddToGroup(player->unique_id, group);
        else Permissions::StandIn::RemoveFromGroup(player->unique_id, group);
      }
    } else if (command == "say") {
      std::string name;
      in >> name;
      game_.Say(name, Rest(in));
    } else if (command == "console") {
      std::string name;
      in >> name;
      const std::string text = Rest(in);
      if (!standin::ExecuteConsoleCommand(game_.Find(name), text)) fmt::print("[game] unknown command: {}\n", text);
    } else if (command == "rcon") {
      RCONClientConnection connection;
      RCONPacket packet;
      packet.Id = ++rcon_id_;
      packet.Body = FString(Rest(in).c_str());
      if (!standin::ExecuteRconCommand(&connection, &packet)) {
        fmt::print("[rcon] #{}: Server received, But no response!! \n", packet.Id);
      }
    } else if (command == "load") {
      Load();
    } else if (command == "unload") {
      standin::UnloadPlugin("Glyphwork");
    } else if (command == "echo") {
      fmt::print("{}\n", Rest(in));
    } else if (command == "quit") {
      standin::UnloadPlugin("Glyphwork");
      fmt::print("[game] live allocations: {}\n", standin::Game::LiveAllocations());
      return false;
    } else {
      fmt::print("[game] unknown: {}\n", line);
    }
    standin::RunTimers();
    return true;
  }

 private:
  Options options_;
  standin::Game game_;
  int rcon_id_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) {
      Usage();
      return 2;
    }
    if (arg == "--root") options.root = argv[++i];
    else if (arg == "--plugin") options.plugin = argv[++i];
    else if (arg == "--script") options.script = argv[++i];
    else {
      Usage();
      return 2;
    }
  }
  standin::StartHost({options.root, true, {}});
  Server server(options);
  server.Load();
  standin::RunTimers();
  std::fflush(stdout);

  std::ifstream script;
  if (!options.script.empty()) {
    script.open(options.script);
    if (!script) {
      std::cerr << "cannot open " << options.script << "\n";
      return 2;
    }
  }
  std::istream& input = options.script.empty() ? std::cin : script;
  bool running = true;
  for (std::string line; running && std::getline(input, line);) {
    if (line.empty() || line[0] == '#') continue;
    running = server.Run(line);
    std::fflush(stdout);
  }
  if (running) server.Run("quit");
  std::fflush(stdout);
  standin::StopHost();
  return 0;
}
