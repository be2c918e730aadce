#include "programs/check/check.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <tuple>
#include <utility>

#include "assets/emoji_assets.h"
#include "chat/chat_hook.h"
#include "chat/chat_rules.h"
#include "common/engine_text.h"
#include "common/game_functions.h"
#include "common/regex.h"
#include "common/utf8_path.h"
#include "config/config.h"
#include "config/json_errors.h"
#include "log/log.h"
#include "platform/platform.h"
#include "programs/check/console_lines.h"
#include "programs/check/documents.h"
#include "programs/check/json_text.h"
#include "programs/check/usage_report.h"
#include "standin/game/game.h"
#include "standin/host/host_control.h"
#include "standin/permissions/permissions.h"

namespace glyphwork::check {

namespace {

namespace fs = std::filesystem;
using glyphwork::PathFromUtf8;
using glyphwork::Utf8FromPath;
using nlohmann::json;

constexpr const char* kConfigFails = "the plugin does not start, and a reload keeps the previous configuration";
constexpr const char* kPackFails =
    "the pack scan stops here: the plugin does not start, and a reload keeps the previous packs";
constexpr const char* kPlayerId = "glyphwork-check";

// A console line's message: what follows the tag, without the colour reset.
std::string ConsoleMessage(const std::string& line) {
  static const std::regex pattern("^\x1b\\[\\d+m[^\\[]* \\[Glyphwork\\](?:\\[ERR\\])? ([\\s\\S]*)\x1b\\[0m$");
  std::smatch match;
  return std::regex_match(line, match, pattern) ? match[1].str() : line;
}

// When the file is not UTF-8 text at all: UTF-16 (with or without its
// byte-order mark), what Notepad saves as "Unicode", or UTF-32.
bool IsWideText(std::string_view text) {
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) return true;
  return text.substr(0, 4).find('\0') != std::string_view::npos;
}

// The plugin's text of a JSON error, without the library's
// "[json.exception...] " tag; the line and column of a parse error go into the
// finding. Mistakes the library's words do not make plain get words of their
// own: a file that is not UTF-8, a comment.
Finding JsonFinding(const fs::path& path, const std::string& file, const json::exception& error, const char* effect) {
  static const std::regex tag(R"(^\[json\.exception\.[a-z_]+\.\d+\] )");
  static const std::regex position(R"(^parse error at line (\d+), column (\d+): ([\s\S]*)$)");
  Finding finding;
  finding.file = file;
  const auto* parse_error = dynamic_cast<const json::parse_error*>(&error);
  const std::string text = parse_error != nullptr ? ReadJsonText(path) : std::string();
  std::string message = std::regex_replace(JsonErrorTextIn(text, error), tag, "");
  std::smatch match;
  if (std::regex_match(message, match, position)) {
    finding.line = std::stoi(match[1].str());
    finding.column = std::stoi(match[2].str());
    message = match[3].str();
  }
  if (parse_error != nullptr) {
    const std::size_t at = parse_error->byte;  // 1-based: the byte the parse stopped at
    if (IsWideText(text)) {
      message =
          "the file is saved as UTF-16 (what Notepad calls \"Unicode\"), which the plugin cannot read: save it "
          "as UTF-8";
    } else if (at >= 1 && at < text.size() && text[at - 1] == '/' && (text[at] == '/' || text[at] == '*')) {
      message = "a comment: JSON allows no comments, take it out";
    } else if (message.find("ill-formed UTF-8") != std::string::npos) {
      message += " (the file is not UTF-8, perhaps saved as ANSI: save it as UTF-8)";
    }
  }
  finding.message = message + " (" + effect + ")";
  return finding;
}

class Checker {
 public:
  Checker(const Options& options, Report& report) : options_(options), report_(report), documents_(report) {}

