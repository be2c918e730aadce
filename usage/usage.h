// Emoji usage, counted for admins who curate packs: per UTC day, per code
// and the pack (or RemapEmoji) that defines it, how many chat messages made
// it a picture for at least one recipient. Off unless config.json's Usage
// block says "Enabled": true; then the chat hook counts in memory, a writer
// thread of the plugin takes the counts into SQLite or MariaDB/MySQL, and
// Glyphwork.Usage answers on the console and over RCON.
#pragma once

#include <API/ARK/Ark.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "chat/chat_rules.h"
#include "usage/counts.h"
#include "usage/settings.h"
#include "usage/tally.h"
#include "usage/writer.h"

namespace glyphwork {

// "Glyphwork.Usage", the name of both usage commands.
std::string UsageCommandName();

// The Usage settings of a configuration read for a reload, before anything
// is in effect. Throws DocumentError naming config.json and the key, as
// every reader of it; null without a Usage key.
std::optional<usage::UsageSettings> ReadUsageSettingsOf(const nlohmann::json& config);

// At load, with the documents in effect: starts counting, the writer thread
// and the commands when the Usage block enables it. A wrong value is written
// to HostLog and leaves counting off; never throws.
void StartUsage();
// After a reload put its files in effect: counting follows the new settings.
// Turned off, what was counted is still written; turned on, the thread
// starts if it is not running. Game thread.
void UseUsageSettings(const std::optional<usage::UsageSettings>& settings);
// The host's first timer call after the start: from now on the writer may
// run (it starts at once if counting is on). Game thread.
void StartUsageWriter();
// At unload, before the hooks go, and when the world ends: the commands go,
// the writer's last flush runs (bounded) and the thread ends; counting stops.
void StopUsage();

// The detour on the game mode's EndPlay, whose work is StopUsage: the live
// host stops a server without Plugin_Unload. Installed and removed as the
// chat hook is, while no thread of ours runs. Game thread.
void InstallWorldEndHook();
void RemoveWorldEndHook();

namespace usage {
extern Tally* counting_tally;  // the tally counting, while counting is on; game thread only
}  // namespace usage
inline bool UsageCounting() { return usage::counting_tally != nullptr; }

// The rules the chat hook uses from now on (called whenever they change,
// counting or not). REQUIRES: `rules` stays until the next call.
void UsageRulesChanged(const ChatRules& rules);
// One delivery in which the passes `pictured` became pictures; `message`
// still holds the text as sent; `list` the id of that list's content, as
// Tally::Count takes it. Game thread; no lock and no allocation on the usual
// path.
inline void CountUsage(const void* recipient, const FPrimalChatMessage& message, const std::vector<uint32_t>& pictured,
                       uint64_t list) {
  if (usage::counting_tally != nullptr) usage::counting_tally->Count(recipient, message, pictured, list);
}

// Glyphwork.Usage [days]: the most used codes of the last `days` (default
// 30, at most 366) and the configured codes no message used. The console
// answer goes to the admin as direct messages from "Server", one per line;
// RCON gets the lines in one reply. Never throw.
void OnUsageConsoleCommand(APlayerController* player, FString* command, bool);
void OnUsageRconCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);
// The answer's lines for a command line (the command and its argument).
std::vector<std::string> UsageAnswer(const std::string& command_line);

// For tests and the soak: the writer's figures (null while it does not
// run), and per key the messages from `first_day` on as Glyphwork.Usage
// sees them.
std::optional<usage::Writer::Stats> UsageWriterStats();
std::map<usage::Key, uint64_t> UsageTotals(int64_t first_day);

}  // namespace glyphwork
