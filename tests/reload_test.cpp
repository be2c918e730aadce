// "Glyphwork.Reload" on the game console and over RCON.
#include "commands/reload.h"

#include <gmock/gmock.h>

#include <functional>

#include "config/config.h"
#include "standin/permissions/permissions.h"
#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Markup(const std::string& path) { return "<img src=\"chat.image\" path=\"" + path + "\"/>"; }

std::string Flatten(const AShooterPlayerController::DirectMessage& m) {
  return m.text + " (" + std::to_string(m.colour.R) + "," + std::to_string(m.colour.G) + "," +
         std::to_string(m.colour.B) + "," + std::to_string(m.colour.A) + ") " + (m.flag ? "true " : "false ") +
         m.sender;
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
  const std::string all = Markup("/Game/E/smile.smile") + " " + Markup("/Game/E/grin.grin") + " " +
                          Markup("/Game/W/wave.wave") + " " + Markup("/Game/W/hi.hi");
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

TEST_F(ReloadTest, AFailedReloadChangesNothingAndNamesTheFileAndKey) {
  const std::string config = "ArkApi/Plugins/Glyphwork/config.json: ";
  const std::string hi = R"({"Name": "hi", "Path": "/Game/W/hi.hi"})";
  const std::string wave = R"({"Name": "wave", "Path": "/Game/W/wave.wave"})";
  struct Case {
    std::function<void()> make;  // on top of edits that would change what Ann and Bob see
    std::string log;
    std::vector<std::string> console;
  };
  const std::vector<Case> cases = {
      {[&] { fs::remove(PluginDir() / "config.json"); }, config + "Can't open config.json", {}},
      {[&] { WriteConfig(R"({"RemapEmoji": [})"); },
       config + "[json.exception.parse_error.101] parse error at line 1, column 17: syntax error while parsing value - "
                "unexpected '}'; expected '[', '{', or a literal",
       {}},
      {[&] { WritePack("c.json", "not json"); },
       "ArkApi/Plugins/Glyphwork/Packs/c.json: [json.exception.parse_error.101] parse error at line 1, column 2: "
       "syntax error while parsing value - invalid literal; last read: 'no'",
       {"31 [Glyphwork][ERR] Can't parse c.json pack!"}},
      {[&] { WriteConfig(R"({"UsePermissions": "yes", "RemapEmoji": [)" + hi + "]}"); },
       config + "UsePermissions: expected a boolean, found a string",
       {}},
      {[&] { WriteConfig(R"({"UsePermissions": true, "PermissionsGroups": ["A", 2]})"); },
       config + "PermissionsGroups[1]: expected a string, found a number",
       {}},
      {[&] { WriteConfig(R"({"RemapEmoji": [)" + wave + R"(, {"Name": "hi", "Path": 5}]})"); },
       config + "RemapEmoji[1].Path: expected a string, found a number",
       {}},
      {[&] { WritePack("b.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["grin", 1]})"); },
       "ArkApi/Plugins/Glyphwork/Packs/b.json: EmojiArray[1]: expected a string, found a number",
       {}},
      {[&] { WritePack("b.json", R"(["grin"])"); },
       "ArkApi/Plugins/Glyphwork/Packs/b.json: expected an object at the top level, found a list",
       {}},
      {[&] { WriteConfig("[]"); }, config + "expected an object at the top level, found a list", {}},
  };
  Permissions::StandIn::AddToGroup("1", "A");
  for (const bool over_rcon : {false, true}) {
    for (const Case& c : cases) {
      WriteConfig(kOldConfig);
      fs::remove_all(PluginDir() / "Packs");
      WritePack("a.json", kSmilePack);
      ASSERT_TRUE(standin::ExecuteConsoleCommand(ann_, "Glyphwork.Reload"));
      ann_->direct.clear();
      TakeConsole();
      const std::string ann_before = Shown(), bob_before = Deliver(bob_, ":smile: :grin: :wave: :hi:");

      WriteConfig(kNewConfig);
      WritePack("b.json", kGrinPack);
      c.make();
      game_->load_requests.clear();
      RCONClientConnection connection;
      RCONPacket packet;
      packet.Id = 9;
      packet.Body = FString("Glyphwork.Reload");
      EXPECT_TRUE(over_rcon ? standin::ExecuteRconCommand(&connection, &packet)
                            : standin::ExecuteConsoleCommand(ann_, "Glyphwork.Reload"));
      EXPECT_THAT(WithoutDate(TakeHostLog()), ElementsAre("[Glyphwork][error] Failed to read config! " + c.log));
      EXPECT_EQ(c.console, WithoutTime(TakeConsole())) << c.log;
      EXPECT_THAT(game_->load_requests, IsEmpty()) << "no texture loading after a failed reload: " << c.log;
      EXPECT_THAT(ann_->direct, IsEmpty()) << c.log;
      if (over_rcon) {
        EXPECT_THAT(connection.replies, ElementsAre(::testing::Field(&RCONClientConnection::Reply::text, "")));
      }
      EXPECT_EQ(ann_before, Shown()) << c.log;
      EXPECT_EQ(bob_before, Deliver(bob_, ":smile: :grin: :wave: :hi:")) << c.log;
      EXPECT_THAT(WithoutTime(TakeConsole()), IsEmpty()) << "the previous rules hold no wrong type: " << c.log;

      // Mended, the same edits take effect at the next message.
      WriteConfig(kNewConfig);
      WritePack("b.json", kGrinPack);
      fs::remove(PluginDir() / "Packs" / "c.json");
      ASSERT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
      EXPECT_EQ(Markup("/Game/E/smile.smile") + " " + Markup("/Game/E/grin.grin") + " " + Markup("/Game/W/wave.wave") +
                    " " + Markup("/Game/W/hi.hi"),
                Shown())
          << c.log;
      EXPECT_THAT(TakeHostLog(), IsEmpty()) << c.log;
    }
  }
  Permissions::StandIn::Clear();
}

TEST_F(ReloadTest, ATextureLoadingThatThrowsIsLoggedAndKeepsTheNewFiles) {
  WriteConfig(kNewConfig);
  WritePack("b.json", kGrinPack);
  game_->on_load = [](const std::string& path) {
    if (path == "/Game/E/grin.grin") throw std::runtime_error("engine out of memory");
  };
  RCONClientConnection connection;
  RCONPacket packet;
  packet.Id = 3;
  packet.Body = FString("Glyphwork.Reload");
  EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
  EXPECT_THAT(WithoutDate(TakeHostLog()),
              ElementsAre("[Glyphwork][error] Failed to read config! engine out of memory"));
  EXPECT_THAT(connection.replies, ElementsAre(::testing::Field(&RCONClientConnection::Reply::text, "")));
  EXPECT_EQ(Markup("/Game/E/smile.smile") + " " + Markup("/Game/E/grin.grin") + " " + Markup("/Game/W/wave.wave") +
                " " + Markup("/Game/W/hi.hi"),
            Shown());
  game_->on_load = nullptr;
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

}  // namespace
}  // namespace glyphwork::testing
