// A fresh server folder, a started stand-in host that records what the plugin
// asks of it, and the stand-in game, for every test.
#pragma once

#include <gtest/gtest.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/ostream_sink.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/utf8_path.h"
#include "standin/game/game.h"
#include "standin/host/host_control.h"
#include "tests/console_capture.h"

namespace glyphwork::testing {

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The server folder; the host's current directory in it, which holds
  // ArkApi/; the plugin's folder there.
  std::filesystem::path Root() const { return root_; }
  std::filesystem::path BinariesDir() const { return root_ / standin::kBinariesFolder; }
  std::filesystem::path PluginDir() const { return BinariesDir() / "ArkApi" / "Plugins" / "Glyphwork"; }
  // Writes `content` to a file under the server folder, making its folders.
  void Write(const std::filesystem::path& relative, const std::string& content);
  void WriteConfig(const std::string& content) { Write(PluginDir() / "config.json", content); }
  // Names are UTF-8, as the plugin shows them.
  void WritePack(const std::string& name, const std::string& content) {
    Write(PluginDir() / "Packs" / PathFromUtf8(name), content);
  }
  // An empty asset file that makes "/Game/<relative>.<last component>" load.
  void WriteContent(const std::string& relative) {
    Write(PathFromUtf8(std::string(standin::kContentFolder) + "/" + relative + ".uasset"), "");
  }

  // Puts the built plugin into the plugin folder and has the host load it.
  // The host's "Loaded plugin ..." line is kept apart from TakeHostLog's.
  bool LoadPlugin();
  // The host's line of the last LoadPlugin that loaded the plugin.
  const std::string& LoadedLine() const { return loaded_line_; }
  // The plugin file as installed in the server folder.
  std::filesystem::path InstalledPluginPath() const;

  // The host's log file: <binaries>/logs/ArkApi_<process id>_<date>.log.
  std::filesystem::path HostLogFile() const;
  // Lines written to the host's log sinks since the last call, pattern applied.
  std::vector<std::string> TakeHostLog();
  // Console lines (the plugin's "custom" logger) since the last call.
  std::vector<std::string> TakeConsole();

  // Delivers `text` to `recipient` through the hook table; returns the text as
  // the game received it.
  std::string Deliver(AShooterPlayerController* recipient, const std::string& text);

  std::unique_ptr<standin::Game> game_;
  // Set before SetUp to end the server folder's name with this UTF-8 text.
  std::string root_suffix_;

 private:
  std::filesystem::path root_;
  std::ostringstream host_log_;
  std::string loaded_line_;
  std::unique_ptr<ConsoleCapture> console_;
};

using standin::FStringFromUnits;
using standin::UnitsOf;

// Makes a symbolic link; false where the platform cannot (wine), so that a
// test can leave out the cases that need one.
bool CreateSymlink(const std::filesystem::path& target, const std::filesystem::path& link, bool directory = false);

// Console lines without their variable time: "\x1b[31m<time> [Glyphwork][ERR] x"
// becomes "31 [Glyphwork][ERR] x".
std::string WithoutTime(const std::string& line);
std::vector<std::string> WithoutTime(const std::vector<std::string>& lines);

}  // namespace glyphwork::testing