  void Run() {
    SetUp();
    CheckFolderName();
    ListPacks();
    ReadConfigFile();
    if (config_read_) {
      documents_.CheckConfig(config_file_, ConfigDocument, !pack_names_.empty());
      CheckUsageKeys(report_, config_file_, ConfigDocument);
    }
    ScanPacks();
    documents_.CheckGroupNames();
    CheckGroupOptions();
    if (config_read_) documents_.CheckPacksKey(config_file_, ConfigDocument, Shown(packs_folder_), pack_names_);
    documents_.CheckDuplicates();
    report_.emoji = documents_.CountNames();
    if (config_read_ && report_.emoji == 0 && report_.Count(Severity::kError) == 0) {
      report_.Add(Severity::kWarning, config_file_, "", "no emoji mapped: no pack names one, and RemapEmoji is empty");
    }
    LoadLikeThePlugin();
    if (!options_.content.empty()) {
      CheckContent();
    } else if (!options_.content_missing.empty()) {
      report_.Add(Severity::kWarning, options_.content_missing, "",
                  "no such folder, so textures were not checked: a texture that does not load shows as a white "
                  "square in chat (--content DIR names the content folder, --content none checks the files alone)");
    }
    if (!options_.say.empty()) PreviewChat();
    TearDown();
    PlaceFindings();
    GroupByFile();
  }

 private:
  // The path as the plugin builds it, tidied for reading: "./a//b" is "a/b".
  static std::string Shown(const fs::path& path) { return Utf8FromPath(path.lexically_normal()); }

  void StartHostAt(const std::string& server_dir, const std::string& content_dir = "") {
    standin::HostOptions host;
    host.server_dir = server_dir;
    host.content_dir = content_dir;
    host.console_sink = false;
    host.log_file = false;  // a check leaves the server folder as it found it
    standin::StartHost(host);
  }

  void SetUp() {
    // The plugin takes the console logger that is registered under its name.
    console_ = std::make_unique<ConsoleLines>();
    SetUpConsoleLog();
    StartHostAt(options_.root);
    game_ = std::make_unique<standin::Game>();
  }

  void TearDown() {
    game_.reset();
    standin::StopHost();
    console_.reset();
  }

  // The live host reports its folder in the system's ANSI code page (on
  // Windows): a character the code page lacks is lost, and with it the way to
  // every file of the plugin. One it has is still at risk: the host widens
  // each byte of that text to a character of its own when it loads plugins.
  void CheckFolderName() {
    const fs::path seen = platform::PathFromHostText(AsaApi::Tools::GetCurrentDir());
    const fs::path folder = glyphwork::PathFromUtf8(standin::BinariesDir());
    folder_file_ = Shown(folder);
    if (seen != folder) {
      report_.Add(Severity::kError, Shown(folder), "",
                  "the host reports this folder in the system's code page, which lacks some of its characters: as \"" +
                      Utf8FromPath(seen) +
                      "\", where neither the host nor the plugin finds a file (rename the folder)");
      return;
    }
    const std::string name = Utf8FromPath(folder);
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return;
    report_.Add(Severity::kWarning, Shown(folder), "",
                "the folder's name goes beyond ASCII: the live host turns each byte of it in the system's code page "
                "into a character of its own, which names the folder right for some letters only (é in Western "
                "European code pages, no € and nothing in a code page of two bytes): name the server's folder in "
                "ASCII");
  }

  void ListPacks() {
    packs_folder_ = GetPacksPath();
    try {
      packs_folder_exists_ = IsPacksFolder(packs_folder_);
      if (packs_folder_exists_) pack_names_ = ListPackFiles(packs_folder_, &broken_links_);
    } catch (const std::exception& error) {
      packs_folder_error_ = error.what();
    }
    report_.packs = static_cast<int>(pack_names_.size());
  }

  enum class Parsed { kOk, kCannotOpen, kInvalid };

  // Parses a file as the plugin does. A parse error is reported here; a file
  // that parses gets its layout mapped, for the places of later findings,
  // and its keys written twice and text after the first value reported.
  Parsed Parse(const fs::path& path, const std::string& file, const char* effect, json& out) {
    try {
      if (!ParseJsonFile(path, out)) return Parsed::kCannotOpen;
    } catch (const json::exception& error) {
      report_.findings.push_back(JsonFinding(path, file, error, effect));
      return Parsed::kInvalid;
    }
    const JsonLayout& layout = layouts_[file] = MapJsonText(ReadJsonText(path));
    for (const DuplicateKey& duplicate : layout.duplicates) {
      report_.findings.push_back(
          {Severity::kWarning, file, duplicate.later.line, duplicate.later.column, duplicate.path,
           fmt::format("written twice in one object, at lines {} and {}: only the later one counts, the one at line {} "
                       "is lost",
                       duplicate.first.line, duplicate.later.line, duplicate.first.line)});
    }
    if (layout.trailing_text) {
      report_.findings.push_back({Severity::kWarning, file, layout.trailing_text->line, layout.trailing_text->column,
                                  "",
                                  "text after the first JSON value, which is never read: one file holds one "
                                  "object (two pasted one after the other?)"});
    }
    return Parsed::kOk;
  }

