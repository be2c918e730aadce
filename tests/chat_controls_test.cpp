// The community controls: the per-message cap, escapes, typed markup, packs
// behind Groups and the players' emoji list, through the installed hook, the
// loaded plugin and the game's chat.
#include <gmock/gmock.h>

#include <random>

#include "config/config.h"
#include "standin/permissions/permissions.h"
#include "tests/chat_fixture.h"
#include "tests/reference/literal_chat.h"

namespace glyphwork::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using json = nlohmann::json;

const json kPack = {{"EmojiPath", "/E/"}, {"EmojiArray", {"a", "b"}}};
const std::string kA = Img("/E/a.a"), kB = Img("/E/b.b");

class ChatControlsTest : public ChatTest {
 protected:
  void SetUp() override {
    ChatTest::SetUp();
    Permissions::StandIn::Clear();
    ann_ = game_->Join("Ann", "1");
  }
  void TearDown() override {
    Permissions::StandIn::Clear();
    ChatTest::TearDown();
  }

  AShooterPlayerController* ann_ = nullptr;
};

TEST_F(ChatControlsTest, CapEscapesAndTypedMarkupAloneAndTogether) {
  struct Case {
    json controls;
    std::string text;
    std::string expected;
  };
  const std::string look_alike = "\xE2\x80\xB9";  // U+2039
  const std::vector<Case> cases = {
      // The first codes from the left, also next to each other.
      {{{"MaxEmojiPerMessage", 0}}, ":a::b: x", ":a::b: x"},
      {{{"MaxEmojiPerMessage", 1}}, ":b::a::b: x :a:", kB + ":a::b: x :a:"},
      {{{"MaxEmojiPerMessage", 3}}, ":a::b::a::b: :a:", kA + kB + kA + ":b: :a:"},
      {{{"MaxEmojiPerMessage", 9}}, ":a::b:", kA + kB},
      // A backslash before a code keeps the code as text, wherever it stands.
      {{{"AllowEscape", true}}, "\\:a: first", ":a: first"},
      {{{"AllowEscape", true}}, "last \\:a:", "last :a:"},
      {{{"AllowEscape", true}}, "say \\:a: for " + std::string(":a:"), "say :a: for " + kA},
      {{{"AllowEscape", true}}, "\\:a:\\:b::a:", ":a::b:" + kA},
      {{{"AllowEscape", true}}, "\\\\:a: \\x :b", "\\:a: \\x :b"},
      {{{"AllowEscape", false}}, "\\:a:", "\\" + kA},
      // Tags typed in chat form no tag; a "<" that starts none stays.
      {{{"BlockTypedMarkup", true}},
       "<img src=\"chat.image\" path=\"/X.X\"/> </b> 1 < 2 <3 :a:",
       look_alike + "img src=\"chat.image\" path=\"/X.X\"/> " + look_alike + "/b> 1 < 2 <3 " + kA},
      {{{"BlockTypedMarkup", false}}, "<b>:a:</b>", "<b>" + kA + "</b>"},
      // Together: escapes do not count against the cap.
      {{{"MaxEmojiPerMessage", 1}, {"AllowEscape", true}, {"BlockTypedMarkup", true}},
       "\\:a: <i>:b::a:",
       ":a: " + look_alike + "i>" + kB + ":a:"},
  };
  for (const Case& c : cases) {
    Use(c.controls, {kPack});
    EXPECT_EQ(c.expected, Deliver(ann_, c.text)) << c.controls << " \"" << c.text << "\"";
  }
  EXPECT_THAT(TakeConsole(), IsEmpty());
}

