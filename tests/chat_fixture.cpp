#include "tests/chat_fixture.h"

#include "chat/chat_hook.h"
#include "common/engine_text.h"
#include "common/game_functions.h"
#include "config/config.h"
#include "log/log.h"

namespace glyphwork::testing {

namespace {

std::vector<std::string> nobody_received;

// The stand-in game's own function needs a controller; this one does not.
void ReceiveWithoutController(AShooterPlayerController*, FPrimalChatMessage message) {
  nobody_received.push_back(Utf8FromFString(message.Message));
}

}  // namespace

void ChatTest::SetUp() {
  ServerTest::SetUp();
  // The print operations keep the logger they found first; give them this
  // test's capture.
  SetUpConsoleLog();
  Use(nlohmann::json::object());
  ASSERT_TRUE(AsaApi::GetHooks().SetHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook),
                                         &ClientChatMessageTrampoline));
}

void ChatTest::TearDown() {
  AsaApi::GetHooks().DisableHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook));
  ServerTest::TearDown();
}

void ChatTest::Use(const nlohmann::json& config, const std::vector<nlohmann::json>& packs) {
  ConfigDocument = config;
  PackDocument = nlohmann::json::object();
  PackFiles.clear();
  for (const auto& pack : packs) {
    PackFiles.push_back(PackFileShown("p" + std::to_string(PackFiles.size()) + ".json"));
    PackDocument["EmojiMap"].push_back(pack);
  }
  BumpDocumentsGeneration();
}

std::string ChatTest::DeliverToNobody(const std::string& text) {
  const auto game_function = ClientChatMessageTrampoline;
  ClientChatMessageTrampoline = &ReceiveWithoutController;
  nobody_received.clear();
  FPrimalChatMessage message;
  message.Message = FStringFromUtf8(text);
  ClientChatMessageHook(nullptr, message);
  ClientChatMessageTrampoline = game_function;
  EXPECT_EQ(1u, nobody_received.size()) << "one delivery per call";
  return nobody_received.empty() ? "" : nobody_received.back();
}

std::string Img(const std::string& path) { return "<img src=\"chat.image\" path=\"" + path + "\"/>"; }

}  // namespace glyphwork::testing
