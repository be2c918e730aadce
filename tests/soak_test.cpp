// Chat against reloads whose files flip at random between valid and broken:
// the documents in effect are always the last pair that read and held no
// wrong type, every delivery arrives exactly once, and every engine buffer
// comes back.
#include <gmock/gmock.h>

#include <fstream>
#include <random>

#include "config/config.h"
#include "plugin/lifecycle.h"
#include "tests/reference/literal_chat.h"
#include "tests/server_fixture.h"

namespace glyphwork::testing {
namespace {

using nlohmann::json;

class SoakTest : public ServerTest {};

TEST_F(SoakTest, ChatInterleavedWithRandomReloadsKeepsTheLastGoodPairOfDocuments) {
  constexpr int kReloads = 1000;
  constexpr int kMessagesPerReload = 10;
  const int64_t baseline = standin::Game::LiveAllocations();
  std::mt19937 random(20261207);
  auto pick = [&](int n) { return int(random() % unsigned(n)); };

  const std::vector<std::string> configs = {
      R"({"RemapEmoji": [{"Name": "wave", "Path": "/Game/W/wave.wave"}]})",
      R"({"UsePermissions": true, "PermissionsGroups": ["Emoji"]})",
      R"({"RemapEmoji": {"b": {"Name": "x"}, "a": {"Path": "/Game/X/x.x"}}, "Packs": ["p1.json"]})",
      R"({"UsePermissions": "yes"})",               // parses; wrong type meets chat and assets
      R"({"RemapEmoji": [{"Name": 5}]} trailing)",  // text after the value is never read
      R"([1, 2, 3])",                               // not an object: packs and chat fail on it
  };
  const std::vector<std::string> broken_configs = {"", "{", R"({"UsePermissions": tru})", "// comment\n{}"};
  const std::vector<std::string> packs = {
      R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile", "wink"]})",
      R"({"EmojiArray": "single"})",
      R"({"EmojiPath": 7, "EmojiArray": ["x"]})",
      R"(["a list"])",
      "\xEF\xBB\xBF{\"EmojiPath\": \"/Game/B/\", \"EmojiArray\": [\"bom\"]}",
  };
  const std::vector<std::string> broken_packs = {"", "{\"EmojiArray\": [", "readme text"};

  WriteConfig(configs[0]);
  WritePack("p1.json", packs[0]);
  ASSERT_NO_THROW(Load());
  json good_config = ConfigDocument, good_packs = PackDocument;

  std::vector<AShooterPlayerController*> players;
  for (const char* name : {"Ann", "Bea", "Cid", "Dot"}) players.push_back(game_->Join(name, std::string("id-") + name));
  int64_t said = 0, reloads_failed = 0;

  for (int round = 0; round < kReloads; ++round) {
    // Rewrite the files: each one valid or broken, some removed.
    const bool config_ok = pick(3) != 0;
    const bool config_missing = !config_ok && pick(4) == 0;
    std::filesystem::remove(PluginDir() / "config.json");
    if (!config_missing) {
      WriteConfig(config_ok ? configs[size_t(pick(int(configs.size())))]
                            : broken_configs[size_t(pick(int(broken_configs.size())))]);
    }
    std::filesystem::remove_all(PluginDir() / "Packs");
    const bool packs_folder = pick(8) != 0;
    bool packs_ok = true;
    json scanned = json::object();
    if (packs_folder) {
      std::filesystem::create_directories(PluginDir() / "Packs");
      const int count = pick(4);
      for (int i = 0; i < count; ++i) {
        const bool ok = pick(4) != 0;
        const std::string text =
            ok ? packs[size_t(pick(int(packs.size())))] : broken_packs[size_t(pick(int(broken_packs.size())))];
        WritePack("p" + std::to_string(i) + ".json", text);
        if (!ok) packs_ok = false;
        if (ok && packs_ok) scanned["EmojiMap"].push_back(json::parse(text));
      }
    }

    RCONClientConnection connection;
    RCONPacket packet;
    packet.Id = round;
    packet.Body = FString("Glyphwork.Reload");
    ASSERT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
    ASSERT_EQ(1u, connection.replies.size());

    // A reload changes both documents together, or neither: only when the
    // config parsed, the scan completed (a missing folder means no packs)
    // and no delivery would meet a wrong type in the new pair.
    if (config_ok && packs_ok) {
      json config;
      std::ifstream file(PluginDir() / "config.json");
      file >> config;
      const json packs = packs_folder ? scanned : json::object();
      try {
        reference::LiteralRewrite(config, packs, ":x:", [](const std::string&) { return true; });
        good_config = config;
        good_packs = packs;
      } catch (const json::type_error&) {
      }
    }
    if (connection.replies[0].text.empty()) ++reloads_failed;
    ASSERT_EQ(good_config, ConfigDocument) << "round " << round;
    ASSERT_EQ(good_packs, PackDocument) << "round " << round;

    for (int m = 0; m < kMessagesPerReload; ++m) {
      standin::AdvanceGameClock(1);
      game_->Say("Ann", m % 2 ? ":smile: hi :wave: :x: ::" : "ünïcödé :bom::single:");
      ++said;
    }
    TakeConsole();
    TakeHostLog();
  }

  for (auto* player : players) EXPECT_EQ(said, player->received.pushed());
  EXPECT_EQ(0, game_->malformed_records);
  EXPECT_GT(reloads_failed, kReloads / 4);
  EXPECT_LT(reloads_failed, kReloads);
  Unload();
  EXPECT_EQ(baseline, standin::Game::LiveAllocations());
}

}  // namespace
}  // namespace glyphwork::testing