// Where a name or a path holds a colon, replacing codes can form new ones;
// the cap still keeps the codes as typed first, by where they were typed,
// then the formed ones in the order they are replaced.
TEST_F(ChatControlsTest, TheCapCountsCodesWhereTheyWereTypedWhateverTheirColons) {
  struct Case {
    std::vector<json> packs;
    std::string text;
    std::vector<std::string> expected;  // for a cap of 0, 1, 2, ...; the last also without a cap
  };
  const json emoji_y = {{"EmojiPath", "/E/"}, {"EmojiArray", {"y"}}};
  const json emoji_a_b = {{"EmojiPath", "/E/"}, {"EmojiArray", {"a", "b"}}};
  const std::string y = Img("/E/y.y"), a = Img("/E/a.a"), b = Img("/E/b.b");
  // Markup that holds :a:, and markup for :a: that holds :b:.
  const json q_holds_a = {{"EmojiPath", "/G/:a:"}, {"EmojiArray", {"q"}}};
  const json a_holds_b = {{"EmojiPath", "/H/:b:"}, {"EmojiArray", {"a"}}};
  const std::string q = Img("/G/:a:q.q"), q_with_a = Img("/G/" + a + "q.q");
  const std::vector<Case> cases = {
      // A colon in the path of a pack that comes first.
      {{{{"EmojiPath", "/X:/"}, {"EmojiArray", {"x"}}}, emoji_y},
       ":y: :x:",
       {":y: :x:", y + " :x:", y + " " + Img("/X:/x.x")}},
      // A colon in a name, in another pack or in the same one.
      {{{{"EmojiPath", "/E/"}, {"EmojiArray", {"x:"}}}, emoji_y},
       ":y: :x::",
       {":y: :x::", y + " :x::", y + " " + Img("/E/x:.x:")}},
      {{{{"EmojiPath", "/E/"}, {"EmojiArray", {"a:b", "b"}}}},
       ":b: :a:b:",
       {":b: :a:b:", b + " :a:b:", b + " " + Img("/E/a:b.a:b")}},
      // The :a: typed counts before the one in the picture's path.
      {{q_holds_a, emoji_a_b}, ":q: :a:", {":q: :a:", q + " :a:", q + " " + a, q_with_a + " " + a}},
      // The first formed code is kept, the second undone, :b: typed later stays.
      {{q_holds_a, emoji_a_b},
       ":q: :q: :b:",
       {":q: :q: :b:", q + " :q: :b:", q + " " + q + " :b:", q + " " + q + " " + b, q_with_a + " " + q + " " + b,
        q_with_a + " " + q_with_a + " " + b}},
      // Formed inside formed: undone the last first.
      {{q_holds_a, a_holds_b, emoji_a_b},
       ":q:",
       {":q:", q, Img("/G/" + Img("/H/:b:a.a") + "q.q"), Img("/G/" + Img("/H/" + b + "a.a") + "q.q")}},
  };
  for (const Case& c : cases) {
    for (size_t cap = 0; cap <= c.expected.size(); ++cap) {
      const json config = cap < c.expected.size() ? json{{"MaxEmojiPerMessage", cap}} : json::object();
      Use(config, c.packs);
      const std::string& expected = c.expected[std::min(cap, c.expected.size() - 1)];
      EXPECT_EQ(expected, Deliver(ann_, c.text)) << config << " " << json(c.packs) << " \"" << c.text << "\"";
    }
  }
  EXPECT_THAT(TakeConsole(), IsEmpty());
}

TEST_F(ChatControlsTest, PacksBehindGroupsWithAndWithoutUsePermissions) {
  auto* bob = game_->Join("Bob", "2");
  auto* cid = game_->Join("Cid", "3");
  Permissions::StandIn::AddToGroup("1", "VIP");
  Permissions::StandIn::AddToGroup("3", "Emoji");
  Permissions::StandIn::AddToGroup("3", "VIP");
  // The VIP pack comes first and defines :a: too: its members see its picture.
  const json vip = {{"EmojiPath", "/V/"}, {"EmojiArray", {"a", "gold"}}, {"Groups", {"VIP", "Staff"}}};
  const std::string text = ":a: :b: :gold:";
  const std::string public_only = kA + " " + kB + " :gold:";
  const std::string with_vip = Img("/V/a.a") + " " + kB + " " + Img("/V/gold.gold");

  Use(json::object(), {vip, kPack});
  EXPECT_EQ(with_vip, Deliver(ann_, text));
  EXPECT_EQ(public_only, Deliver(bob, text));
  EXPECT_EQ(with_vip, Deliver(cid, text));

  // On top of UsePermissions: Ann is VIP but not in PermissionsGroups.
  Use({{"UsePermissions", true}, {"PermissionsGroups", {"Emoji"}}}, {vip, kPack});
  EXPECT_EQ(text, Deliver(ann_, text));
  EXPECT_EQ(text, Deliver(bob, text));
  EXPECT_EQ(with_vip, Deliver(cid, text));
  Permissions::StandIn::RemoveFromGroup("3", "VIP");
  EXPECT_EQ(public_only, Deliver(cid, text));

  // No group at all: nobody gets the pack.
  Use(json::object(), {{{"EmojiPath", "/V/"}, {"EmojiArray", {"gold"}}, {"Groups", json::array()}}});
  EXPECT_EQ(":gold:", Deliver(ann_, ":gold:"));
  EXPECT_THAT(TakeConsole(), IsEmpty());
}

