#include "chat/chat_hook.h"

#include <cstring>
#include <exception>
#include <memory>
#include <string_view>

#include "chat/chat_rules.h"
#include "chat/permissions.h"
#include "config/config.h"
#include "log/log.h"

namespace glyphwork {

game::ClientChatMessageFn ClientChatMessageTrampoline = nullptr;

namespace {

// The last text delivered with each permission outcome and what it became:
// the game hands the same message to every recipient in turn.
struct ResultCache {
  struct Entry {
    bool valid = false;
    std::u16string input;
    std::u16string output;
  };
  Entry entries[2];  // [allowed]

  void Clear() {
    for (Entry& entry : entries) entry.valid = false;
  }
};

struct HookState {
  std::unique_ptr<ChatRules> rules;
  unsigned long generation = 0;
  ResultCache cache;
  std::string rewritten;
};

HookState& State() {
  static HookState state;
  return state;
}

const ChatRules& CurrentRules() {
  HookState& state = State();
  if (!state.rules || state.generation != DocumentsGeneration()) {
    state.rules.reset();
    state.cache.Clear();
    state.rules = std::make_unique<ChatRules>(ConfigDocument, PackDocument);
    state.generation = DocumentsGeneration();
  }
  return *state.rules;
}

// One error line per change of the documents, not one per message.
void ReportOnce(const std::string& line) {
  static bool reported = false;
  static unsigned long reported_generation = 0;
  if (reported && reported_generation == DocumentsGeneration()) return;
  reported = true;
  reported_generation = DocumentsGeneration();
  PrintError(line);
}

void ReportTypeError(const std::string& what) {
  ReportOnce("Chat message delivered without emoji, config.json or a pack has a wrong type: " + what);
}

bool RecipientAllowed(const ChatRules& rules, AShooterPlayerController* controller) {
  bool allowed = false;
  for (const std::string& group : rules.groups()) {
    const FString group_name(group.c_str());
    FString player_id;
    if (controller != nullptr) game::GetUniqueNetIdAsString(controller, &player_id);
    if (IsPlayerInGroup(player_id, group_name)) allowed = true;
  }
  return allowed;
}

bool SameUnits(const std::u16string& cached, const FString& text) {
  return cached.size() == size_t(text.Len()) &&
         std::memcmp(cached.data(), text.Units(), cached.size() * sizeof(char16_t)) == 0;
}

// Leaves `message` alone when a type error stands in the way.
void Rewrite(AShooterPlayerController* controller, FPrimalChatMessage& message) {
  const ChatRules& rules = CurrentRules();
  if (rules.config_error()) return ReportTypeError(*rules.config_error());
  bool allowed = true;
  if (rules.use_permissions()) {
    allowed = RecipientAllowed(rules, controller);
    if (rules.groups_error()) return ReportTypeError(*rules.groups_error());
  }
  if (allowed && rules.passes_error()) return ReportTypeError(*rules.passes_error());

  HookState& state = State();
  ResultCache::Entry& cached = state.cache.entries[allowed ? 1 : 0];
  if (cached.valid && SameUnits(cached.input, message.Message)) {
    message.Message = FString::FromUnits(cached.output.data(), int32_t(cached.output.size()));
    return;
  }
  cached.valid = false;
  const std::string text = AsaApi::Tools::Utf8Encode(message.Message.ToWString());
  const bool changed = allowed && rules.Rewrite(text, state.rewritten);
  FString fresh(AsaApi::Tools::Utf8Decode(changed ? state.rewritten : text).c_str());
  cached.input.assign(message.Message.Units(), size_t(message.Message.Len()));
  message.Message = std::move(fresh);
  cached.output.assign(message.Message.Units(), size_t(message.Message.Len()));
  cached.valid = true;
}

}  // namespace

std::string ReplaceAll(std::string& text, const std::string& code, const std::string& markup) {
  if (code.empty()) return {};
  ReplaceAllCounted(text, code, markup);
  return text;
}

void ClientChatMessageHook(AShooterPlayerController* controller, FPrimalChatMessage message) {
  try {
    Rewrite(controller, message);
  } catch (const std::exception& error) {
    // The documents' type errors are found without throwing; what is left
    // (memory) must still not stop the delivery.
    ReportOnce(std::string("Chat message delivered without emoji: ") + error.what());
  } catch (...) {
  }
  ClientChatMessageTrampoline(controller, std::move(message));
}

}  // namespace glyphwork
