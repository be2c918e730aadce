// The detour on the game's delivery of one chat message to one player: emoji
// codes in the text become chat image markup.
#pragma once

#include <API/ARK/Ark.h>

#include <memory>
#include <string>

#include "chat/chat_rules.h"
#include "common/game_functions.h"

namespace glyphwork {

inline constexpr const char* kMarkupPrefix = "<img src=\"chat.image\" path=\"";
inline constexpr const char* kMarkupSuffix = "\"/>";

// The game's own ClientChatMessage, written by the host at SetHook.
extern game::ClientChatMessageFn ClientChatMessageTrampoline;

// Runs on the game thread once per recipient. Rewrites the message text for
// `controller` (permission gating on the recipient) and calls the trampoline
// exactly once. The result is that of walking the documents for every call,
// but what is derived from them is rebuilt only when DocumentsGeneration()
// changes, and the last result per permission outcome is reused for the same
// text. Never throws: when the documents hold a value of the wrong type for
// this recipient, the original text is delivered and one error line is
// printed until the next change of the documents.
void ClientChatMessageHook(AShooterPlayerController* controller, FPrimalChatMessage message);

// Puts ClientChatMessageHook in the host's hook table, unless it is there
// already; takes it out again. The host stops every other thread of the
// process meanwhile: no thread of ours may run then. Game thread.
void InstallChatHook();
void RemoveChatHook();

// The rules derived from ConfigDocument, PackDocument and PackFiles as they
// stand. Throws only what allocation throws.
std::unique_ptr<ChatRules> BuildChatRules();
// Makes `rules` the hook's rules for the documents as they stand now (the
// current DocumentsGeneration()), so that the next delivery does not derive
// them again. REQUIRES: `rules` were derived from exactly these documents.
void UseChatRules(std::unique_ptr<ChatRules> rules);

// The rules in effect, derived again if the documents changed since.
const ChatRules& ChatRulesInEffect();

// Whether `controller`'s player gets pictures and which packs' gates are
// open to them, asked of the permissions library as for a delivery.
void FindAudience(const ChatRules& rules, AShooterPlayerController* controller, ChatRules::Audience& audience);

// Replaces every occurrence of `code` in `text`, left to right, never
// rescanning inserted markup. Returns a copy of the result; an empty code
// changes nothing and returns "".
std::string ReplaceAll(std::string& text, const std::string& code, const std::string& markup);

}  // namespace glyphwork