// Random documents, random controls and groups, messages full of codes,
// backslashes and "<": the hook writes what the plain controls write, for a
// recipient in some groups and one in none. Names and paths hold colons, so
// that markup forms codes: in a path ("/:a:1/" puts :a: in the picture's
// path) and in names (:a:b: holds :a: and :b:).
TEST_F(ChatControlsTest, TheHookWritesWhatThePlainControlsWrite) {
  std::mt19937 random(20261208);
  const auto below = [&](int n) { return int(random() % unsigned(n)); };
  const std::vector<std::string> names = {"a", "b", "ab", "x", "gold", "", "a:b", "x:", ":"};
  const std::vector<std::string> groups = {"A", "B", "C"};
  const std::vector<std::string> pieces = {":a:", ":b:", ":ab:", ":x:", ":gold:", "::", ":", "\\",    "\\:a:",
                                           "<",   "<b>", "</i>", "<1",  " ",      "a",  "é", ":a:b:", ":x::"};
  auto* bob = game_->Join("Bob", "2");
  Permissions::StandIn::AddToGroup("1", "A");
  Permissions::StandIn::AddToGroup("1", "C");
  int rewritten = 0, formed_capped = 0, formed_kept = 0;
  for (int document = 0; document < 1000; ++document) {
    json config = json::object();
    if (below(2)) config["MaxEmojiPerMessage"] = below(6);
    if (below(2)) config["AllowEscape"] = bool(below(2));
    if (below(2)) config["BlockTypedMarkup"] = bool(below(2));
    if (below(4) == 0) {
      config["UsePermissions"] = true;
      config["PermissionsGroups"] = {groups[size_t(below(3))]};
    }
    config["RemapEmoji"] = json::array();
    for (int r = below(3); r > 0; --r) {
      config["RemapEmoji"].push_back(
          {{"Name", names[size_t(below(int(names.size())))]}, {"Path", "/R/" + std::to_string(r)}});
    }
    std::vector<json> packs;
    for (int p = below(4); p > 0; --p) {
      const std::string path = (below(2) == 0 ? "/:a:" : "/P") + std::to_string(p) + "/";
      json pack = {{"EmojiPath", path}, {"EmojiArray", json::array()}};
      for (int n = below(4); n > 0; --n) pack["EmojiArray"].push_back(names[size_t(below(int(names.size())))]);
      if (below(2)) {
        pack["Groups"] = json::array();
        for (int g = below(3); g > 0; --g) pack["Groups"].push_back(groups[size_t(below(3))]);
      }
      packs.push_back(pack);
    }
    Use(config, packs);
    json pack_document = json::object();
    for (const json& pack : packs) pack_document["EmojiMap"].push_back(pack);

    for (int m = 0; m < 10; ++m) {
      std::string text;
      for (int n = below(10); n > 0; --n) text += pieces[size_t(below(int(pieces.size())))];
      for (AShooterPlayerController* recipient : {ann_, bob}) {
        const auto in_group = [&](const std::string& group) {
          return recipient == ann_ && (group == "A" || group == "C");
        };
        const std::string expected = reference::LiteralRewriteWithControls(config, pack_document, text, in_group);
        const std::string delivered = Deliver(recipient, text);
        ASSERT_EQ(expected, delivered) << "config " << config << "\npacks " << pack_document << "\ntext \"" << text
                                       << "\" to " << recipient->name;
        rewritten += delivered != text;
        if (config.contains("MaxEmojiPerMessage")) {
          json uncapped = config;
          uncapped.erase("MaxEmojiPerMessage");
          const std::string all = reference::LiteralRewriteWithControls(uncapped, pack_document, text, in_group);
          formed_capped += all.find("path=\"/<img") != std::string::npos;
          formed_kept += delivered.find("path=\"/<img") != std::string::npos;
        }
      }
    }
  }
  EXPECT_GT(rewritten, 5000);
  EXPECT_GT(formed_capped, 200) << "markup that formed a code, under a cap";
  EXPECT_GT(formed_kept, 50) << "a formed code kept under a cap";
  EXPECT_THAT(TakeConsole(), IsEmpty());
}

