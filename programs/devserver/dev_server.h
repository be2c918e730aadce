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
    "  group NAME GROUP       puts the player in a permission group\n"
    "  ungroup NAME GROUP     takes the player out of it\n"
    "  say NAME TEXT          the player says TEXT in chat; every player's copy is printed\n"
    "  console NAME COMMAND   the player enters COMMAND in the game console\n"
    "  rcon COMMAND           runs COMMAND as if it came over RCON\n"
    "  load, unload           loads or unloads the plugins\n"
    "  clock DAYS             moves the UTC clock plugins see by DAYS days (clock -1: to yesterday)\n"
    "  echo TEXT              prints TEXT\n"
    "  help                   lists these commands\n"
    "  quit                   unloads the plugins, prints the engine's live allocations and exits\n"
    "Every line is one second of game time.\n";

class DevServer {
 public:
  // `plugin_file`: the library to load; empty for every plugin folder of
  // the server folder's ArkApi/Plugins. `standin_plugin`: the library the
  // Glyphwork folder loads when it has none of its own; empty for none.
  // The host must be started.
  DevServer(std::string plugin_file, std::string standin_plugin);

  // The stand-in plugin the program carries, <program folder>/
  // kStandInPluginFolder/kStandInPluginName<suffix>; empty when it is not there.
  static std::string FindStandInPlugin();
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
  // was "quit": the plugin is unloaded and the live allocations printed.
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
  std::vector<std::string> failed_;
  standin::Game game_;
  int32_t next_rcon_id_ = 1;
};

}  // namespace devserver
