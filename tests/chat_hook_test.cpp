// The chat hook as the game calls it: the rewriting's edge cases, permission
// gating, wrong types in the documents, and reloads.
#include "chat/chat_hook.h"

#include <gmock/gmock.h>

#include "config/config.h"
#include "standin/permissions/permissions.h"
#include "tests/chat_fixture.h"

namespace glyphwork::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using json = nlohmann::json;

struct Case {
  json config;
  std::vector<json> packs;
  std::string text;
  std::string expected;
};

class ChatHookTest : public ChatTest {
 protected:
  void SetUp() override {
    ChatTest::SetUp();
    Permissions::StandIn::Clear();
    ann_ = game_->Join("Ann", "1");
  }

  void ExpectAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      Use(c.config, c.packs);
      EXPECT_EQ(c.expected, Deliver(ann_, c.text)) << "config " << c.config << ", text \"" << c.text << "\"";
    }
  }

  // Delivers raw UTF-16 units to `recipient`; returns the units the game got.
  std::u16string DeliverUnits(AShooterPlayerController* recipient, const std::u16string& units) {
    std::u16string received;
    int deliveries = 0;
    game_->on_chat = [&](AShooterPlayerController*, const FPrimalChatMessage& message) {
      received = UnitsOf(message.Message);
      ++deliveries;
    };
    FPrimalChatMessage message;
    message.Message = FStringFromUnits(units);
    standin::Game::Deliver(recipient, message);
    game_->on_chat = nullptr;
    EXPECT_EQ(1, deliveries);
    return received;
  }

  AShooterPlayerController* ann_ = nullptr;
};

TEST(ReplaceAllTest, ReplacesLeftToRightWithoutRescanningItsOwnMarkup) {
  struct ReplaceCase {
    std::string text, code, markup, expected;
  };
  for (const ReplaceCase& c : std::vector<ReplaceCase>{
           {"a:x:b:x:", ":x:", "[X]", "a[X]b[X]"},
           {":::", "::", "M", "M:"},
           {"x:a:y", ":a:", ":a::a:", "x:a::a:y"},  // inserted codes stay
           {":a:a:", ":a:", "", "a:"},
           {"none", ":a:", "M", "none"},
           {"", ":a:", "M", ""},
       }) {
    std::string text = c.text;
    EXPECT_EQ(c.expected, ReplaceAll(text, c.code, c.markup)) << c.text;
    EXPECT_EQ(c.expected, text) << c.text;
  }
  std::string text = "keep :: this";
  EXPECT_EQ("", ReplaceAll(text, "", "M"));
  EXPECT_EQ("keep :: this", text);
}

TEST_F(ChatHookTest, CodesAreReplacedWhereverTheyStand) {
  const json config = {{"RemapEmoji", {{{"Name", "wave"}, {"Path", "/Game/W/wave.wave"}}}}};
  const json pack = {{"EmojiPath", "/Game/E/"}, {"EmojiArray", {"smile", "wink", "café"}}};
  const std::string smile = Img("/Game/E/smile.smile"), wink = Img("/Game/E/wink.wink");
  std::vector<Case> cases;
  for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
           {":smile:", smile},
           {"say:smile:now", "say" + smile + "now"},
           {":smile", ":smile"},
           {"smile: :smile :smile", "smile: :smile :smile"},
           {":smile::smile:", smile + smile},
           {"::smile::", ":" + smile + ":"},
           {":smile:wink:", smile + "wink:"},
           {":Smile: :SMILE:", ":Smile: :SMILE:"},
           {"", ""},
           {"meet at 12:30:45, http://x.y", "meet at 12:30:45, http://x.y"},
           {":wave: and :wink:", Img("/Game/W/wave.wave") + " and " + wink},
           {"über :café: ü", "über " + Img("/Game/E/café.café") + " ü"},
           {":cafe: :CAFÉ:", ":cafe: :CAFÉ:"},
       }) {
    cases.push_back({config, {pack}, text, expected});
  }
  ExpectAll(cases);
}

