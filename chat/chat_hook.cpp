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
#include "common/engine_text.h"
#include "config/config.h"
#include "log/log.h"
#include "usage/usage.h"

namespace glyphwork {

game::ClientChatMessageFn ClientChatMessageTrampoline = nullptr;

namespace {

// The last texts delivered and what they became, with the audience they were
// for: the game hands the same message to every recipient in turn. A result
// holds for another recipient who gets pictures alike and agrees on every
// gate the result asked about.
struct ResultCache {
  struct Entry {
    bool valid = false;
    bool pictures = false;
    std::vector<uint8_t> gates;
    std::basic_string<TCHAR> input;
    bool unchanged = false;           // the text stays as it is
    std::basic_string<TCHAR> output;  // else the new text
    std::vector<uint32_t> pictured;   // while usage is counted: the passes that became pictures
    uint64_t id = 0;                  // this result's, never given again
  };
  Entry entries[4];
  unsigned next = 0;

  void Clear() {
    for (Entry& entry : entries) entry.valid = false;
  }
  const Entry* Find(const ChatRules::Audience& audience, const FString& text) {
    for (const Entry& entry : entries) {
      if (!entry.valid || entry.pictures != audience.pictures || entry.input.size() != size_t(text.Len()) ||
          std::memcmp(entry.input.data(), *text, entry.input.size() * sizeof(TCHAR)) != 0) {
        continue;
      }
      bool same = true;
      for (size_t gate = 0; same && gate < entry.gates.size(); ++gate) {
        if (entry.gates[gate] != ChatRules::Audience::kNotAsked) {
          same = audience.IsOpen(gate) == (entry.gates[gate] == ChatRules::Audience::kOpen);
        }
      }
      if (same) return &entry;
    }
    return nullptr;
  }
  Entry& Next() { return entries[next++ % 4]; }
};

struct HookState {
  std::unique_ptr<ChatRules> rules;
  unsigned long generation = 0;
  ResultCache cache;
  ChatRules::Audience audience;
  // The recipient whose gates are asked about, by which rules, and what is
  // known of them.
  const ChatRules* asking = nullptr;
  AShooterPlayerController* recipient = nullptr;
  bool have_id = false;
  FString player_id;
  std::vector<uint8_t> membership;  // per gate group name: kNotAsked, or the answer
  std::string rewritten;
  std::string ascii;
  std::basic_string<TCHAR> units;
  std::vector<uint32_t> pictured;
  uint64_t results = 0;  // the last result's id
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
    const FString group_name = FStringFromUtf8(group);
    FString player_id;
    if (controller != nullptr) game::GetUniqueNetIdAsString(controller, &player_id);
    if (IsPlayerInGroup(player_id, group_name)) allowed = true;
  }
  return allowed;
}

// Whether the recipient FindAudience set up is in one of `gate`'s groups;
// each group is asked about once per recipient.
bool AskGate(size_t gate) {
  HookState& state = State();
  const ChatRules& rules = *state.asking;
  if (!state.have_id) {
    state.player_id = FString();
    if (state.recipient != nullptr) game::GetUniqueNetIdAsString(state.recipient, &state.player_id);
    state.have_id = true;
  }
  for (const uint32_t member : rules.gate_members()[gate]) {
    uint8_t& known = state.membership[member];
    if (known == ChatRules::Audience::kNotAsked)
      known = IsPlayerInGroup(state.player_id, rules.gate_group_names()[member]);
    if (known) return true;
  }
  return false;
}

// With BlockTypedMarkup: "<" before a letter or "/" becomes a look-alike that
// forms no tag. False when the text has none.
bool NeutraliseTypedMarkup(const FString& text, FString& out) {
  constexpr TCHAR kLookAlike = 0x2039;  // SINGLE LEFT-POINTING ANGLE QUOTATION MARK
  const TCHAR* units = *text;
  const size_t length = size_t(text.Len());
  std::basic_string<TCHAR> result;
  for (size_t i = 0; i + 1 < length; ++i) {
    const TCHAR next = units[i + 1];
    const bool tag = units[i] == TCHAR('<') && (next == TCHAR('/') || (next >= TCHAR('a') && next <= TCHAR('z')) ||
                                                (next >= TCHAR('A') && next <= TCHAR('Z')));
    if (!tag) continue;
    if (result.empty()) result.assign(units, length);
    result[i] = kLookAlike;
  }
  if (result.empty()) return false;
  out = FString(result.c_str());
  return true;
}

// ASCII without NUL is its own UTF-8, and converts back to itself: such a
// text needs neither conversion.
bool PlainAscii(const FString& text, std::string& narrow) {
  const TCHAR* units = *text;
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

// The rewriting of `message` by the shortcut for ASCII text, where it gives
// exactly what the conversions would: kUnchanged (the text converts back to
// itself), kRewritten with the new text in `units`, or kUseRewrite where the
// shortcut cannot be taken.
ChatRules::UnitsResult RewriteAscii(const ChatRules& rules, const ChatRules::Audience& audience, const FString& message,
                                    std::basic_string<TCHAR>& units) {
  HookState& state = State();
  if (!PlainAscii(message, state.ascii)) return ChatRules::UnitsResult::kUseRewrite;
  return rules.RewriteAscii(state.ascii, audience, units);
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

  if (const ResultCache::Entry* cached = state.cache.Find(audience, message.Message)) {
    if (!cached->pictured.empty()) CountUsage(controller, message, cached->pictured, cached->id);
    if (!cached->unchanged) message.Message = FString(cached->output.c_str());
    return;
  }
  audience.pictured = UsageCounting() ? &state.pictured : nullptr;
  FString neutral;
  const bool neutralised = rules.controls().block_typed_markup && NeutraliseTypedMarkup(message.Message, neutral);
  const FString& input = neutralised ? neutral : message.Message;
  std::basic_string<TCHAR>& units = state.units;
  // An ASCII text that gets no markup is delivered as it came: it turns into
  // UTF-8 and back as itself. (A neutralised text is never ASCII: it holds
  // the look-alike.)
  const ChatRules::UnitsResult shortcut = RewriteAscii(rules, audience, input, units);
  const bool unchanged = shortcut == ChatRules::UnitsResult::kUnchanged;
  FString fresh;  // the conversions' result, delivered as it is
  if (shortcut == ChatRules::UnitsResult::kUseRewrite) {
    const std::string text = Utf8FromFString(input);
    const bool changed = rules.Rewrite(text, audience, state.rewritten);
    fresh = FString(AsaApi::Tools::Utf8Decode(changed ? state.rewritten : text).c_str());
    units.assign(*fresh, size_t(fresh.Len()));
  }
  ResultCache::Entry& cached = state.cache.Next();
  cached.pictures = audience.pictures;
  cached.gates = audience.gates;
  cached.input.assign(*message.Message, size_t(message.Message.Len()));
  cached.unchanged = unchanged;
  cached.valid = true;
  cached.id = ++state.results;
  // The cache keeps the list; its old buffer is the next one's.
  std::swap(cached.pictured, state.pictured);
  if (audience.pictured == nullptr) cached.pictured.clear();
  if (!cached.pictured.empty()) CountUsage(controller, message, cached.pictured, cached.id);
  if (unchanged) return;
  // The cache keeps the new text; its old buffer is the next one's.
  std::swap(cached.output, units);
  message.Message = shortcut == ChatRules::UnitsResult::kUseRewrite ? std::move(fresh) : FString(cached.output.c_str());
}

}  // namespace

namespace {
bool hook_installed = false;
}  // namespace

void InstallChatHook() {
  if (hook_installed) return;
  hook_installed = AsaApi::GetHooks().SetHook(
      game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook), &ClientChatMessageTrampoline);
}

void RemoveChatHook() {
  if (!hook_installed) return;
  AsaApi::GetHooks().DisableHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook));
  hook_installed = false;
}

const ChatRules& ChatRulesInEffect() { return CurrentRules(); }

void FindAudience(const ChatRules& rules, AShooterPlayerController* controller, ChatRules::Audience& audience) {
  ForgetPermissionsLibrary();
  audience.pictures = !rules.use_permissions() || RecipientAllowed(rules, controller);
  audience.gates.assign(rules.gate_groups().size(), ChatRules::Audience::kNotAsked);
  audience.ask = &AskGate;
  HookState& state = State();
  state.asking = &rules;
  state.recipient = controller;
  state.have_id = false;
  state.membership.assign(rules.gate_group_names().size(), ChatRules::Audience::kNotAsked);
}

std::unique_ptr<ChatRules> BuildChatRules() {
  return std::make_unique<ChatRules>(ConfigDocument, PackDocument, PackFiles, ConfigFileShown());
}

void UseChatRules(std::unique_ptr<ChatRules> rules) {
  HookState& state = State();
  state.rules = std::move(rules);
  state.generation = DocumentsGeneration();
  state.cache.Clear();
  UsageRulesChanged(*state.rules);
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