  // ConfigDocument as ReadConfig sets it, with the failure in the checker's
  // own terms.
  void ReadConfigFile() {
    config_file_ = Shown(GetConfigPath());
    json config;
    switch (Parse(GetConfigPath(), config_file_, kConfigFails, config)) {
      case Parsed::kCannotOpen:
        report_.Add(Severity::kError, config_file_, "", std::string("Can't open config.json (") + kConfigFails + ")");
        return;
      case Parsed::kInvalid:
        return;
      case Parsed::kOk:
        ConfigDocument = std::move(config);
        config_read_ = true;
    }
  }

  void ScanPacks() {
    const std::string folder = Shown(packs_folder_);
    if (!packs_folder_error_.empty()) {
      report_.Add(Severity::kError, folder, "", packs_folder_error_ + " (the plugin does not start)");
      return;
    }
    if (!packs_folder_exists_) {
      report_.Add(Severity::kWarning, folder, "",
                  "no Packs folder: no pack loads, and the console says \"Packs folder doesn't exist!\" at "
                  "every load (an empty folder keeps it quiet)");
      return;
    }
    for (const std::string& name : broken_links_) {
      report_.Add(Severity::kWarning, Shown(packs_folder_ / PathFromUtf8(name)), "",
                  "a link to nothing: the plugin skips it, and the console says \"Skipped " + name +
                      " in Packs: a link to nothing!\" at every load");
    }
    for (const std::string& name : pack_names_) {
      const fs::path path = packs_folder_ / PathFromUtf8(name);
      const std::string file = Shown(path);
      const std::string extension = Utf8FromPath(PathFromUtf8(name).extension());
      if (extension.size() != 5 || !std::equal(extension.begin(), extension.end(), ".json", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
          })) {
        report_.Add(Severity::kWarning, file, "",
                    "not a .json file, but every file in the Packs folder is read as a pack");
      }
      json pack;
      switch (Parse(path, file, kPackFails, pack)) {
        case Parsed::kCannotOpen:
          report_.Add(Severity::kError, file, "", "Can't open " + name + " pack! (" + kPackFails + ")");
          pack_unread_ = true;
          break;
        case Parsed::kInvalid:
          pack_unread_ = true;
          break;
        case Parsed::kOk:
          documents_.CheckPack(file, pack);
      }
    }
  }

  // A --group that no file names changes nothing in the preview: most often
  // a slip of its spelling. Said only when every file was read.
  void CheckGroupOptions() {
    if (!config_read_ || pack_unread_) return;
    std::vector<std::string> used;
    for (const GroupUse& use : documents_.group_uses()) {
      if (std::find(used.begin(), used.end(), use.name) == used.end()) used.push_back(use.name);
    }
    std::vector<std::string> reported;
    for (const std::string& group : options_.groups) {
      if (std::find(used.begin(), used.end(), group) != used.end()) continue;
      if (std::find(reported.begin(), reported.end(), group) != reported.end()) continue;
      reported.push_back(group);
      report_.Add(
          Severity::kWarning, "", "",
          fmt::format("--group {} names a group that no file uses, so it changes nothing in the preview ({})", group,
                      used.empty() ? std::string("no file uses a group")
                                   : fmt::format("the groups used: {}", fmt::join(used, ", "))));
    }
  }

  // Load's own order: ReadConfig, then LoadPacks; either failing ends it.
  void LoadLikeThePlugin() {
    if (!config_read_) return;
    try {
      LoadPacks();
      plugin_loads_ = true;
      rules_broken_ = ChatRules(ConfigDocument, PackDocument, PackFiles).wrong_type() != nullptr;
    } catch (const std::exception& error) {
      // Whatever fails here has been named above; this is the net under it.
      if (report_.Count(Severity::kError) == 0) {
        report_.Add(Severity::kError, "", "", std::string("the pack scan fails: ") + error.what());
      }
    }
    console_->Take();  // "Can't parse ..." and "Packs folder doesn't exist!": reported above
  }