TEST_F(ChatHookTest, PassesRunInOrderEachOverTheWholeCurrentText) {
  const json no_config = json::object();
  auto remaps = [](json entries) { return json{{"RemapEmoji", entries}}; };
  const std::string open = "<img src=\"chat.image\" path=\"", close = "\"/>";
  ExpectAll({
      // A name in two packs: the first pack's path.
      {no_config,
       {{{"EmojiPath", "/A/"}, {"EmojiArray", {"x"}}}, {{"EmojiPath", "/B/"}, {"EmojiArray", {"x"}}}},
       ":x: :x:",
       Img("/A/x.x") + " " + Img("/A/x.x")},
      // A remap of a pack's name changes nothing.
      {remaps({{{"Name", "x"}, {"Path", "/R"}}}),
       {{{"EmojiPath", "/A/"}, {"EmojiArray", {"x"}}}},
       ":x:",
       Img("/A/x.x")},
      // Overlapping codes go to the earlier pass, wherever they stand.
      {no_config, {{{"EmojiArray", {"a", "b"}}}}, ":a:b:", Img("a.a") + "b:"},
      {no_config, {{{"EmojiArray", {"b", "a"}}}}, ":a:b:", ":a" + Img("b.b")},
      // No EmojiPath: the name, a dot, the name.
      {no_config, {{{"EmojiArray", {"smile"}}}}, ":smile:", Img("smile.smile")},
      // No Name: the code is two adjacent colons. No Path: an empty path.
      {remaps({{{"Path", "/P"}}}), {}, "a::b", "a" + Img("/P") + "b"},
      {remaps({{{"Path", "/P"}}}), {}, ":::", Img("/P") + ":"},
      {remaps({{{"Name", "n"}}}), {}, ":n:", Img("")},
      {remaps(json::array({json::object()})), {}, "x::y", "x" + Img("") + "y"},
      // A name holding a colon.
      {remaps({{{"Name", "a:b"}, {"Path", "/AB"}}}), {}, ":a:b: :a:", Img("/AB") + " :a:"},
      // Markup put in by a pass is searched by the later ones: a code inside a
      // pack's path, and a later duplicate firing on a code re-created by a
      // remap's path.
      {remaps({{{"Name", "x"}, {"Path", "/X"}}}),
       {{{"EmojiPath", ":x:"}, {"EmojiArray", {"y"}}}},
       ":y:",
       open + Img("/X") + "y.y" + close},
      {remaps({{{"Name", "a"}, {"Path", ":b:"}}, {{"Name", "b"}, {"Path", "/B2"}}}),
       {{{"EmojiPath", "/P/"}, {"EmojiArray", {"b"}}}},
       ":a: :b:",
       open + Img("/B2") + close + " " + Img("/P/b.b")},
      // A code across the edge of inserted markup, and one holding all of it.
      {remaps({{{"Name", "a"}, {"Path", "x:"}}, {{"Name", "\"/>b"}, {"Path", "Z"}}}),
       {},
       ":a:b:",
       open + "x" + Img("Z")},
      {remaps({{{"Name", "a"}, {"Path", "/P1"}}, {{"Name", "x" + Img("/P1") + "y"}, {"Path", "/Q"}}}),
       {},
       ":x:a:y:",
       Img("/Q")},
  });
}

TEST_F(ChatHookTest, ListsFollowTheJsonIterationRules) {
  auto pack_with = [](json array) { return json{{"EmojiPath", "/A/"}, {"EmojiArray", array}}; };
  ExpectAll({
      {json::object(), {pack_with("x")}, ":x:", Img("/A/x.x")},
      {json::object(), {pack_with(nullptr)}, ":x:", ":x:"},
      // An object's values in the order of its keys: "y" (key a) before "x".
      {json::object(), {pack_with({{"b", "x"}, {"a", "y"}})}, ":x:y:", ":x" + Img("/A/y.y")},
      {{{"RemapEmoji", nullptr}}, {}, ":x:", ":x:"},
      {{{"RemapEmoji", {{"k2", {{"Name", "x"}, {"Path", "/2"}}}, {"k1", {{"Name", "x"}, {"Path", "/1"}}}}}},
       {},
       ":x:",
       Img("/1")},
  });
  ConfigDocument = json::object();
  PackDocument = {{"EmojiMap", nullptr}};
  BumpDocumentsGeneration();
  EXPECT_EQ(":x:", Deliver(ann_, ":x:"));

  Permissions::StandIn::AddToGroup("1", "G");
  Use({{"UsePermissions", true}, {"PermissionsGroups", "G"}}, {pack_with("x")});
  EXPECT_EQ(Img("/A/x.x"), Deliver(ann_, ":x:"));
  EXPECT_THAT(Permissions::StandIn::TakeChecks(), ElementsAre("1|G"));
  Use({{"UsePermissions", true}, {"PermissionsGroups", nullptr}}, {pack_with("x")});
  EXPECT_EQ(":x:", Deliver(ann_, ":x:"));
  EXPECT_THAT(Permissions::StandIn::TakeChecks(), IsEmpty());
}

