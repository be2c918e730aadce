#include "chat/chat_hook.h"

#include <exception>

#include "chat/permissions.h"
#include "config/config.h"
#include "log/log.h"

namespace glyphwork {

game::ClientChatMessageFn ClientChatMessageTrampoline = nullptr;

namespace {

using nlohmann::json;

bool RecipientAllowed(AShooterPlayerController* controller) {
  bool allowed = false;
  for (const json& group : ConfigDocument.value("PermissionsGroups", json::array())) {
    const FString group_name(group.get<std::string>().c_str());
    FString player_id;
    if (controller != nullptr) game::GetUniqueNetIdAsString(controller, &player_id);
    if (IsPlayerInGroup(player_id, group_name)) allowed = true;
  }
  return allowed;
}

// One error line per change of the documents, not one per message.
void ReportTypeError(const std::exception& error) {
  static unsigned long reported_generation = ~0UL;
  if (reported_generation == DocumentsGeneration()) return;
  reported_generation = DocumentsGeneration();
  PrintError(std::string("Chat message delivered without emoji, config.json or a pack has a wrong type: ") +
             error.what());
}

}  // namespace

std::string ReplaceAll(std::string& text, const std::string& code, const std::string& markup) {
  if (code.empty()) return {};
  for (size_t at = text.find(code); at != std::string::npos; at = text.find(code, at + markup.size())) {
    text.replace(at, code.size(), markup);
  }
  return text;
}

std::string RewriteForRecipient(AShooterPlayerController* controller, const std::string& original) {
  std::string text = original;
  if (ConfigDocument.value("UsePermissions", false) && !RecipientAllowed(controller)) return text;

  for (const json& pack : PackDocument.value("EmojiMap", json::array())) {
    const std::string prefix = pack.value("EmojiPath", std::string());
    for (const json& entry : pack.value("EmojiArray", json::array())) {
      const std::string name = entry.get<std::string>();
      ReplaceAll(text, ":" + name + ":", kMarkupPrefix + prefix + name + "." + name + kMarkupSuffix);
    }
  }
  for (const json& remap : ConfigDocument.value("RemapEmoji", json::array())) {
    const std::string path = remap.value("Path", std::string());
    const std::string name = remap.value("Name", std::string());
    ReplaceAll(text, ":" + name + ":", kMarkupPrefix + path + kMarkupSuffix);
  }
  return text;
}

void ClientChatMessageHook(AShooterPlayerController* controller, FPrimalChatMessage message) {
  try {
    const std::string text = AsaApi::Tools::Utf8Encode(message.Message.ToWString());
    const std::string rewritten = RewriteForRecipient(controller, text);
    message.Message = FString(AsaApi::Tools::Utf8Decode(rewritten).c_str());
  } catch (const std::exception& error) {
    ReportTypeError(error);
  }
  ClientChatMessageTrampoline(controller, std::move(message));
}

}  // namespace glyphwork
