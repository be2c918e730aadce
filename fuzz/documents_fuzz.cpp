// Arbitrary bytes as config.json and as a pack file, through the reload
// command, then the start-up reads, the pack scan, the asset loading and a few
// deliveries: nothing escapes that the plugin does not expect, every delivery
// arrives exactly once with a well-formed record, a failed reload changes
// neither document and a successful one leaves no wrong type behind, a failed
// read keeps the documents in effect, and every engine buffer comes back.
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "assets/emoji_assets.h"
#include "chat/chat_hook.h"
#include "chat/chat_rules.h"
#include "commands/reload.h"
#include "config/config.h"
#include "log/log.h"
#include "standin/game/game.h"
#include "standin/host/host_control.h"

namespace {

namespace fs = std::filesystem;

struct World {
  fs::path root;
  standin::Game game;
  AShooterPlayerController* player = nullptr;

  World() {
    root = fs::temp_directory_path() / ("glyphwork-fuzz-" + std::to_string(std::random_device()()));
    fs::create_directories(root / standin::kBinariesFolder / "ArkApi/Plugins/Glyphwork/Packs");
    fs::create_directories(root / "ShooterGame/Content/E");
    std::ofstream(root / "ShooterGame/Content/E/smile.uasset");
    standin::StartHost({.server_dir = root.string(),
                        .console_sink = false,
                        .extra_sinks = {std::make_shared<spdlog::sinks::null_sink_mt>()}});
    spdlog::register_logger(
        std::make_shared<spdlog::logger>(glyphwork::kConsoleLogName, std::make_shared<spdlog::sinks::null_sink_mt>()));
    glyphwork::SetUpHostLog("Glyphwork");
    glyphwork::SetUpConsoleLog();
    glyphwork::InstallChatHook();
    player = game.Join("Ann", "id-Ann");
  }

  void Write(const fs::path& relative, const uint8_t* data, size_t size) {
    std::ofstream(root / relative, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  // The first byte splits the rest between config.json and the pack.
  const size_t split = size == 0 ? 0 : std::min<size_t>(size - 1, data[0] * (size - 1) / 255);
  const uint8_t* body = size == 0 ? data : data + 1;
  const fs::path plugin = fs::path(standin::kBinariesFolder) / "ArkApi/Plugins/Glyphwork";
  world.Write(plugin / "config.json", body, split);
  world.Write(plugin / "Packs/pack.json", body + split, size == 0 ? 0 : size - 1 - split);

  const int64_t allocations = standin::Game::LiveAllocations();
  {
    const nlohmann::json config_before = glyphwork::ConfigDocument;
    const nlohmann::json packs_before = glyphwork::PackDocument;
    RCONClientConnection connection;
    RCONPacket packet;
    glyphwork::OnReloadRconCommand(&connection, &packet, nullptr);
    if (connection.replies.size() != 1) std::abort();
    if (connection.replies[0].text.empty()) {
      if (glyphwork::ConfigDocument != config_before || glyphwork::PackDocument != packs_before) std::abort();
    } else if (glyphwork::BuildChatRules()->wrong_type() != nullptr) {
      std::abort();
    }
  }
  const nlohmann::json config_before = glyphwork::ConfigDocument;
  const nlohmann::json packs_before = glyphwork::PackDocument;
  bool config_read = false, packs_read = false;
  try {
    glyphwork::ReadConfig();
    config_read = true;
    glyphwork::LoadPacks();
    packs_read = true;
    glyphwork::LoadEmojiAssets();
  } catch (const std::exception&) {
    // Reload's own handler takes these: file, parse and type errors.
  }
  if (!config_read && (glyphwork::ConfigDocument != config_before || glyphwork::PackDocument != packs_before)) {
    std::abort();
  }
  if (config_read && !packs_read && glyphwork::PackDocument != packs_before) std::abort();

  const int64_t before = world.player->received.pushed();
  for (const char* text : {"", ":smile: hi", "::::", "ünïcödé :a::b: 12:30:45"}) {
    standin::AdvanceGameClock(1);
    world.game.Say("Bea", text);
  }
  if (world.player->received.pushed() != before + 4 || world.game.malformed_records != 0) std::abort();
  world.player->received.clear();
  if (standin::Game::LiveAllocations() != allocations) std::abort();
  return 0;
}