TEST_F(ChatHookTest, PermissionsAreCheckedForTheRecipientInEveryGroup) {
  const json pack = {{"EmojiPath", "/E/"}, {"EmojiArray", {"smile"}}};
  const std::string smile = Img("/E/smile.smile");
  auto* bob = game_->Join("Bob", "2");
  auto* cid = game_->Join("Cid", "3");
  Permissions::StandIn::AddToGroup("1", "C");  // only the last group
  Permissions::StandIn::AddToGroup("3", "A");
  Permissions::StandIn::AddToGroup("3", "C");
  Use({{"UsePermissions", true}, {"PermissionsGroups", {"A", "B", "C"}}}, {pack});

  for (int round = 0; round < 2; ++round) {  // the second time from the reused results
    standin::AdvanceGameClock(1);
    game_->Say("Bob", "hi :smile:");
    EXPECT_EQ("hi " + smile, ann_->received.back());
    EXPECT_EQ("hi :smile:", bob->received.back());
    EXPECT_EQ("hi " + smile, cid->received.back());
    EXPECT_THAT(Permissions::StandIn::TakeChecks(),
                ElementsAre("1|A", "1|B", "1|C", "2|A", "2|B", "2|C", "3|A", "3|B", "3|C"));
  }

  // A null controller is checked with an empty id.
  EXPECT_EQ(":smile:", DeliverToNobody(":smile:"));
  EXPECT_THAT(Permissions::StandIn::TakeChecks(), ElementsAre("|A", "|B", "|C"));
  Permissions::StandIn::AddToGroup("", "B");
  EXPECT_EQ(smile, DeliverToNobody(":smile:"));
  Permissions::StandIn::TakeChecks();

  // No groups, or gating off.
  for (const json& groups : {json(nullptr), json::array()}) {
    json config = {{"UsePermissions", true}};
    if (!groups.is_null()) config["PermissionsGroups"] = groups;
    Use(config, {pack});
    EXPECT_EQ(":smile:", Deliver(ann_, ":smile:"));
    EXPECT_EQ(":smile:", Deliver(cid, ":smile:"));
  }
  Use({{"UsePermissions", false}, {"PermissionsGroups", {"A"}}}, {pack});
  EXPECT_EQ(smile, Deliver(bob, ":smile:"));
  EXPECT_THAT(Permissions::StandIn::TakeChecks(), IsEmpty());
}

TEST_F(ChatHookTest, TheTextIsAlwaysConvertedAndReplacedAndNoBufferLeaks) {
  // A lone surrogate does not survive the trip through UTF-8: it shows that
  // the text was replaced even where nothing was rewritten.
  const std::u16string lone = u"hi \xD800 there";
  const std::u16string converted = u"hi \xFFFD there";
  const json pack = {{"EmojiArray", {"smile"}}};
  auto* bob = game_->Join("Bob", "2");
  Permissions::StandIn::AddToGroup("1", "A");
  const int64_t before = standin::Game::LiveAllocations();
  for (const json& config : {json::object(), json{{"UsePermissions", true}, {"PermissionsGroups", {"A"}}}}) {
    Use(config, {pack});
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(converted, DeliverUnits(ann_, lone));
      EXPECT_EQ(converted, DeliverUnits(bob, lone));
      EXPECT_EQ(u"", DeliverUnits(ann_, u""));
    }
  }
  EXPECT_EQ(before, standin::Game::LiveAllocations());
  EXPECT_EQ(0, game_->malformed_records);
}

