// The schema of config.json and of a pack file, checked on the parsed values:
// types with the key's path, and the values that load but are almost
// certainly a mistake.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "programs/check/report.h"

namespace glyphwork::check {

// One mapped emoji, where it is defined.
struct Emoji {
  std::string name;
  std::string object_path;
  std::string file;
  std::string key;                                 // e.g. EmojiArray[3] or RemapEmoji[0]
  std::optional<std::vector<std::string>> groups;  // its pack's Groups; none: everyone's
};

// A permission group's name where a file writes it.
struct GroupUse {
  std::string name;
  std::string file;
  std::string key;  // e.g. PermissionsGroups[1] or Groups[0]
};

class DocumentChecker {
 public:
  explicit DocumentChecker(Report& report) : report_(report) {}

  // ConfigDocument after a successful read. `has_packs`: the Packs folder
  // holds files, so the pack scan looks `Packs` up in it.
  void CheckConfig(const std::string& file, const nlohmann::json& config, bool has_packs);
  // One parsed pack file; call in scan order.
  void CheckPack(const std::string& file, const nlohmann::json& pack);
  // Names defined more than once: the first in the plugin's order (packs in
  // scan order, then RemapEmoji) wins, for the players its pack's Groups
  // admit; a definition no player can see is reported.
  void CheckDuplicates();
  // Group names that match no player as meant: blanks at either end, or a
  // name that differs from another only in letter case. Call after the last
  // pack.
  void CheckGroupNames();
  // `Packs` against the files of the Packs folder (`folder` ends with "/").
  void CheckPacksKey(const std::string& config_file, const nlohmann::json& config, const std::string& folder,
                     const std::vector<std::string>& pack_names);

  bool use_permissions() const { return use_permissions_; }
  const std::vector<std::string>& groups() const { return groups_; }
  // Every group name written in config.json and the packs, in reading order.
  const std::vector<GroupUse>& group_uses() const { return group_uses_; }
  // Pack emoji in scan order, then the RemapEmoji entries: the order in which
  // the plugin loads their textures.
  std::vector<Emoji> AllEmoji() const;
  // The names among them, each counted once.
  int CountNames() const;

 private:
  void Error(const std::string& file, const std::string& key, const std::string& message);
  void Warn(const std::string& file, const std::string& key, const std::string& message);
  // An object where a list belongs; anything else that is not a list is
  // either a documented short form (one string, null) or reported by the
  // check of its elements, which meets it as the one element.
  void WarnIfObject(const std::string& file, const std::string& key, const nlohmann::json& value,
                    const std::string& of);
  void WarnUnknownKeys(const std::string& file, const std::string& key, const nlohmann::json& object,
                       const std::vector<std::string>& known, const std::string& what);
  // The member as a string: "" when absent; false after an error when it is
  // not a string.
  bool StringMember(const std::string& file, const nlohmann::json& object, const std::string& key,
                    const std::string& member, const char* effect, std::string& out);
  void CheckName(const std::string& file, const std::string& key, const std::string& name);
  // A non-empty object path that is not absolute.
  void CheckLeadingSlash(const std::string& file, const std::string& key, const std::string& path);
  // MaxEmojiPerMessage, AllowEscape, BlockTypedMarkup, EmojiListCommand.
  void CheckControls(const std::string& file, const nlohmann::json& config);

  Report& report_;
  bool use_permissions_ = false;
  std::vector<std::string> groups_;
  std::vector<GroupUse> group_uses_;
  std::vector<Emoji> pack_emoji_;
  std::vector<Emoji> remap_emoji_;
};

}  // namespace glyphwork::check