class EmojiListTest : public ServerTest {
 protected:
  void TearDown() override {
    Permissions::StandIn::Clear();
    ServerTest::TearDown();
  }
  // What `player` got for one chat line, direct messages flattened.
  std::vector<std::string> Ask(AShooterPlayerController* player, const std::string& line) {
    player->direct.clear();
    standin::AdvanceGameClock(1);  // past the host's spam guard
    game_->Say(player->name, line);
    std::vector<std::string> lines;
    for (const auto& message : player->direct) lines.push_back(message.sender + ": " + message.text);
    return lines;
  }
};

TEST_F(EmojiListTest, PagesFilterGroupsAndTheCommandTakesTheLine) {
  std::string names;
  for (int i = 0; i < 60; ++i) names += (i ? ",\"f" : "\"f") + std::to_string(i) + "\"";
  WriteConfig(R"({"EmojiListCommand": "/emojis", "RemapEmoji": [{"Name": "ark", "Path": "/Game/A.A"}]})");
  WritePack("faces.json", R"({"EmojiPath": "/F/", "EmojiArray": [)" + names + "]}");
  WritePack("vip.json", R"({"EmojiPath": "/V/", "EmojiArray": ["gold"], "Groups": ["VIP"]})");
  ASSERT_TRUE(LoadPlugin());
  auto* ann = game_->Join("Ann", "1");
  auto* bea = game_->Join("Bea", "2");
  Permissions::StandIn::AddToGroup("2", "VIP");
  EXPECT_THAT(standin::TakeEvents(), ::testing::Contains("AddChatCommand /emojis"));

  // 60 faces make 12 lines, 5 to a line; with :ark:, two pages of 8 lines.
  const std::vector<std::string> first = Ask(ann, "/emojis");
  ASSERT_EQ(9u, first.size());
  EXPECT_EQ("Server: Emoji you can use, page 1 of 2: (/emojis 2 for the next)", first[0]);
  EXPECT_EQ("Server: faces: :f0: " + Img("/F/f0.f0") + " :f1: " + Img("/F/f1.f1") + " :f2: " + Img("/F/f2.f2") +
                " :f3: " + Img("/F/f3.f3") + " :f4: " + Img("/F/f4.f4"),
            first[1]);
  EXPECT_THAT(Ask(ann, "/EMOJIS 2"),
              ElementsAre("Server: Emoji you can use, page 2 of 2:", ::testing::StartsWith("Server: faces: :f40: "),
                          ::testing::_, ::testing::_, ::testing::StartsWith("Server: faces: :f55: "),
                          "Server: RemapEmoji: :ark: " + Img("/Game/A.A")));
  EXPECT_EQ(Ask(ann, "/emojis 2"), Ask(ann, "/emojis 99"));
  // A filter, in either order with the page; the VIP pack for its member.
  EXPECT_THAT(Ask(ann, "/emojis F5"),
              ElementsAre("Server: Emoji you can use matching \"F5\":", ::testing::StartsWith("Server: faces: :f5: "),
                          ::testing::StartsWith("Server: faces: :f54: "), "Server: faces: :f59: " + Img("/F/f59.f59")));
  EXPECT_THAT(Ask(bea, "/emojis 1 gold"), ElementsAre("Server: Emoji you can use matching \"gold\":",
                                                      "Server: vip: :gold: " + Img("/V/gold.gold")));
  EXPECT_THAT(Ask(ann, "/emojis gold"), ElementsAre("Server: No emoji for you match \"gold\"."));
  // The command's line reaches nobody; other lines do.
  for (auto* player : {ann, bea}) EXPECT_THAT(player->received, IsEmpty());
  standin::AdvanceGameClock(1);
  game_->Say("Ann", "/emojiss :ark:");
  EXPECT_EQ(1u, bea->received.size());

  // Without pictures for her, nothing to list; a reload renames the command.
  WriteConfig(R"({"EmojiListCommand": "!list", "UsePermissions": true, "PermissionsGroups": ["VIP"]})");
  ASSERT_TRUE(standin::ExecuteConsoleCommand(bea, "Glyphwork.Reload"));
  EXPECT_THAT(standin::TakeEvents(), ElementsAre("RemoveChatCommand /emojis", "AddChatCommand !list"));
  EXPECT_THAT(Ask(ann, "!list"), ElementsAre("Server: No emoji for you on this server."));
  EXPECT_THAT(Ask(ann, "/emojis"), IsEmpty());
  EXPECT_EQ(2u, bea->received.size()) << "the old command is chat again";
  standin::RunTimers();
  ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
  EXPECT_THAT(standin::TakeEvents(),
              ElementsAre("Plugin_Unload Glyphwork", ::testing::StartsWith("DisableHook "),
                          ::testing::StartsWith("DisableHook "), "RemoveChatCommand !list",
                          "RemoveRconCommand Glyphwork.Reload", "RemoveConsoleCommand Glyphwork.Reload"));
}

