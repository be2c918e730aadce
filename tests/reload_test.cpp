// "Glyphwork.Reload" on the game console and over RCON.
#include <functional>

#include <gmock/gmock.h>

#include "commands/reload.h"
#include "config/config.h"
#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Markup(const std::string& path) { return "<img src=\"chat.image\" path=\"" + path + "\"/>"; }

std::string Flatten(const AShooterPlayerController::DirectMessage& m) {
  return m.text + " (" + std::to_string(m.colour.R) + "," + std::to_string(m.colour.G) + "," +
         std::to_string(m.colour.B) + "," + std::to_string(m.colour.A) + ") " + (m.flag ? "true " : "false ") + m.sender;
}

std::string Flatten(const RCONClientConnection::Reply& r) {
  return std::to_string(r.id) + " " + std::to_string(r.type) + " \"" + r.text + "\"";
}

const std::string kGreenFromServer = " (0.000000,1.000000,0.000000,1.000000) false Server";

// The files in effect before every reload, and the edits a reload applies.
const std::string kOldConfig = R"({"RemapEmoji": [{"Name": "wave", "Path": "/Game/W/wave.wave"}]})";
const std::string kNewConfig =
    R"({"RemapEmoji": [{"Name": "wave", "Path": "/Game/W/wave.wave"}, {"Name": "hi", "Path": "/Game/W/hi.hi"}]})";
const std::string kSmilePack = R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile"]})";
const std::string kGrinPack = R"({"EmojiPath": "/Game/E/", "EmojiArray": ["grin"]})";

class ReloadTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    WriteConfig(kOldConfig);
    WritePack("a.json", kSmilePack);
    for (const char* content : {"E/smile", "E/grin", "W/wave", "W/hi"}) WriteContent(content);
    ASSERT_TRUE(LoadPlugin());
    standin::RunTimers();
    TakeConsole();
    ann_ = game_->Join("Ann", "1");
    bob_ = game_->Join("Bob", "2");
    game_->load_requests.clear();
  }

  // What Ann sees of every emoji the files may map.
  std::string Shown() { return Deliver(ann_, ":smile: :grin: :wave: :hi:"); }

  AShooterPlayerController* ann_ = nullptr;
  AShooterPlayerController* bob_ = nullptr;
};

TEST_F(ReloadTest, ASuccessfulReloadAppliesTheEditsAndAnswersTheIssuerAlone) {
  const std::string all =
      Markup("/Game/E/smile.smile") + " " + Markup("/Game/E/grin.grin") + " " + Markup("/Game/W/wave.wave") + " " +
      Markup("/Game/W/hi.hi");
  const std::vector<std::string> asked = {"/Game/E/smile.smile", "/Game/E/grin.grin", "/Game/W/wave.wave",
                                          "/Game/W/hi.hi"};
  WriteConfig(kNewConfig);
  WritePack("b.json", kGrinPack);

  std::vector<std::string> console_at_reply;
  game_->on_direct = [&](auto*, auto&) { console_at_reply = WithoutTime(TakeConsole()); };
  EXPECT_TRUE(standin::ExecuteConsoleCommand(ann_, "Glyphwork.Reload"));
  EXPECT_THAT(console_at_reply, ElementsAre("36 [Glyphwork] Loaded 4 new object(s)!"));
  ASSERT_EQ(1u, ann_->direct.size());
  EXPECT_EQ("Reloaded Config!" + kGreenFromServer, Flatten(ann_->direct[0]));
  EXPECT_THAT(bob_->direct, IsEmpty());
  EXPECT_EQ(asked, game_->load_requests);
  EXPECT_EQ(all, Shown());

  game_->load_requests.clear();
  RCONClientConnection connection;
  RCONPacket packet;
  packet.Id = 42;
  packet.Body = FString("Glyphwork.Reload");
  EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
  ASSERT_EQ(1u, connection.replies.size());
  EXPECT_EQ("42 0 \"Reloaded Config!\"", Flatten(connection.replies[0]));
  EXPECT_THAT(WithoutTime(TakeConsole()), ElementsAre("36 [Glyphwork] Loaded 4 new object(s)!"));
  EXPECT_EQ(asked, game_->load_requests);
  EXPECT_EQ(1u, ann_->direct.size());
  EXPECT_THAT(TakeHostLog(), IsEmpty());
}

