// The players' emoji list: a chat command, named by EmojiListCommand in
// config.json, that answers a player with the codes that become pictures for
// them.
#pragma once

#include <API/ARK/Ark.h>

#include <string>
#include <vector>

#include "chat/chat_rules.h"

namespace glyphwork {

// The chat command's handler. `text` is the whole chat line: the command,
// then optionally a page number and a word the codes must contain, in either
// order. Sends `player` one page of the list as direct messages from
// "Server", one line each. The chat mode and the sender's platform are not
// looked at. Never throws.
void OnEmojiListCommand(AShooterPlayerController* player, FString* text, int mode, int platform);

// Makes the registered chat command the one the rules in effect name: adds
// it, replaces it or removes it. Runs at load and after every reload that
// put new files in effect.
void UpdateEmojiListCommand();
// Removes the chat command, if one is registered. Runs at unload.
void RemoveEmojiListCommand();

// The lines of page `page` (1 is the first; past the last gives the last)
// of the list for `audience`, with codes containing `filter` (letter case
// ignored for every letter, by FoldCase; empty: all) and `command` named in
// the header's hint. A line's width is counted in code points.
std::vector<std::string> EmojiListPage(const ChatRules& rules, const ChatRules::Audience& audience,
                                       const std::string& command, const std::string& filter, int page);

}  // namespace glyphwork
