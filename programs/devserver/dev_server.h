// The game side of the dev server: the stand-in game and its players, the
// command lines of a script or a terminal, and the game's answer to RCON
// commands. Everything here runs on the game loop's thread, one call at a
// time, as the plugin expects of the host; output goes to standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "programs/devserver/rcon_server.h"
#include "standin/game/game.h"

namespace devserver {

// The command lines the server reads, as `help` and --help list them.
inline constexpr const char* kCommands =
    "Commands, one per line (blank lines and lines starting with # are skipped):\n"
    "  join NAME [ID]         a player joins (ID, the unique net id, defaults to id-NAME)\n"
    "  leave NAME             the player leaves\n"
    "  group NAME GROUP       puts the player in a permission group (of the permissions plugin)\n"
    "  ungroup NAME GROUP     takes the player out of it\n"
    "  say NAME TEXT          the player says TEXT in chat; every player's copy is printed\n"
    "  console NAME COMMAND   the player enters COMMAND in the game console\n"
    "  rcon COMMAND           runs COMMAND as if it came over RCON (plugins.load NAME and\n"
    "                         plugins.unload NAME are the host's, on the console too)\n"
    "  load, unload           loads or unloads the plugins (unload then prints the engine's\n"
    "                         live allocations, 0 when nothing leaked)\n"
    "  clock DAYS             moves the UTC clock plugins see by DAYS days (clock -1: to yesterday)\n"
    "  echo TEXT              prints TEXT\n"
    "  help                   lists these commands\n"
    "  quit                   the world ends and the server exits, without unloading a plugin\n"
    "Every line is one second of game time.\n";

class DevServer {
 public:
  // `plugin_file`: the library to load in place of the Glyphwork folder's,
  // beside every other plugin folder of the server folder's ArkApi/Plugins;
  // empty for every folder's own. `standin_plugin`: the library the
  // Glyphwork folder loads when it has none of its own; empty for none.
  // The host must be started.
  DevServer(std::string plugin_file, std::string standin_plugin);

  // The stand-in plugin the program carries, <program folder>/
  // kStandInPluginFolder/kStandInPluginName<suffix>; empty when it is not there.
  static std::string FindStandInPlugin();
  // The stand-in permissions library beside it, which a server folder's
  // ArkApi/Plugins/Permissions loads when it has no library of its own (the
  // permissions library is a plugin of the host's); empty when not there.
  static std::string FindStandInPermissions();
  static constexpr const char* kPermissions = "Permissions";
  // The stand-in plugin when the next LoadPlugins takes it in place of the
  // server folder's own, else empty.
  std::string StandInInUse() const;

  // Loads the plugins as the host does; a failure is logged, and the server
  // goes on without that plugin.
  void LoadPlugins();
  // Every plugin that failed to load since the server started, by name, once.
  const std::vector<std::string>& FailedPlugins() const { return failed_; }
  // Unloads them, the last loaded first.
  void UnloadPlugins();

  // Runs one command line ("join Ann", "say Ann hi", ...). False once the line
  // was "quit": the world has ended, as when a live server stops.
  bool Run(const std::string& line);

  // Runs an RCON command as the server does: the host's command table first,
  // then the game's own commands ("ServerChat TEXT", "ListPlayers"), else the
  // game's answer to an unknown command. Returns the replies sent.
  std::vector<rcon::Reply> Rcon(int32_t id, const std::string& command);

  static constexpr const char* kNoResponse = "Server received, But no response!! ";

 private:
  void ServerChat(const std::string& text);
  std::string ListPlayers() const;
  AShooterPlayerController* Player(const std::string& name);

  std::string plugin_file_;
  std::string standin_plugin_;
  std::string standin_permissions_ = FindStandInPermissions();
  std::vector<std::string> failed_;
  standin::Game game_;
  int32_t next_rcon_id_ = 1;
};

}  // namespace devserver