TEST_F(ReloadTest, AFailedReloadIsLoggedGetsNoReplyOrAnEmptyOneAndKeepsWhatWasInEffect) {
  const std::string old_in_effect = Markup("/Game/E/smile.smile") + " :grin: " + Markup("/Game/W/wave.wave") + " :hi:";
  struct Case {
    std::function<void()> make;
    std::string log;
    std::vector<std::string> console;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {[&] { fs::remove(PluginDir() / "config.json"); }, "Failed to read config! Can't open config.json", {},
       old_in_effect},
      // The new configuration is in effect with the previous packs.
      {[&] { WritePack("c.json", "{"); },
       "Failed to read config! [json.exception.parse_error.101] parse error at line 1, column 2: syntax error while "
       "parsing object key - unexpected end of input; expected string literal",
       {"31 [Glyphwork][ERR] Can't parse c.json pack!"},
       Markup("/Game/E/smile.smile") + " :grin: " + Markup("/Game/W/wave.wave") + " " + Markup("/Game/W/hi.hi")},
  };
  for (const bool over_rcon : {false, true}) {
    for (const Case& c : cases) {
      WriteConfig(kNewConfig);
      WritePack("b.json", kGrinPack);
      c.make();
      RCONClientConnection connection;
      RCONPacket packet;
      packet.Id = 9;
      packet.Body = FString("Glyphwork.Reload");
      EXPECT_TRUE(over_rcon ? standin::ExecuteRconCommand(&connection, &packet)
                            : standin::ExecuteConsoleCommand(ann_, "Glyphwork.Reload"));
      EXPECT_THAT(WithoutDate(TakeHostLog()), ElementsAre("[Glyphwork][error] " + c.log));
      EXPECT_EQ(c.console, WithoutTime(TakeConsole())) << c.log;
      EXPECT_THAT(game_->load_requests, IsEmpty()) << "no asset loading after a failed read";
      EXPECT_THAT(ann_->direct, IsEmpty());
      if (over_rcon) {
        ASSERT_EQ(1u, connection.replies.size());
        EXPECT_EQ("9 0 \"\"", Flatten(connection.replies[0]));
      }
      EXPECT_EQ(c.shown, Shown()) << c.log;
      // Back to the old files and documents.
      fs::remove(PluginDir() / "Packs" / "b.json");
      fs::remove(PluginDir() / "Packs" / "c.json");
      WriteConfig(kOldConfig);
      ASSERT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
      ASSERT_EQ(old_in_effect, Shown());
      TakeConsole();
      game_->load_requests.clear();
    }
  }
}

TEST_F(ReloadTest, TheConsoleCommandWithoutAPlayerDoesNothing) {
  fs::remove(PluginDir() / "config.json");  // a reload would log its failure
  EXPECT_TRUE(standin::ExecuteConsoleCommand(nullptr, "Glyphwork.Reload"));
  WriteConfig(kNewConfig);  // and a successful one would print and load
  EXPECT_TRUE(standin::ExecuteConsoleCommand(nullptr, "Glyphwork.Reload"));
  EXPECT_THAT(TakeHostLog(), IsEmpty());
  EXPECT_THAT(TakeConsole(), IsEmpty());
  EXPECT_THAT(game_->load_requests, IsEmpty());
  EXPECT_THAT(ann_->direct, IsEmpty());
  EXPECT_THAT(bob_->direct, IsEmpty());
  EXPECT_EQ(Markup("/Game/E/smile.smile") + " :grin: " + Markup("/Game/W/wave.wave") + " :hi:", Shown());
}

