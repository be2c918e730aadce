// A server whose permissions library is missing: the plugin runs, and while
// UsePermissions is on nobody counts as in a group.
#include <gmock/gmock.h>

#include "config/config.h"
#include "platform/platform.h"
#include "tests/chat_fixture.h"

namespace glyphwork::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using json = nlohmann::json;

const std::string kUnbound = "31 [Glyphwork][ERR] Permissions library not available, no player counts as in a group: ";

std::vector<std::string> UnboundLines(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  for (const auto& line : WithoutTime(lines)) {
    if (line.rfind(kUnbound, 0) == 0) found.push_back(line);
  }
  return found;
}

class WithoutPermissionsTest : public ChatTest {
 protected:
  void SetUp() override {
    ChatTest::SetUp();
    std::string error;
    if (platform::FindIsPlayerInGroup(&error) != nullptr) {
      GTEST_FAIL() << "this program must not reach the permissions library";
    }
  }
};

TEST_F(WithoutPermissionsTest, NobodyIsInAGroupAndOneLineSaysSoUntilTheNextReload) {
  const json pack = {{"EmojiPath", "/E/"}, {"EmojiArray", {"smile"}}};
  const std::string smile = Img("/E/smile.smile");
  auto* ann = game_->Join("Ann", "1");
  auto* bob = game_->Join("Bob", "2");

  Use({{"UsePermissions", false}, {"PermissionsGroups", {"A"}}}, {pack});
  EXPECT_EQ(smile, Deliver(ann, ":smile:"));
  EXPECT_THAT(TakeConsole(), IsEmpty());

  Use({{"UsePermissions", true}, {"PermissionsGroups", {"A", "B"}}}, {pack});
  for (int reload = 0; reload < 2; ++reload) {
    for (int message = 0; message < 3; ++message) {
      standin::AdvanceGameClock(1);
      game_->Say("Ann", "hi :smile:");
      EXPECT_EQ("hi :smile:", ann->received.back());
      EXPECT_EQ("hi :smile:", bob->received.back());
    }
    const auto lines = WithoutTime(TakeConsole());
    ASSERT_EQ(1u, lines.size());
    EXPECT_THAT(lines[0], StartsWith(kUnbound));
    BumpDocumentsGeneration();
  }

  Use({{"UsePermissions", false}}, {pack});
  EXPECT_EQ(smile, Deliver(bob, ":smile:"));
  EXPECT_THAT(TakeConsole(), IsEmpty());
}

TEST_F(ServerTest, ThePluginLoadsAndDeliversWithoutThePermissionsLibrary) {
  WriteConfig(R"({"UsePermissions": true, "PermissionsGroups": ["A"]})");
  WritePack("p.json", R"({"EmojiPath": "/E/", "EmojiArray": ["smile"]})");
  ASSERT_TRUE(LoadPlugin());
  auto* ann = game_->Join("Ann", "1");
  EXPECT_EQ(":smile:", Deliver(ann, ":smile:"));
  EXPECT_EQ(":smile:", Deliver(ann, ":smile:"));
  EXPECT_EQ(1u, UnboundLines(TakeConsole()).size());
  ASSERT_TRUE(standin::ExecuteConsoleCommand(ann, "Glyphwork.Reload"));
  EXPECT_EQ(":smile:", Deliver(ann, ":smile:"));
  EXPECT_EQ(1u, UnboundLines(TakeConsole()).size());

  WriteConfig("{}");
  ASSERT_TRUE(standin::ExecuteConsoleCommand(ann, "Glyphwork.Reload"));
  EXPECT_EQ(Img("/E/smile.smile"), Deliver(ann, ":smile:"));
  EXPECT_THAT(UnboundLines(TakeConsole()), IsEmpty());
  ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
}

}  // namespace
}  // namespace glyphwork::testing