  // The plugin's own texture loading, with the stand-in game loading from the
  // content folder.
  void CheckContent() {
    if (!plugin_loads_) {
      report_.Add(Severity::kNote, "", "", "content not checked: the plugin does not start");
      return;
    }
    report_.textures_checked = true;
    bool stopped = false;
    StartHostAt(options_.root, options_.content);
    console_->Take();
    try {
      LoadEmojiAssets();
    } catch (const std::exception&) {
      stopped = true;  // a type error, reported above
    }
    StartHostAt(options_.root);

    std::map<std::string, std::deque<Emoji>> origins;
    for (const Emoji& emoji : documents_.AllEmoji()) origins[emoji.object_path].push_back(emoji);
    const std::string invalid = "Invalid Path: ";
    for (const std::string& line : console_->Take()) {
      const std::string message = ConsoleMessage(line);
      if (message.rfind(invalid, 0) != 0) continue;
      const std::string path = message.substr(invalid.size());
      if (path.empty()) continue;  // an entry without Path, reported above
      Emoji origin;
      if (auto& queue = origins[path]; !queue.empty()) {
        origin = queue.front();
        queue.pop_front();
      }
      report_.Add(Severity::kWarning, origin.file, origin.key,
                  path + " does not load from the content folder: a white square in chat");
    }
    if (stopped) {
      report_.Add(Severity::kNote, "", "",
                  "content checked up to the first wrong type only: texture loading stops there");
    }
  }