// Letter case ignored for every letter, both ways; a line's width in
// characters, whatever bytes they take.
TEST_F(EmojiListTest, TheFilterIgnoresTheCaseOfEveryLetterAndLinesCountCharacters) {
  const std::string ascii = "abcdefghijklmno", cjk = "日本語の絵文字を使う人が多い国";  // 15 characters each
  WriteConfig(R"({"EmojiListCommand": "/emojis"})");
  WritePack("accents.json", R"({"EmojiPath": "/A/", "EmojiArray": ["École", "été", "Ours", "Straße", "ΟΔΟΣ", "𐐀"]})");
  std::string names;
  for (const std::string& name : {ascii, cjk}) {
    for (int i = 0; i < 4; ++i) names += std::string(names.empty() ? "" : ",") + "\"" + name + char('A' + i) + "\"";
  }
  WritePack("wide.json", R"({"EmojiPath": "/W/", "EmojiArray": [)" + names + "]}");
  ASSERT_TRUE(LoadPlugin());
  auto* ann = game_->Join("Ann", "1");

  // Σ folds to σ, and so does the final ς.
  const std::vector<std::pair<std::string, std::string>> matches = {{"ÉTÉ", "été"},
                                                                    {"été", "été"},
                                                                    {"école", "École"},
                                                                    {"ÉCOLE", "École"},
                                                                    {"cOlE", "École"},
                                                                    {"ours", "Ours"},
                                                                    {"STRASSE", "Straße"},
                                                                    {"ss", "Straße"},
                                                                    {"\u03BF\u03B4\u03BF\u03C3", "ΟΔΟΣ"},
                                                                    {"\u03BF\u03B4\u03BF\u03C2", "ΟΔΟΣ"},
                                                                    {"𐐨", "𐐀"}};
  for (const auto& [filter, code] : matches) {
    const std::string picture = Img("/A/" + code + "." + code);
    EXPECT_THAT(Ask(ann, "/emojis " + filter), ElementsAre("Server: Emoji you can use matching \"" + filter + "\":",
                                                           "Server: accents: :" + code + ": " + picture))
        << filter;
  }
  EXPECT_THAT(Ask(ann, "/emojis ete"), ElementsAre("Server: No emoji for you match \"ete\"."));

  // 15 characters a name: three emoji to a line of 80 characters, be they
  // ASCII or three bytes each.
  for (const std::string& name : {ascii, cjk}) {
    std::vector<std::string> lines = Ask(ann, "/emojis " + name);
    ASSERT_EQ(3u, lines.size()) << name;
    std::string first = "Server: wide:", second = "Server: wide:";
    for (int i = 0; i < 4; ++i) {
      const std::string named = name + char('A' + i);
      (i < 3 ? first : second) += " :" + named + ": " + Img("/W/" + named + "." + named);
    }
    EXPECT_THAT(lines, ElementsAre(::testing::_, first, second));
  }
}

}  // namespace
}  // namespace glyphwork::testing
