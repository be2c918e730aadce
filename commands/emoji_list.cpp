#include "commands/emoji_list.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <sstream>

#include "chat/chat_hook.h"
#include "commands/case_folding.h"
#include "common/engine_text.h"
#include "common/game_functions.h"
#include "log/log.h"

namespace glyphwork {

namespace {

// Short enough for the chat window: a line holds at most this many emoji
// and this many visible characters (a picture counts one), a page this many
// lines under its header.
constexpr size_t kEmojiPerLine = 5;
constexpr size_t kLineWidth = 80;
constexpr size_t kLinesPerPage = 8;

std::string registered;  // the chat command the host has, or ""

// What the chat window shows as one character: a code point, not a byte.
size_t Width(std::string_view text) {
  return size_t(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// "faces: :smile: <picture> :wink: <picture>", as many lines as it takes.
void AddLines(const std::string& source, const std::vector<ChatRules::Listed>& emoji, std::vector<std::string>& lines) {
  std::string line;
  size_t count = 0, width = 0;
  for (const ChatRules::Listed& listed : emoji) {
    const size_t needed = Width(listed.code) + 3;  // the code, a blank, the picture, a blank
    if (count > 0 && (count == kEmojiPerLine || width + needed > kLineWidth)) {
      lines.push_back(std::move(line));
      line.clear();
      count = 0;
    }
    if (count == 0) {
      line = source + ":";
      width = Width(source) + 1;
    }
    line += " ";
    line += listed.code;
    line += " ";
    line += listed.markup;
    width += needed;
    ++count;
  }
  if (count > 0) lines.push_back(std::move(line));
}

}  // namespace

std::vector<std::string> EmojiListPage(const ChatRules& rules, const ChatRules::Audience& audience,
                                       const std::string& command, const std::string& filter, int page) {
  const std::string wanted = FoldCase(filter);
  std::vector<std::string> lines;
  for (auto& [source, emoji] : rules.ListFor(audience)) {
    if (!wanted.empty()) {
      std::erase_if(emoji, [&](const ChatRules::Listed& listed) {
        return FoldCase(listed.code).find(wanted) == std::string::npos;
      });
    }
    AddLines(source, emoji, lines);
  }
  if (lines.empty()) {
    return {filter.empty() ? std::string("No emoji for you on this server.")
                           : "No emoji for you match \"" + filter + "\"."};
  }
  const int pages = int((lines.size() + kLinesPerPage - 1) / kLinesPerPage);
  page = std::clamp(page, 1, pages);
  const std::string matching = filter.empty() ? "" : " matching \"" + filter + "\"";
  std::string header = "Emoji you can use" + matching;
  header += pages == 1 ? ":" : ", page " + std::to_string(page) + " of " + std::to_string(pages) + ":";
  if (page < pages) {
    header += " (" + command + (filter.empty() ? "" : " ") + filter + " " + std::to_string(page + 1) + " for the next)";
  }
  std::vector<std::string> shown = {std::move(header)};
  const size_t first = size_t(page - 1) * kLinesPerPage;
  for (size_t i = first; i < lines.size() && i < first + kLinesPerPage; ++i) shown.push_back(std::move(lines[i]));
  return shown;
}

void OnEmojiListCommand(AShooterPlayerController* player, FString* text, int, int) {
  if (player == nullptr || text == nullptr) return;
  try {
    std::istringstream words(Utf8FromFString(*text));
    std::string command, word, filter;
    int page = 1;
    words >> command;
    while (words >> word) {
      int number = 0;
      const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
      if (error == std::errc() && end == word.data() + word.size()) {
        page = number;
      } else if (filter.empty()) {
        filter = word;
      }
    }
    const ChatRules& rules = ChatRulesInEffect();
    ChatRules::Audience audience;
    FindAudience(rules, player, audience);
    FString sender("Server");
    for (const std::string& line : EmojiListPage(rules, audience, command, filter, page)) {
      FString message = FStringFromUtf8(line);
      game::ClientServerChatDirectMessage(player, message, FLinearColor{1, 1, 1, 1}, false, sender);
    }
  } catch (const std::exception& error) {
    // Runs inside the game's chat handling: nothing may escape.
    PrintError(std::string("Emoji list not sent: ") + error.what());
  }
}

void UpdateEmojiListCommand() {
  const std::string& wanted = ChatRulesInEffect().controls().list_command;
  if (wanted == registered) return;
  RemoveEmojiListCommand();
  if (wanted.empty()) return;
  AsaApi::GetCommands().AddChatCommand(FStringFromUtf8(wanted), &OnEmojiListCommand);
  registered = wanted;
}

void RemoveEmojiListCommand() {
  if (registered.empty()) return;
  AsaApi::GetCommands().RemoveChatCommand(FStringFromUtf8(registered));
  registered.clear();
}

}  // namespace glyphwork