  // The real hook, on the stand-in game, for one player in the first
  // permission group.
  void PreviewChat() {
    if (plugin_loads_) {
      AsaApi::GetHooks().SetHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook),
                                 &ClientChatMessageTrampoline);
    } else {
      report_.Add(Severity::kNote, "", "", "the plugin does not start: chat is delivered unchanged");
    }
    AShooterPlayerController* player = game_->Join("Player", kPlayerId);
    std::vector<std::string>& groups = report_.preview_groups;
    if (!options_.no_default_group && documents_.use_permissions() && !documents_.groups().empty()) {
      groups.push_back(documents_.groups().front());
    }
    for (const std::string& group : options_.groups) {
      if (std::find(groups.begin(), groups.end(), group) == groups.end()) groups.push_back(group);
    }
    for (const std::string& group : groups) Permissions::StandIn::AddToGroup(kPlayerId, group);
    for (const std::string& text : options_.say) {
      FPrimalChatMessage message;
      message.SenderName = FString("Player");
      message.Message = FStringFromUtf8(text);
      standin::Game::Deliver(player, message);
      const std::string received = player->received.empty() ? "" : player->received.back();
      report_.previews.push_back({text, received, GroupReasons(received)});
    }
    if (plugin_loads_) {
      AsaApi::GetHooks().DisableHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook));
    }
    console_->Take();  // the hook's line on a wrong type repeats a finding above
  }

  // For each code still in a preview's text, by where it stands, why it is
  // text when permission groups are the cause: UsePermissions without one of
  // PermissionsGroups, or only packs whose Groups the player is not in. Said
  // only where the plugin rewrites chat at all.
  std::vector<std::string> GroupReasons(const std::string& received) {
    if (!plugin_loads_ || rules_broken_) return {};
    const std::vector<std::string>& player = report_.preview_groups;
    const auto in = [&](const std::vector<std::string>& groups) {
      return std::any_of(groups.begin(), groups.end(), [&](const std::string& group) {
        return std::find(player.begin(), player.end(), group) != player.end();
      });
    };
    const std::string preview = player.empty() ? "this preview is in no permission group"
                                               : fmt::format("this preview is in {}", fmt::join(player, ", "));
    std::map<std::string, std::vector<Emoji>> definitions;
    std::vector<std::pair<std::size_t, std::string>> found;  // where in the text, name
    for (const Emoji& emoji : documents_.AllEmoji()) {
      if (emoji.name.empty()) continue;
      std::vector<Emoji>& of_name = definitions[emoji.name];
      if (of_name.empty()) {
        if (const std::size_t at = received.find(":" + emoji.name + ":"); at != std::string::npos) {
          found.emplace_back(at, emoji.name);
        }
      }
      of_name.push_back(emoji);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> reasons;
    for (const auto& [at, name] : found) {
      std::string why;
      if (documents_.use_permissions() && !in(documents_.groups())) {
        why = documents_.groups().empty() ? "UsePermissions is on with no PermissionsGroups"
                                          : fmt::format("UsePermissions is on, and {}, none of PermissionsGroups ({})",
                                                        preview, fmt::join(documents_.groups(), ", "));
      } else {
        std::vector<std::string> packs;
        bool case_slip = false;
        for (const Emoji& emoji : definitions[name]) {
          if (!emoji.groups || in(*emoji.groups)) {
            packs.clear();
            break;
          }
          const std::string pack = Utf8FromPath(PathFromUtf8(emoji.file).filename());
          packs.push_back(emoji.groups->empty()
                              ? pack + " is for no group"
                              : fmt::format("{} is for the groups {}", pack, fmt::join(*emoji.groups, ", ")));
          for (const std::string& group : *emoji.groups) {
            case_slip = case_slip || std::any_of(player.begin(), player.end(), [&](const std::string& mine) {
                          return mine.size() == group.size() && mine != group &&
                                 std::equal(mine.begin(), mine.end(), group.begin(), [](char a, char b) {
                                   return std::tolower(static_cast<unsigned char>(a)) ==
                                          std::tolower(static_cast<unsigned char>(b));
                                 });
                        });
          }
        }
        if (packs.empty()) continue;
        why = fmt::format("{}; {}{}", fmt::join(packs, "; "), preview,
                          case_slip ? " (group names are case-sensitive)" : "");
      }
      reasons.push_back(fmt::format(":{}: stays text: {}", name, why));
    }
    return reasons;
  }

  // A finding about a key without a place of its own gets its value's.
  void PlaceFindings() {
    for (Finding& finding : report_.findings) {
      if (finding.line > 0 || finding.key.empty()) continue;
      const auto layout = layouts_.find(finding.file);
      if (layout == layouts_.end()) continue;
      if (const auto it = layout->second.values.find(finding.key); it != layout->second.values.end()) {
        finding.line = it->second.line;
        finding.column = it->second.column;
      }
    }
  }

  // Findings file by file, in the order the plugin reads the files; within a
  // file, those about the whole file first, then from the top down.
  void GroupByFile() {
    // The server folder's name, when it is at fault, is why the files are
    // not found: it comes before what it causes.
    std::map<std::string, std::size_t> rank = {{folder_file_, 0}, {config_file_, 1}, {Shown(packs_folder_), 2}};
    for (const std::string& name : broken_links_) rank.emplace(Shown(packs_folder_ / PathFromUtf8(name)), 2);
    for (const std::string& name : pack_names_) rank.emplace(Shown(packs_folder_ / PathFromUtf8(name)), rank.size());
    const auto rank_of = [&](const Finding& finding) {
      const auto it = rank.find(finding.file);
      return it == rank.end() ? rank.size() : it->second;
    };
    std::stable_sort(report_.findings.begin(), report_.findings.end(), [&](const Finding& a, const Finding& b) {
      return std::tuple(rank_of(a), a.line, a.column) < std::tuple(rank_of(b), b.line, b.column);
    });
  }

  const Options& options_;
  Report& report_;
  DocumentChecker documents_;
  std::unique_ptr<ConsoleLines> console_;
  std::unique_ptr<standin::Game> game_;
  std::map<std::string, JsonLayout> layouts_;  // by file, as findings name it

  std::string folder_file_;  // the server's executable's folder, as findings name it
  std::string config_file_;
  bool config_read_ = false;
  bool pack_unread_ = false;   // a pack file did not open or parse
  bool rules_broken_ = false;  // a delivery meets a wrong type: chat is delivered without emoji
  fs::path packs_folder_;
  bool packs_folder_exists_ = false;
  std::string packs_folder_error_;
  std::vector<std::string> pack_names_;
  std::vector<std::string> broken_links_;
  bool plugin_loads_ = false;
};

}  // namespace

Report RunCheck(const Options& options) {
  Report report;
  Checker(options, report).Run();
  return report;
}

}  // namespace glyphwork::check