// The documents after each kind of failure, read directly.
class ReloadDocumentsTest : public CoreTest {};

TEST_F(ReloadDocumentsTest, EachKindOfFailureLeavesEachDocumentWholeOldOrWholeNew) {
  const std::string old_config = R"({"RemapEmoji":[{"Name":"wave","Path":"/Game/W/wave.wave"}],"UsePermissions":true})";
  const std::string old_packs = R"({"EmojiMap":[{"EmojiArray":["smile"],"EmojiPath":"/Game/E/"}]})";
  const std::string new_packs =
      R"({"EmojiMap":[{"EmojiArray":["smile"],"EmojiPath":"/Game/E/"},{"EmojiArray":["grin"],"EmojiPath":"/Game/E/"}]})";
  struct Case {
    const char* config;  // nullptr: no config.json
    std::string extra_pack;
    std::string error;
    bool new_config;
    bool new_packs;
    std::vector<std::string> console;
  };
  const std::vector<Case> cases = {
      {nullptr, "", "Can't open config.json", false, false, {}},
      {R"({"UsePermissions": false, "RemapEmoji": [})",
       "",
       "[json.exception.parse_error.101] parse error at line 1, column 42: syntax error while parsing value - "
       "unexpected '}'; expected '[', '{', or a literal",
       false,
       false,
       {}},
      {R"({"UsePermissions": false})", "not json",
       "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing value - invalid "
       "literal; last read: 'no'",
       true, false, {"31 [Glyphwork][ERR] Can't parse c.json pack!"}},
      {"[]", "", "[json.exception.type_error.306] cannot use value() with array", true, false, {}},
      // Wrong types are no read failure: both documents are the new ones.
      {R"({"RemapEmoji": [{"Name": "x", "Path": 5}]})", "",
       "[json.exception.type_error.302] type must be string, but is number", true, true,
       {"31 [Glyphwork][ERR] Invalid Path: /Game/E/smile.smile", "31 [Glyphwork][ERR] Invalid Path: /Game/E/grin.grin"}},
  };
  AShooterPlayerController* ann = game_->Join("Ann", "1");
  for (const bool over_rcon : {false, true}) {
    for (const Case& c : cases) {
      fs::remove_all(PluginDir() / "Packs");
      WriteConfig(R"({"UsePermissions": true, "RemapEmoji": [{"Name": "wave", "Path": "/Game/W/wave.wave"}]})");
      WritePack("a.json", kSmilePack);
      ReadConfig();
      LoadPacks();
      ASSERT_EQ(old_config, ConfigDocument.dump());
      ASSERT_EQ(old_packs, PackDocument.dump());

      fs::remove(PluginDir() / "config.json");
      if (c.config) WriteConfig(c.config);
      WritePack("b.json", kGrinPack);
      if (!c.extra_pack.empty()) WritePack("c.json", c.extra_pack);
      RCONClientConnection connection;
      RCONPacket packet;
      packet.Id = 5;
      if (over_rcon) {
        OnReloadRconCommand(&connection, &packet, nullptr);
        EXPECT_THAT(connection.replies, ::testing::SizeIs(1));
        for (const auto& reply : connection.replies) EXPECT_EQ("5 0 \"\"", Flatten(reply));
      } else {
        FString command("Glyphwork.Reload");
        OnReloadConsoleCommand(ann, &command, false);
        EXPECT_THAT(ann->direct, IsEmpty());
      }
      EXPECT_THAT(WithoutDate(TakeHostLog()), ElementsAre("[Glyphwork][error] Failed to read config! " + c.error));
      EXPECT_EQ(c.console, WithoutTime(TakeConsole())) << c.error;
      EXPECT_EQ(c.new_config ? nlohmann::json::parse(c.config).dump() : old_config, ConfigDocument.dump()) << c.error;
      EXPECT_EQ(c.new_packs ? new_packs : old_packs, PackDocument.dump()) << c.error;
    }
  }
}

}  // namespace
}  // namespace glyphwork::testing