TEST_F(ChatHookTest, AWrongTypeDeliversTheOriginalTextAndIsReportedOncePerChange) {
  struct TypeCase {
    json config;
    std::vector<json> packs;
    std::vector<std::string> checks;  // of one delivery to Ann
    std::string error;
  };
  const json smile_pack = {{"EmojiArray", {"smile"}}};
  const json gated = {{"UsePermissions", true}, {"PermissionsGroups", {"A"}}};
  const std::string config = "ArkApi/Plugins/Glyphwork/config.json: ",
                    pack = "ArkApi/Plugins/Glyphwork/Packs/p0.json: ";
  const std::vector<TypeCase> cases = {
      {{{"UsePermissions", "yes"}}, {smile_pack}, {}, config + "UsePermissions: expected a boolean, found a string"},
      {json::array({1, 2}), {smile_pack}, {}, config + "expected an object at the top level, found a list"},
      {{{"UsePermissions", true}, {"PermissionsGroups", {"A", 7, "B"}}},
       {smile_pack},
       {"1|A"},
       config + "PermissionsGroups[1]: expected a string, found a number"},
      {gated, {{{"EmojiArray", {"smile", 5}}}}, {"1|A"}, pack + "EmojiArray[1]: expected a string, found a number"},
      {gated, {{{"EmojiArray", 5}}}, {"1|A"}, pack + "EmojiArray: expected a string, found a number"},
      {json::object(), {json::array({"smile"})}, {}, pack + "expected an object at the top level, found a list"},
      {json::object(),
       {{{"EmojiPath", 1}, {"EmojiArray", {"smile"}}}},
       {},
       pack + "EmojiPath: expected a string, found a number"},
      {{{"RemapEmoji", {{{"Name", 3}}}}},
       {smile_pack},
       {},
       config + "RemapEmoji[0].Name: expected a string, found a number"},
      {{{"RemapEmoji", {{{"Path", nullptr}}}}},
       {smile_pack},
       {},
       config + "RemapEmoji[0].Path: expected a string, found null"},
      {{{"RemapEmoji", {"x"}}}, {smile_pack}, {}, config + "RemapEmoji[0]: expected an object, found a string"},
  };
  Permissions::StandIn::AddToGroup("1", "A");
  const std::u16string original = u":smile: \xD800";
  for (const TypeCase& c : cases) {
    Use(c.config, c.packs);
    for (int change = 0; change < 2; ++change) {
      for (int message = 0; message < 3; ++message) {
        EXPECT_EQ(original, DeliverUnits(ann_, original)) << c.config;
        EXPECT_EQ(c.checks, Permissions::StandIn::TakeChecks()) << c.config;
      }
      EXPECT_THAT(WithoutTime(TakeConsole()),
                  ElementsAre("31 [Glyphwork][ERR] Chat message delivered without emoji, config.json or a pack has "
                              "a wrong type: " +
                              c.error))
          << c.config;
      BumpDocumentsGeneration();  // as a reload does
    }
  }

  // A recipient who is not allowed never reaches the packs: a bad pack does
  // not concern him.
  auto* bob = game_->Join("Bob", "2");
  Use(gated, {{{"EmojiArray", {"smile", 5}}}});
  EXPECT_EQ(":smile: x", Deliver(bob, ":smile: x"));
  EXPECT_THAT(TakeConsole(), IsEmpty());
  EXPECT_EQ(":smile: x", Deliver(ann_, ":smile: x"));
  EXPECT_EQ(1u, TakeConsole().size());
}

class ChatReloadTest : public ServerTest {};

TEST_F(ChatReloadTest, AReloadChangesTheNextMessage) {
  Permissions::StandIn::Clear();
  WriteConfig("{}");
  WritePack("p.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile"]})");
  ASSERT_TRUE(LoadPlugin());
  auto* ann = game_->Join("Ann", "1");
  const std::string text = ":smile: :wave:";
  EXPECT_EQ(Img("/Game/E/smile.smile") + " :wave:", Deliver(ann, text));

  WriteConfig(R"({"RemapEmoji": [{"Name": "wave", "Path": "/Game/W/wave.wave"}]})");
  WritePack("p.json", R"({"EmojiPath": "/Game/F/", "EmojiArray": ["smile"]})");
  ASSERT_TRUE(standin::ExecuteConsoleCommand(ann, "Glyphwork.Reload"));
  EXPECT_EQ(Img("/Game/F/smile.smile") + " " + Img("/Game/W/wave.wave"), Deliver(ann, text));

  // A reload that fails at config.json changes nothing.
  WriteConfig("{");
  ASSERT_TRUE(standin::ExecuteConsoleCommand(ann, "Glyphwork.Reload"));
  EXPECT_EQ(Img("/Game/F/smile.smile") + " " + Img("/Game/W/wave.wave"), Deliver(ann, text));

  WriteConfig(R"({"UsePermissions": true, "PermissionsGroups": ["A"]})");
  ASSERT_TRUE(standin::ExecuteConsoleCommand(ann, "Glyphwork.Reload"));
  EXPECT_EQ(text, Deliver(ann, text));
  ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
}

}  // namespace
}  // namespace glyphwork::testing
