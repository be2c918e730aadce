#include "programs/check/documents.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "config/reading.h"

namespace glyphwork::check {

namespace {

using nlohmann::json;

// What a wrong type costs, as the plugin reads each key.
// At start-up a wrong type is met where it stands; a reload refuses the files.
constexpr const char* kChatFails =
    "at start-up, chat messages are delivered without emoji; a reload keeps the previous files";
constexpr const char* kChatFailsWithPermissions =
    "once UsePermissions is on: at start-up, chat messages are delivered without emoji; a reload keeps the previous "
    "files";
constexpr const char* kAssetsAndChatFail =
    "at start-up, texture loading stops there and chat messages are delivered without emoji; a reload keeps the "
    "previous files";

std::string Join(const std::string& key, const std::string& member) {
  return key.empty() ? member : key + "." + member;
}

std::string Expected(const std::string& type, const json& found, const char* effect) {
  return fmt::format("expected {}, found {} ({})", type, TypeName(found), effect);
}

// The plugin's own walk of a list, with each element's key path.
template <typename Fn>
void ForEachKeyed(const json& value, const std::string& key, Fn&& fn) {
  ForEachElement(&value, "", key, [&](const json& element, const Place& place) { fn(element, place.Path()); });
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Edits (insert, delete, replace, swap two neighbours) from a to b.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The known key an unknown one most likely meant, or "". A slip of letter
// case first; else the nearest by edits, if near enough that it is not just
// another short word: one edit in four letters, two at most.
std::string MeantKey(const std::string& key, const std::vector<std::string>& known) {
  for (const std::string& candidate : known) {
    if (Lower(candidate) == Lower(key)) return candidate;
  }
  std::string best;
  size_t best_distance = std::min<size_t>(2, std::max<size_t>(1, key.size() / 4)) + 1;
  for (const std::string& candidate : known) {
    const size_t distance = EditDistance(Lower(key), Lower(candidate));
    if (distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

// How a finding in `from` names a place: by its key alone in the same file.
std::string Where(const std::string& from, const std::string& file, const std::string& key) {
  return file == from ? key : file + " " + key;
}

}  // namespace

void DocumentChecker::Error(const std::string& file, const std::string& key, const std::string& message) {
  report_.Add(Severity::kError, file, key, message);
}

void DocumentChecker::Warn(const std::string& file, const std::string& key, const std::string& message) {
  report_.Add(Severity::kWarning, file, key, message);
}

void DocumentChecker::WarnIfObject(const std::string& file, const std::string& key, const json& value,
                                   const std::string& of) {
  if (!value.is_object()) return;
  Warn(file, key, fmt::format("expected a list of {}, found an object (its member values are read, in key order)", of));
}

void DocumentChecker::WarnUnknownKeys(const std::string& file, const std::string& key, const json& object,
                                      const std::vector<std::string>& known, const std::string& what) {
  for (auto it = object.cbegin(); it != object.cend(); ++it) {
    if (it.key() == "$schema" || std::find(known.begin(), known.end(), it.key()) != known.end()) continue;
    const std::string meant = MeantKey(it.key(), known);
    const std::string hint = meant.empty() ? "" : " (did you mean " + meant + "?)";
    Warn(file, Join(key, it.key()), fmt::format("not a key of {}{}; ignored", what, hint));
  }
}

bool DocumentChecker::StringMember(const std::string& file, const json& object, const std::string& key,
                                   const std::string& member, const char* effect, std::string& out) {
  out.clear();
  const auto it = object.find(member);
  if (it == object.end()) return true;
  if (!it->is_string()) {
    Error(file, Join(key, member), Expected("a string", *it, effect));
    return false;
  }
  out = it->get<std::string>();
  return true;
}

void DocumentChecker::CheckName(const std::string& file, const std::string& key, const std::string& name) {
  std::vector<std::string> found;
  if (std::any_of(name.begin(), name.end(), [](unsigned char c) { return std::isspace(c); }))
    found.push_back("a blank");
  if (name.find(':') != std::string::npos) found.push_back("a colon");
  if (name.find('"') != std::string::npos) found.push_back("a quotation mark");
  if (found.empty()) return;
  Warn(file, key,
       fmt::format("name \"{}\" has {} in it: a code is meant to be one word between two colons", name,
                   fmt::join(found, " and ")));
}

void DocumentChecker::CheckLeadingSlash(const std::string& file, const std::string& key, const std::string& path) {
  if (path.empty() || path.front() == '/') return;
  Warn(file, key,
       fmt::format("\"{}\" does not start with /: object paths are written /Game/..., and one without it loads "
                   "nothing: a white square in chat",
                   path));
}

void DocumentChecker::CheckConfig(const std::string& file, const json& config, bool has_packs) {
  if (!config.is_object()) {
    Error(file, "",
          Expected("an object at the top level", config,
                   has_packs ? "the pack scan fails on it, so the plugin does not start" : kAssetsAndChatFail));
    return;
  }
  WarnUnknownKeys(
      file, "", config,
      {"UsePermissions", "PermissionsGroups", "RemapEmoji", "Packs", "EmojiListCommand", "MaxEmojiPerMessage",
       "AllowEscape", "BlockTypedMarkup", "Usage", "EmojiPath", "EmojiArray", "EmojiMap", "Groups"},
      "config.json");
  // Real keys in the wrong file, told apart from a typo.
  for (const char* pack_key : {"EmojiPath", "EmojiArray", "EmojiMap", "Groups"}) {
    if (config.contains(pack_key)) Warn(file, pack_key, "read from pack files only; ignored in config.json");
  }

  if (const auto it = config.find("UsePermissions"); it != config.end()) {
    if (it->is_boolean()) {
      use_permissions_ = it->get<bool>();
    } else {
      Error(file, "UsePermissions", Expected("a boolean", *it, kChatFails));
    }
  }

  bool group_errors = false;
  if (const auto it = config.find("PermissionsGroups"); it != config.end()) {
    WarnIfObject(file, "PermissionsGroups", *it, "group names");
    ForEachKeyed(*it, "PermissionsGroups", [&](const json& group, const std::string& key) {
      if (group.is_string()) {
        groups_.push_back(group.get<std::string>());
        group_uses_.push_back({groups_.back(), file, key});
      } else {
        group_errors = true;
        Error(file, key, Expected("a string", group, use_permissions_ ? kChatFails : kChatFailsWithPermissions));
      }
    });
  }
  if (use_permissions_ && groups_.empty() && !group_errors) {
    Warn(file, "UsePermissions", "on with no PermissionsGroups: no player gets pictures");
  }

  CheckControls(file, config);

  if (const auto it = config.find("RemapEmoji"); it != config.end()) {
    WarnIfObject(file, "RemapEmoji", *it, "objects");
    ForEachKeyed(*it, "RemapEmoji", [&](const json& entry, const std::string& key) {
      if (!entry.is_object()) {
        Error(file, key, Expected("an object", entry, kAssetsAndChatFail));
        return;
      }
      WarnUnknownKeys(file, key, entry, {"Name", "Path"}, "a RemapEmoji entry");
      std::string path, name;
      const bool path_ok = StringMember(file, entry, key, "Path", kAssetsAndChatFail, path);
      const bool name_ok = StringMember(file, entry, key, "Name", kAssetsAndChatFail, name);
      if (!path_ok || !name_ok) return;
      if (name.empty()) {
        Warn(file, entry.contains("Name") ? key + ".Name" : key,
             std::string(entry.contains("Name") ? "empty Name" : "no Name") +
                 ": its code is \"::\", which every pair of colons in chat will match");
      } else {
        CheckName(file, key + ".Name", name);
      }
      if (path.empty()) {
        Warn(file, entry.contains("Path") ? key + ".Path" : key,
             std::string(entry.contains("Path") ? "empty Path" : "no Path") +
                 ": its markup names no texture, a white square in chat");
      } else {
        CheckLeadingSlash(file, key + ".Path", path);
        if (path.find('"') != std::string::npos) {
          Warn(file, key + ".Path", "has a quotation mark in it, which ends the chat markup's path early");
        }
      }
      remap_emoji_.push_back({name, path, file, key, std::nullopt});
    });
  }
}

void DocumentChecker::CheckControls(const std::string& file, const json& config) {
  for (const char* key : {"AllowEscape", "BlockTypedMarkup"}) {
    if (const auto it = config.find(key); it != config.end() && !it->is_boolean()) {
      Error(file, key, Expected("a boolean", *it, kChatFails));
    }
  }
  if (const auto it = config.find("MaxEmojiPerMessage"); it != config.end()) {
    if (!it->is_number_unsigned() && !(it->is_number_integer() && it->get<int64_t>() >= 0)) {
      Error(file, "MaxEmojiPerMessage",
            fmt::format("expected a whole number, 0 or more, found {} ({})",
                        it->is_number() ? it->dump() : TypeName(*it), kChatFails));
    } else if (it->get<uint64_t>() == 0) {
      Warn(file, "MaxEmojiPerMessage", "0: no code ever becomes a picture");
    }
  }
  if (const auto it = config.find("EmojiListCommand"); it != config.end()) {
    if (!it->is_string()) {
      Error(file, "EmojiListCommand", Expected("a string", *it, kChatFails));
      return;
    }
    const std::string command = it->get<std::string>();
    if (command.empty()) {
      Warn(file, "EmojiListCommand", "empty: there is no list command");
    } else if (command.find_first_of(" \t\r\n") != std::string::npos) {
      Warn(file, "EmojiListCommand",
           fmt::format("\"{}\" has a blank in it: a command is the first word of a chat line, so it never matches",
                       command));
    } else if (command.front() != '/') {
      Warn(file, "EmojiListCommand",
           fmt::format("\"{}\" does not start with \"/\": every chat line that begins with the word {} is taken as "
                       "the command and not sent to the others",
                       command, command));
    }
  }
}

void DocumentChecker::CheckPack(const std::string& file, const json& pack) {
  if (!pack.is_object()) {
    Error(file, "", Expected("an object at the top level", pack, kAssetsAndChatFail));
    return;
  }
  WarnUnknownKeys(file, "", pack, {"EmojiPath", "EmojiArray", "Groups"}, "a pack");
  std::optional<std::vector<std::string>> groups;
  if (const auto it = pack.find("Groups"); it != pack.end()) {
    WarnIfObject(file, "Groups", *it, "group names");
    groups.emplace();
    ForEachKeyed(*it, "Groups", [&](const json& group, const std::string& key) {
      if (group.is_string()) {
        groups->push_back(group.get<std::string>());
        group_uses_.push_back({groups->back(), file, key});
      } else {
        Error(file, key, Expected("a string", group, kChatFails));
      }
    });
    if (groups->empty()) Warn(file, "Groups", "no group: no player gets this pack's pictures");
  }

  std::string prefix;
  const bool prefix_ok = StringMember(file, pack, "", "EmojiPath", kAssetsAndChatFail, prefix);

  std::vector<std::pair<std::string, std::string>> names;  // name, key
  bool name_errors = false;
  if (const auto it = pack.find("EmojiArray"); it != pack.end()) {
    WarnIfObject(file, "EmojiArray", *it, "emoji names");
    ForEachKeyed(*it, "EmojiArray", [&](const json& name, const std::string& key) {
      if (name.is_string()) {
        names.emplace_back(name.get<std::string>(), key);
      } else {
        name_errors = true;
        Error(file, key, Expected("a string", name, kAssetsAndChatFail));
      }
    });
    if (names.empty() && !name_errors) Warn(file, "EmojiArray", "no names: the pack maps no emoji");
  } else {
    Warn(file, "", "no EmojiArray: the pack maps no emoji");
  }
  if (!prefix_ok) return;

  if (!pack.contains("EmojiPath")) {
    Warn(file, "", "no EmojiPath: object paths are NAME.NAME, with no folder");
  } else if (prefix.empty()) {
    Warn(file, "EmojiPath", "empty: object paths are NAME.NAME, with no folder");
  } else if (prefix.back() != '/') {
    const std::string example = names.empty() ? "NAME" : names.front().first;
    Warn(file, "EmojiPath",
         fmt::format("\"{}\" does not end with \"/\": the names run into it, as in {}{}.{}", prefix, prefix, example,
                     example));
  }
  CheckLeadingSlash(file, "EmojiPath", prefix);
  if (prefix.find('"') != std::string::npos) {
    Warn(file, "EmojiPath", "has a quotation mark in it, which ends the chat markup's path early");
  }

  for (const auto& [name, key] : names) {
    if (name.empty()) {
      Warn(file, key, "empty name: its code is \"::\", which every pair of colons in chat will match");
    } else {
      CheckName(file, key, name);
    }
    pack_emoji_.push_back({name, prefix + name + "." + name, file, key, groups});
  }
}

void DocumentChecker::CheckDuplicates() {
  std::map<std::string, std::vector<Emoji>> earlier;
  for (const Emoji& emoji : AllEmoji()) {
    if (emoji.name.empty()) continue;  // warned about on its own
    std::vector<Emoji>& before = earlier[emoji.name];
    // One for everyone, or one for the same groups, leaves this one to nobody.
    const auto winner = std::find_if(before.begin(), before.end(),
                                     [&](const Emoji& e) { return !e.groups || e.groups == emoji.groups; });
    if (winner != before.end()) {
      const std::string where = winner->file == emoji.file ? winner->key : winner->file + " " + winner->key;
      Warn(emoji.file, emoji.key,
           fmt::format(":{}: is defined at {} too, which comes first and wins: this one changes nothing in chat",
                       emoji.name, where));
    }
    before.push_back(emoji);
  }
}

void DocumentChecker::CheckGroupNames() {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  for (auto use = group_uses_.begin(); use != group_uses_.end(); ++use) {
    const std::string& name = use->name;
    if (!name.empty() && (blank(name.front()) || blank(name.back()))) {
      const auto first = std::find_if_not(name.begin(), name.end(), blank);
      const auto last = std::find_if_not(name.rbegin(), name.rend(), blank).base();
      const std::string trimmed = first < last ? std::string(first, last) : std::string();
      const char* end = !blank(name.back()) ? "at its start" : !blank(name.front()) ? "at its end" : "at both ends";
      Warn(use->file, use->key,
           trimmed.empty() ? fmt::format("group \"{}\" is blanks only: no permission group is named so", name)
                           : fmt::format("group \"{}\" has a blank {}: group names are matched exactly, so this is not "
                                         "the group \"{}\"",
                                         name, end, trimmed));
    }
    // Once per spelling, at its first use, against the first other spelling.
    const auto same = [&](const GroupUse& other) { return other.name == name; };
    if (std::find_if(group_uses_.begin(), use, same) != use) continue;
    const auto other = std::find_if(group_uses_.begin(), use, [&](const GroupUse& earlier) {
      return earlier.name != name && Lower(earlier.name) == Lower(name);
    });
    if (other == use) continue;
    Warn(use->file, use->key,
         fmt::format("group \"{}\" differs only in letter case from \"{}\" at {}: group names are case-sensitive, "
                     "so these are two groups and a player in one is not in the other",
                     name, other->name, Where(use->file, other->file, other->key)));
  }
}

void DocumentChecker::CheckPacksKey(const std::string& config_file, const json& config, const std::string& folder,
                                    const std::vector<std::string>& pack_names) {
  if (!config.is_object()) return;
  const auto it = config.find("Packs");
  if (it == config.end()) return;
  WarnIfObject(config_file, "Packs", *it, "pack file names");
  std::set<std::string> listed;
  // Once Packs is not a list of names, which files it meant is anyone's
  // guess: its own warning is the one mistake, not every file it leaves out.
  bool names_only = !it->is_object();
  ForEachKeyed(*it, "Packs", [&](const json& entry, const std::string& key) {
    if (!entry.is_string()) {
      Warn(config_file, key, "expected a pack file name, found " + TypeName(entry));
      names_only = false;
      return;
    }
    const std::string name = entry.get<std::string>();
    listed.insert(name);
    if (std::find(pack_names.begin(), pack_names.end(), name) == pack_names.end()) {
      Warn(config_file, key, fmt::format("\"{}\" is not a file in the Packs folder", name));
    }
  });
  for (const std::string& name : pack_names) {
    if (names_only && listed.count(name) == 0) {
      Warn(folder + name, "",
           "not named in Packs, and loads all the same: Packs selects nothing, every file in the Packs folder loads");
    }
  }
}

int DocumentChecker::CountNames() const {
  std::set<std::string> names;
  for (const Emoji& emoji : AllEmoji()) names.insert(emoji.name);
  return static_cast<int>(names.size());
}

std::vector<Emoji> DocumentChecker::AllEmoji() const {
  std::vector<Emoji> all = pack_emoji_;
  all.insert(all.end(), remap_emoji_.begin(), remap_emoji_.end());
  return all;
}

}  // namespace glyphwork::check
