#include "chat/chat_hook.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "chat/chat_rules.h"
#include "chat/permissions.h"
#include "config/config.h"
#include "log/log.h"

namespace glyphwork {

game::ClientChatMessageFn ClientChatMessageTrampoline = nullptr;

namespace {

// The last text delivered to each kind of audience and what it became: the
// game hands the same message to every recipient in turn.
struct ResultCache {
  struct Entry {
    bool valid = false;
    bool pictures = false;
    std::vector<uint8_t> open_gates;
    std::u16string input;
    std::u16string output;
  };
  Entry entries[4];
  unsigned next = 0;

  void Clear() {
    for (Entry& entry : entries) entry.valid = false;
  }
  // The entry for `audience`: its own, or one to reuse for it.
  Entry& For(const ChatRules::Audience& audience) {
    for (Entry& entry : entries) {
      if (entry.valid && entry.pictures == audience.pictures && entry.open_gates == audience.open_gates) return entry;
    }
    Entry& entry = entries[next++ % 4];
    entry.valid = false;
    entry.pictures = audience.pictures;
    entry.open_gates = audience.open_gates;
    return entry;
  }
};

struct HookState {
  std::unique_ptr<ChatRules> rules;
  unsigned long generation = 0;
  ResultCache cache;
  ChatRules::Audience audience;
  std::string rewritten;
  std::string ascii;
  std::u16string units;
};

HookState& State() {
  static HookState state;
  return state;
}

const ChatRules& CurrentRules() {
  HookState& state = State();
  if (!state.rules || state.generation != DocumentsGeneration()) {
    state.rules.reset();
    UseChatRules(BuildChatRules());
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

// The packs' gates open to this recipient: each group asked about once.
void OpenGates(const ChatRules& rules, AShooterPlayerController* controller, ChatRules::Audience& audience) {
  const auto& gates = rules.gate_groups();
  audience.open_gates.assign(gates.size(), 0);
  if (gates.empty() || !audience.pictures) return;
  FString player_id;
  if (controller != nullptr) game::GetUniqueNetIdAsString(controller, &player_id);
  std::vector<std::pair<const std::string*, bool>> asked;
  for (size_t gate = 0; gate < gates.size(); ++gate) {
    for (const std::string& group : gates[gate]) {
      auto it = std::find_if(asked.begin(), asked.end(), [&](const auto& a) { return *a.first == group; });
      if (it == asked.end()) {
        asked.emplace_back(&group, IsPlayerInGroup(player_id, FString(group.c_str())));
        it = asked.end() - 1;
      }
      if (it->second) audience.open_gates[gate] = 1;
    }
  }
}

// With BlockTypedMarkup: "<" before a letter or "/" becomes a look-alike that
// forms no tag. False when the text has none.
bool NeutraliseTypedMarkup(const FString& text, FString& out) {
  constexpr char16_t kLookAlike = u'\u2039';  // SINGLE LEFT-POINTING ANGLE QUOTATION MARK
  const char16_t* units = text.Units();
  const size_t length = size_t(text.Len());
  std::u16string result;
  for (size_t i = 0; i + 1 < length; ++i) {
    const char16_t next = units[i + 1];
    const bool tag =
        units[i] == u'<' && (next == u'/' || (next >= u'a' && next <= u'z') || (next >= u'A' && next <= u'Z'));
    if (!tag) continue;
    if (result.empty()) result.assign(units, length);
    result[i] = kLookAlike;
  }
  if (result.empty()) return false;
  out = FString::FromUnits(result.data(), int32_t(result.size()));
  return true;
}

// ASCII without NUL is its own UTF-8, and converts back to itself: such a
// text needs neither conversion.
bool PlainAscii(const FString& text, std::string& narrow) {
  const char16_t* units = text.Units();
  const size_t length = size_t(text.Len());
  narrow.resize(length);
  char* put = narrow.data();
  // One pass, no branch: a unit past ASCII sets a high bit, a NUL becomes
  // 0x80 after the subtraction wraps below 0x81.
  unsigned bad = 0;
  for (size_t i = 0; i < length; ++i) {
    const unsigned unit = units[i];
    bad |= unit | ((unit - 1) & 0x80u);
    put[i] = char(unit);
  }
  return bad < 0x80;
}

// The new text for `message`, by the shortcut for ASCII text where it gives
// exactly what the conversions would; false where it cannot.
bool RewriteAscii(const ChatRules& rules, const ChatRules::Audience& audience, const FString& message, FString& fresh) {
  HookState& state = State();
  if (!PlainAscii(message, state.ascii)) return false;
  const auto result = rules.RewriteAscii(state.ascii, audience, state.units);
  switch (result) {
    case ChatRules::UnitsResult::kUnchanged:
      fresh = FString::FromUnits(message.Units(), message.Len());
      return true;
    case ChatRules::UnitsResult::kRewritten:
      fresh = FString::FromUnits(state.units.data(), int32_t(state.units.size()));
      return true;
    case ChatRules::UnitsResult::kUseRewrite:
      return false;
  }
  return false;
}

bool SameUnits(const std::u16string& cached, const FString& text) {
  return cached.size() == size_t(text.Len()) &&
         std::memcmp(cached.data(), text.Units(), cached.size() * sizeof(char16_t)) == 0;
}

// Leaves `message` alone when a type error stands in the way.
void Rewrite(AShooterPlayerController* controller, FPrimalChatMessage& message) {
  const ChatRules& rules = CurrentRules();
  if (rules.config_error()) return ReportTypeError(*rules.config_error());
  HookState& state = State();
  ChatRules::Audience& audience = state.audience;
  FindAudience(rules, controller, audience);
  if (rules.use_permissions() && rules.groups_error()) return ReportTypeError(*rules.groups_error());
  if (audience.pictures && rules.passes_error()) return ReportTypeError(*rules.passes_error());

  ResultCache::Entry& cached = state.cache.For(audience);
  if (cached.valid && SameUnits(cached.input, message.Message)) {
    message.Message = FString::FromUnits(cached.output.data(), int32_t(cached.output.size()));
    return;
  }
  cached.valid = false;
  FString neutral;
  const bool neutralised = rules.controls().block_typed_markup && NeutraliseTypedMarkup(message.Message, neutral);
  const FString& input = neutralised ? neutral : message.Message;
  FString fresh;
  if (!RewriteAscii(rules, audience, input, fresh)) {
    const std::string text = AsaApi::Tools::Utf8Encode(input.ToWString());
    const bool changed = rules.Rewrite(text, audience, state.rewritten);
    fresh = FString(AsaApi::Tools::Utf8Decode(changed ? state.rewritten : text).c_str());
  }
  cached.input.assign(message.Message.Units(), size_t(message.Message.Len()));
  message.Message = std::move(fresh);
  cached.output.assign(message.Message.Units(), size_t(message.Message.Len()));
  cached.valid = true;
}

}  // namespace

const ChatRules& ChatRulesInEffect() { return CurrentRules(); }

void FindAudience(const ChatRules& rules, AShooterPlayerController* controller, ChatRules::Audience& audience) {
  audience.pictures = !rules.use_permissions() || RecipientAllowed(rules, controller);
  OpenGates(rules, controller, audience);
}

std::unique_ptr<ChatRules> BuildChatRules() {
  return std::make_unique<ChatRules>(ConfigDocument, PackDocument, PackFiles, ConfigFileShown());
}

void UseChatRules(std::unique_ptr<ChatRules> rules) {
  HookState& state = State();
  state.rules = std::move(rules);
  state.generation = DocumentsGeneration();
  state.cache.Clear();
}

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
