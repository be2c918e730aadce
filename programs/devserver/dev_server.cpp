#include "programs/devserver/dev_server.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>

#include "common/engine_text.h"
#include "common/game_functions.h"
#include "common/plugin_name.h"
#include "common/utf8_path.h"
#include "programs/arguments.h"
#include "programs/devserver/terminal_text.h"
#include "standin/host/host_control.h"

namespace devserver {

namespace {

using glyphwork::FStringFromUtf8;
using glyphwork::Utf8FromFString;

// The text after its first word and the one space that follows it, to its
// end: an RCON command's body may hold line breaks.
std::string Rest(std::istringstream& in) {
  std::string rest(std::istreambuf_iterator<char>(in), {});
  if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  return rest;
}

bool SameWord(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

DevServer::DevServer(std::string plugin_file, std::string standin_plugin)
    : plugin_file_(std::move(plugin_file)), standin_plugin_(std::move(standin_plugin)) {
  game_.on_chat = [](AShooterPlayerController* recipient, const FPrimalChatMessage& message) {
    fmt::print("[chat] {} -> {}: {}\n", Visible(Utf8FromFString(message.SenderName)), Visible(recipient->name),
               Visible(Utf8FromFString(message.Message)));
  };
  game_.on_direct = [](AShooterPlayerController* recipient, const AShooterPlayerController::DirectMessage& m) {
    fmt::print("[direct] -> {} ({},{},{},{}) {}: {}\n", Visible(recipient->name), m.colour.R, m.colour.G, m.colour.B,
               m.colour.A, Visible(m.sender), Visible(m.text));
  };
}

std::string DevServer::FindStandInPlugin() {
  const std::string folder = glyphwork::ProgramFolder();
  if (folder.empty()) return {};
  // The build names them (CMakeLists.txt).
  const std::string file =
      folder + "/" GLYPHWORK_STANDIN_PLUGIN_FOLDER "/" GLYPHWORK_STANDIN_PLUGIN_NAME + standin::PluginSuffix();
  std::error_code error;
  return std::filesystem::is_regular_file(glyphwork::PathFromUtf8(file), error) ? file : std::string();
}

std::string DevServer::FindStandInPermissions() {
  const std::string plugin = FindStandInPlugin();
  if (plugin.empty()) return {};
  // Beside the stand-in plugin, under the library's own name, which the
  // plugin finds it by once the host loaded it.
  const std::string file =
      glyphwork::Utf8FromPath(glyphwork::PathFromUtf8(plugin).parent_path() / GLYPHWORK_STANDIN_PERMISSIONS_FILE);
  std::error_code error;
  return std::filesystem::is_regular_file(glyphwork::PathFromUtf8(file), error) ? file : std::string();
}

std::string DevServer::StandInInUse() const {
  if (!plugin_file_.empty() || standin_plugin_.empty() || standin::HasOwnLibrary(glyphwork::kPluginName)) return {};
  return standin_plugin_;
}

void DevServer::LoadPlugins() {
  std::vector<std::string> failed;
  std::map<std::string, std::string> fallbacks;
  if (!standin_permissions_.empty()) fallbacks[kPermissions] = standin_permissions_;
  std::vector<std::string> skip;
  if (plugin_file_.empty()) {
    if (!standin_plugin_.empty()) fallbacks[glyphwork::kPluginName] = standin_plugin_;
  } else {
    // That library in place of the plugin folder's; then the other folders.
    const std::string name = glyphwork::Utf8FromPath(glyphwork::PathFromUtf8(plugin_file_).stem());
    if (!standin::LoadPlugin(name, plugin_file_)) failed.push_back(name);
    skip.push_back(glyphwork::kPluginName);
  }
  standin::LoadAllPlugins(fallbacks, &failed, skip);
  for (const std::string& name : failed) {
    if (std::find(failed_.begin(), failed_.end(), name) == failed_.end()) failed_.push_back(name);
  }
}

void DevServer::UnloadPlugins() {
  const std::vector<std::string> loaded = standin::LoadedPlugins();
  for (auto it = loaded.rbegin(); it != loaded.rend(); ++it) standin::UnloadPlugin(*it);
}

AShooterPlayerController* DevServer::Player(const std::string& name) {
  AShooterPlayerController* player = game_.Find(name);
  if (player == nullptr) fmt::print("[game] no player {}\n", Visible(name));
  return player;
}

bool DevServer::Run(const std::string& line) {
  // Every line is a second of game time: scripts run at once, and alike.
  standin::AdvanceGameClock(1);
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "join") {
    std::string name, id;
    in >> name >> id;
    if (name.empty()) {
      fmt::print("[game] join needs a name\n");
    } else if (game_.Find(name) != nullptr) {
      fmt::print("[game] {} has already joined\n", Visible(name));
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
      // Through the permissions plugin the host loaded, as long as it is.
      using GroupFn = void (*)(const char*, const char*);
      const auto change = reinterpret_cast<GroupFn>(
          standin::PluginSymbol(kPermissions, command == "group" ? "StandInAddToGroup" : "StandInRemoveFromGroup"));
      if (change == nullptr) {
        fmt::print("[game] no permissions plugin is loaded\n");
      } else {
        change(player->unique_id.c_str(), group.c_str());
      }
    }
  } else if (command == "say") {
    std::string name;
    in >> name;
    if (Player(name) != nullptr && game_.Say(name, Rest(in)) == standin::ChatOutcome::kDropped) {
      fmt::print("[host] {}'s line dropped: less than a second after their last one\n", Visible(name));
    }
  } else if (command == "console") {
    std::string name;
    in >> name;
    if (auto* player = Player(name)) {
      FString text = FStringFromUtf8(Rest(in));
      standin::ExecuteConsoleCommand(player, &text);
      // The game's own console handler gets what the host left of the line:
      // nothing, when a command took it.
      if (!text.IsEmpty()) fmt::print("[game] unknown command: {}\n", Visible(Utf8FromFString(text)));
    }
  } else if (command == "rcon") {
    for (const rcon::Reply& reply : Rcon(next_rcon_id_++, Rest(in))) {
      fmt::print("[rcon] #{}: {}\n", reply.id, Visible(reply.text));
    }
  } else if (command == "load") {
    LoadPlugins();
  } else if (command == "unload") {
    UnloadPlugins();
    fmt::print("[game] live allocations: {}\n", standin::Game::LiveAllocations());
  } else if (command == "clock") {
    std::string days_text;
    in >> days_text;
    int days = 0;
    const auto [end, error] = std::from_chars(days_text.data() + (days_text.starts_with('+') ? 1 : 0),
                                              days_text.data() + days_text.size(), days);
    if (days_text.empty() || error != std::errc() || end != days_text.data() + days_text.size()) {
      fmt::print("[game] clock needs a whole number of days, such as -1 or +2\n");
    } else {
      standin::ShiftClockDays(days);
      const int64_t shift = standin::ClockShiftDays();
      fmt::print("[host] the clock is {}\n", shift == 0  ? std::string("today's")
                                             : shift > 0 ? fmt::format("{} day(s) ahead", shift)
                                                         : fmt::format("{} day(s) behind", -shift));
    }
  } else if (command == "echo") {
    fmt::print("{}\n", Rest(in));
  } else if (command == "help") {
    fmt::print("{}", kCommands);
  } else if (command == "quit") {
    // As a live server stops: the world ends, and no plugin is unloaded.
    fmt::print("[game] the world ends\n");
    std::fflush(stdout);
    game_.EndWorld();
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
    packet.Body = FStringFromUtf8(command);
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
        reply = FStringFromUtf8(ListPlayers());
      } else {
        reply = FString(kNoResponse);
      }
      game::SendRconMessage(&connection, id, 0, reply);
    }
  }
  std::vector<rcon::Reply> replies;
  for (const auto& reply : connection.replies) replies.push_back({reply.id, reply.text});
  return replies;
}

void DevServer::ServerChat(const std::string& text) {
  FPrimalChatMessage message;
  message.SenderName = FString("SERVER");
  message.Message = FStringFromUtf8(text);
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
