// glyphwork-check, run as a program on small server folders, and held against
// what the real plugin does with the same files.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "standin/permissions/permissions.h"
#include "tests/server_fixture.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr const char* kPluginFolder = "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/";
constexpr const char* kPlayerId = "player-1";

// Plugin folder files by name ("config.json", "Packs/a.json"); an empty map
// entry value still makes the file.
using Files = std::map<std::string, std::string>;

struct ToolRun {
  int status = -1;
  std::string out;
};

class CheckTest : public ServerTest {
 protected:
  // The program in the server folder, as an admin runs it there; what it
  // writes to standard error goes to `out` too when asked.
  ToolRun Check(std::vector<std::string> arguments, bool with_errors = false) {
    std::vector<std::string> all = {GLYPHWORK_CHECK_FILE};
    if (files_only_ && std::find(arguments.begin(), arguments.end(), "--content") == arguments.end()) {
      all.insert(all.end(), {"--content", "none"});
    }
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string folder = Root().string();

    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
      dup2(pipe_ends[1], STDOUT_FILENO);
      close(pipe_ends[0]);
      close(pipe_ends[1]);
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(with_errors ? STDOUT_FILENO : quiet, STDERR_FILENO);
      if (chdir(folder.c_str()) != 0) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(pipe_ends[1]);
    ToolRun run;
    char buffer[4096];
    for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) run.out.append(buffer, n);
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  // The --json form; its "status" must be the exit status.
  json CheckJson(std::vector<std::string> arguments = {}) {
    arguments.push_back("--json");
    const ToolRun run = Check(arguments);
    const json report = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(report.is_discarded()) << run.out;
    if (report.is_discarded()) return json::object();
    EXPECT_EQ(run.status, report.value("status", -1));
    return report;
  }

  // Tests of the files themselves check them alone, as an admin who says so;
  // those of the textures clear it.
  bool files_only_ = true;

  // A fresh plugin folder holding exactly `files`.
  void Use(const Files& files) {
    fs::remove_all(PluginDir());
    fs::create_directories(PluginDir());
    for (const auto& [name, content] : files) Write(kPluginFolder + name, content);
  }
};

// "warning Packs/a.json:3:4 EmojiArray[0]: message", the plugin folder left
// out of file names.
std::string FlatFinding(const json& finding) {
  std::string file = finding.value("file", "");
  if (file.rfind(kPluginFolder, 0) == 0) file.erase(0, std::string(kPluginFolder).size());
  std::string out = finding.value("severity", "?") + " " + file;
  if (finding.contains("line")) out += ":" + finding["line"].dump() + ":" + finding["column"].dump();
  if (finding.contains("key")) out += " " + finding["key"].get<std::string>();
  return out + ": " + finding.value("message", "");
}

std::vector<std::string> Flat(const json& report) {
  std::vector<std::string> out;
  for (const json& finding : report.value("findings", json::array())) out.push_back(FlatFinding(finding));
  return out;
}

const std::string kConfigFails = " (the plugin does not start, and a reload keeps the previous configuration)";
const std::string kPackFails =
    " (the pack scan stops here: the plugin does not start, and a reload keeps the previous packs)";
const std::string kBothFail =
    " (at start-up, texture loading stops there and chat messages are delivered without emoji; a reload keeps the "
    "previous files)";
const std::string kChatFails =
    " (at start-up, chat messages are delivered without emoji; a reload keeps the previous files)";
const std::string kFacePack = R"({"EmojiPath": "/Game/E/", "EmojiArray": ["e"]})";
const std::string kOtherPack = R"({"EmojiPath": "/Game/P/", "EmojiArray": ["p"]})";

TEST_F(CheckTest, ErrorsThatFailALoadNameTheFileAndWhereTheParseStopped) {
  struct Case {
    Files files;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{{"Packs/a.json", kFacePack}}, {"error config.json: Can't open config.json" + kConfigFails}},
      {{{"config.json/x", ""}, {"Packs/a.json", kFacePack}},
       {"error config.json: Can't open config.json" + kConfigFails}},
      {{{"config.json", "{\n  \"UsePermissions\": true,\n}"}, {"Packs/a.json", kFacePack}},
       {"error config.json:2:25: trailing comma: JSON allows no comma after the last member of an object or list" +
        kConfigFails}},
      // What the library's words leave unsaid: comments, and text that is not UTF-8.
      {{{"config.json", "{ // admins only\n}"}, {"Packs/a.json", kFacePack}},
       {"error config.json:1:3: a comment: JSON allows no comments, take it out" + kConfigFails}},
      {{{"config.json", "{}"}, {"Packs/a.json", "{\"EmojiPath\": \"/Game/E/\", /* faces */\n\"EmojiArray\": [\"e\"]}"}},
       {"error Packs/a.json:1:27: a comment: JSON allows no comments, take it out" + kPackFails}},
      {{{"config.json", std::string("\xFF\xFE{\0}\0", 6)}, {"Packs/a.json", kFacePack}},
       {"error config.json:1:1: the file is saved as UTF-16 (what Notepad calls \"Unicode\"), which the plugin "
        "cannot read: save it as UTF-8" +
        kConfigFails}},
      {{{"config.json", "{}"}, {"Packs/a.json", std::string("{\0\"\0}\0", 6)}},
       {"error Packs/a.json:1:2: the file is saved as UTF-16 (what Notepad calls \"Unicode\"), which the plugin "
        "cannot read: save it as UTF-8" +
        kPackFails}},
      {{{"config.json", "{\"RemapEmoji\": [{\"Name\": \"caf\xE9\"}]}"}, {"Packs/a.json", kFacePack}},
       {"error config.json:1:31: syntax error while parsing value - invalid string: ill-formed UTF-8 byte; last read: "
        "'\"caf\xEF\xBF\xBD\"' (the file is not UTF-8, perhaps saved as ANSI: save it as UTF-8)" +
        kConfigFails}},
      // Every broken pack is named, not only the first, at which the plugin's scan stops.
      {{{"config.json", "{}"},
        {"Packs/a.json", kFacePack},
        {"Packs/b.json", "{\"EmojiArray\": [\"x\"\n"},
        {"Packs/c.json", "[1, 2,]"}},
       {"error Packs/b.json:2:1: syntax error while parsing array - unexpected end of input; expected ']'" + kPackFails,
        "error Packs/c.json:1:6: trailing comma: JSON allows no comma after the last member of an object or list" +
            kPackFails}},
      {{{"config.json", "{}"}, {"Packs/README.txt", "Put packs here.\n"}, {"Packs/a.json", kFacePack}},
       {"warning Packs/README.txt: not a .json file, but every file in the Packs folder is read as a pack",
        "error Packs/README.txt:1:1: syntax error while parsing value - invalid literal; last read: 'P'" + kPackFails}},
      {{{"config.json", "[]"}, {"Packs/a.json", kFacePack}},
       {"error config.json: expected an object at the top level, found a list (the pack scan fails on it, so the "
        "plugin does not start)"}},
  };
  for (const Case& c : cases) {
    Use(c.files);
    const json report = CheckJson();
    EXPECT_THAT(Flat(report), ElementsAreArray(c.expected)) << c.files.begin()->first;
    EXPECT_EQ(2, report["status"]);
    // The verdict is the plugin's: it does not start (it logs why and
    // registers its reload commands alone), and its log names the first
    // broken file at the checker's line and column.
    TakeHostLog();
    ASSERT_TRUE(LoadPlugin());
    EXPECT_THAT(standin::Registrations(),
                ::testing::UnorderedElementsAre("console Glyphwork.Reload", "rcon Glyphwork.Reload",
                                                ::testing::StartsWith("timer ")))
        << c.expected.front();
    for (const json& finding : report["findings"]) {
      if (finding["severity"] != "error" || !finding.contains("line")) continue;
      const std::string place =
          "parse error at line " + finding["line"].dump() + ", column " + finding["column"].dump();
      EXPECT_THAT(TakeHostLog(), ::testing::Contains(::testing::HasSubstr(place))) << c.expected.front();
      break;
    }
    standin::UnloadPlugin("Glyphwork");
  }
}

TEST_F(CheckTest, WrongTypesNameTheKeyPathAndWhatTheyBreak) {
  struct Case {
    std::string config;
    std::string pack;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {R"({"RemapEmoji": [{"Name": "a", "Path": "/Game/A.A"}, {"Name": "b", "Path": "/Game/B.B"},
                          {"Name": "c", "Path": 7}]})",
       kOtherPack,
       {"error config.json:2:49 RemapEmoji[2].Path: expected a string, found a number" + kBothFail}},
      {R"({"UsePermissions": "yes", "PermissionsGroups": ["Emoji"]})",
       kOtherPack,
       {"error config.json:1:20 UsePermissions: expected a boolean, found a string" + kChatFails}},
      {R"({"UsePermissions": true, "PermissionsGroups": ["Emoji", 5]})",
       kOtherPack,
       {"error config.json:1:57 PermissionsGroups[1]: expected a string, found a number" + kChatFails}},
      {R"({"RemapEmoji": ["a"]})",
       kOtherPack,
       {"error config.json:1:17 RemapEmoji[0]: expected an object, found a string" + kBothFail}},
      {R"({"RemapEmoji": [{"Name": null, "Path": "/Game/A.A"}]})",
       kOtherPack,
       {"error config.json:1:26 RemapEmoji[0].Name: expected a string, found null" + kBothFail}},
      // One remap written without its list: the library walks its member values.
      {R"({"RemapEmoji": {"Name": "a", "Path": "/Game/A.A"}})",
       kOtherPack,
       {"warning config.json:1:16 RemapEmoji: expected a list of objects, found an object (its member values are "
        "read, in key order)",
        "error config.json:1:25 RemapEmoji.Name: expected an object, found a string" + kBothFail,
        "error config.json:1:38 RemapEmoji.Path: expected an object, found a string" + kBothFail}},
      {"{}",
       R"({"EmojiPath": 5, "EmojiArray": ["e"]})",
       {"error Packs/p.json:1:15 EmojiPath: expected a string, found a number" + kBothFail}},
      {"{}",
       R"({"EmojiPath": "/Game/P/", "EmojiArray": ["p", null]})",
       {"error Packs/p.json:1:47 EmojiArray[1]: expected a string, found null" + kBothFail}},
      {"{}",
       R"({"EmojiPath": "/Game/P/", "EmojiArray": {"first": "p", "second": 2}})",
       {"warning Packs/p.json:1:41 EmojiArray: expected a list of emoji names, found an object (its member values "
        "are read, in key order)",
        "error Packs/p.json:1:66 EmojiArray.second: expected a string, found a number" + kBothFail}},
      {"{}", R"(["p"])", {"error Packs/p.json: expected an object at the top level, found a list" + kBothFail}},
      // The controls.
      {R"({"EmojiListCommand": ["/emojis"]})",
       kOtherPack,
       {"error config.json:1:22 EmojiListCommand: expected a string, found a list" + kChatFails}},
      {R"({"MaxEmojiPerMessage": -2})",
       kOtherPack,
       {"error config.json:1:24 MaxEmojiPerMessage: expected a whole number, 0 or more, found -2" + kChatFails}},
      {R"({"AllowEscape": "on", "BlockTypedMarkup": 1})",
       kOtherPack,
       {"error config.json:1:17 AllowEscape: expected a boolean, found a string" + kChatFails,
        "error config.json:1:43 BlockTypedMarkup: expected a boolean, found a number" + kChatFails}},
      {"{}",
       R"({"EmojiPath": "/Game/P/", "EmojiArray": ["p"], "Groups": ["VIP", 1]})",
       {"error Packs/p.json:1:66 Groups[1]: expected a string, found a number" + kChatFails}},
  };
  for (const Case& c : cases) {
    // a.json maps :e: and is read before p.json.
    Use({{"config.json", c.config}, {"Packs/a.json", kFacePack}, {"Packs/p.json", c.pack}});
    const json report = CheckJson({"--say", ":e:"});
    EXPECT_THAT(Flat(report), ElementsAreArray(c.expected)) << c.config << " " << c.pack;
    EXPECT_EQ(2, report["status"]);
    EXPECT_EQ(":e:", report["previews"][0]["received"]) << c.config << " " << c.pack;
    // What the messages claim: the plugin loads, and chat comes through without emoji.
    ASSERT_TRUE(LoadPlugin());
    Permissions::StandIn::AddToGroup(kPlayerId, "Emoji");
    EXPECT_EQ(":e:", Deliver(game_->Join("Ann", kPlayerId), ":e:")) << c.config << " " << c.pack;
    standin::UnloadPlugin("Glyphwork");
    Permissions::StandIn::Clear();
    game_->Leave("Ann");
  }
}

TEST_F(CheckTest, WarningsForWhatLoadsButIsAlmostCertainlyAMistake) {
  const std::string remap = R"({"RemapEmoji": [{"Name": "r", "Path": "/Game/R.R"}]})";
  struct Case {
    Files files;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{{"config.json", "{}"}, {"Packs/a.json", R"({"EmojiPath": "/Game/Emojis", "EmojiArray": ["smile"]})"}},
       {"warning Packs/a.json:1:15 EmojiPath: \"/Game/Emojis\" does not end with \"/\": the names run into it, as in "
        "/Game/Emojissmile.smile"}},
      {{{"config.json", "{}"}, {"Packs/a.json", R"({"EmojiArray": ["smile"]})"}},
       {"warning Packs/a.json: no EmojiPath: object paths are NAME.NAME, with no folder"}},
      {{{"config.json", R"({"RemapEmoji": [{"Path": "/Game/R.R"}]})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:17 RemapEmoji[0]: no Name: its code is \"::\", which every pair of colons in chat will "
        "match"}},
      {{{"config.json", R"({"RemapEmoji": [{"Name": "r"}]})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:17 RemapEmoji[0]: no Path: its markup names no texture, a white square in chat"}},
      {{{"config.json", "{}"},
        {"Packs/a.json", kFacePack},
        {"Packs/b.json", R"({"EmojiPath": "/Game/B/", "EmojiArray": ["b", "e"]})"}},
       {"warning Packs/b.json:1:47 EmojiArray[1]: :e: is defined at "
        "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/Packs/a.json "
        "EmojiArray[0] "
        "too, which comes first and wins: this one changes nothing in chat"}},
      {{{"config.json", R"({"RemapEmoji": [{"Name": "e", "Path": "/Game/R.R"}]})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:17 RemapEmoji[0]: :e: is defined at "
        "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/Packs/a.json EmojiArray[0] "
        "too, which comes first and wins: this one changes nothing in chat"}},
      {{{"config.json", "{}"},
        {"Packs/a.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["big smile", "a:b", "say\"hi", "ok"]})"}},
       {"warning Packs/a.json:1:42 EmojiArray[0]: name \"big smile\" has a blank in it: a code is meant to be one word "
        "between two colons",
        "warning Packs/a.json:1:55 EmojiArray[1]: name \"a:b\" has a colon in it: a code is meant to be one word "
        "between "
        "two colons",
        "warning Packs/a.json:1:62 EmojiArray[2]: name \"say\"hi\" has a quotation mark in it: a code is meant to be "
        "one "
        "word between two colons"}},
      {{{"config.json", R"({"UsePermissions": true})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:20 UsePermissions: on with no PermissionsGroups: no player gets pictures"}},
      {{{"config.json", R"({"UsePermissions": true, "PermissionsGroups": []})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:20 UsePermissions: on with no PermissionsGroups: no player gets pictures"}},
      {{{"config.json", R"({"Packs": ["a.json", "b.json"]})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:22 Packs[1]: \"b.json\" is not a file in the Packs folder"}},
      // One mistake, one warning: Packs that names no file names none of them.
      {{{"config.json", R"({"Packs": 5})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:11 Packs: expected a pack file name, found a number"}},
      {{{"config.json", R"({"Packs": ["a.json"]})"}, {"Packs/a.json", kFacePack}, {"Packs/b.json", kFacePack}},
       {"warning Packs/b.json: not named in Packs, and loads all the same: Packs selects nothing, every file in the "
        "Packs folder loads",
        "warning Packs/b.json:1:42 EmojiArray[0]: :e: is defined at "
        "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/Packs/a.json "
        "EmojiArray[0] "
        "too, which comes first and wins: this one changes nothing in chat"}},
      {{{"config.json", "{}"}, {"Packs/notes.txt", R"({"EmojiPath": "/Game/N/", "EmojiArray": ["n"]})"}},
       {"warning Packs/notes.txt: not a .json file, but every file in the Packs folder is read as a pack"}},
      {{{"config.json", remap}},
       {"warning Packs/: no Packs folder: no pack loads, and the console says \"Packs folder doesn't exist!\" at "
        "every load (an empty folder keeps it quiet)"}},
      {{{"config.json", R"({"usePermissions": false, "EmojiArray": ["x"]})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:20 usePermissions: not a key of config.json (did you mean UsePermissions?); ignored",
        "warning config.json:1:41 EmojiArray: read from pack files only; ignored in config.json"}},
      // Typos of keys beyond letter case.
      {{{"config.json", R"({"MaxEmojisPerMessage": 3, "PermisionGroups": [], "Pax": []})"},
        {"Packs/a.json", kFacePack},
        {"Packs/b.json", R"({"EmojiPath": "/Game/B/", "EmojiArrray": ["b"]})"}},
       {"warning config.json:1:25 MaxEmojisPerMessage: not a key of config.json (did you mean MaxEmojiPerMessage?); "
        "ignored",
        "warning config.json:1:47 PermisionGroups: not a key of config.json (did you mean PermissionsGroups?); ignored",
        "warning config.json:1:58 Pax: not a key of config.json; ignored",
        "warning Packs/b.json: no EmojiArray: the pack maps no emoji",
        "warning Packs/b.json:1:42 EmojiArrray: not a key of a pack (did you mean EmojiArray?); ignored"}},
      // Object paths without their leading slash.
      {{{"config.json", R"({"RemapEmoji": [{"Name": "r", "Path": "Game/R.R"}]})"},
        {"Packs/a.json", R"({"EmojiPath": "Game/E/", "EmojiArray": ["e"]})"}},
       {"warning config.json:1:39 RemapEmoji[0].Path: \"Game/R.R\" does not start with /: object paths are written "
        "/Game/..., and one without it loads nothing: a white square in chat",
        "warning Packs/a.json:1:15 EmojiPath: \"Game/E/\" does not start with /: object paths are written /Game/..., "
        "and one without it loads nothing: a white square in chat"}},
      // Group names that do not name the group they seem to.
      {{{"config.json", R"({"UsePermissions": true, "PermissionsGroups": ["VIP", "Admins "]})"},
        {"Packs/a.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["e"], "Groups": ["Vip", "vip"]})"}},
       {"warning config.json:1:55 PermissionsGroups[1]: group \"Admins \" has a blank at its end: group names are "
        "matched exactly, so this is not the group \"Admins\"",
        "warning Packs/a.json:1:59 Groups[0]: group \"Vip\" differs only in letter case from \"VIP\" at "
        "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/config.json PermissionsGroups[0]: group names are "
        "case-sensitive, so these are two groups and a player in one is not in the other",
        "warning Packs/a.json:1:66 Groups[1]: group \"vip\" differs only in letter case from \"VIP\" at "
        "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/config.json PermissionsGroups[0]: group names are "
        "case-sensitive, so these are two groups and a player in one is not in the other"}},
      {{{"config.json", "{}"}, {"Packs/.keep/x", ""}},
       {"warning config.json: no emoji mapped: no pack names one, and RemapEmoji is empty"}},
      // Controls that load but do not do what they seem to.
      {{{"config.json", R"({"EmojiListCommand": "emojis", "MaxEmojiPerMessage": 0})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:22 EmojiListCommand: \"emojis\" does not start with \"/\": every chat line that "
        "begins with the word emojis is taken as the command and not sent to the others",
        "warning config.json:1:54 MaxEmojiPerMessage: 0: no code ever becomes a picture"}},
      {{{"config.json", R"({"EmojiListCommand": "/my emojis"})"}, {"Packs/a.json", kFacePack}},
       {"warning config.json:1:22 EmojiListCommand: \"/my emojis\" has a blank in it: a command is the first word of "
        "a chat line, so it never matches"}},
      {{{"config.json", "{}"}, {"Packs/a.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["e"], "Groups": []})"}},
       {"warning Packs/a.json:1:58 Groups: no group: no player gets this pack's pictures"}},
      // What the parse passes over without a word.
      {{{"config.json", "{}"},
        {"Packs/a.json", "{\"EmojiPath\": \"/Game/E/\",\n \"EmojiArray\": [\"a\"],\n \"EmojiArray\": [\"e\"]}"}},
       {"warning Packs/a.json:3:2 EmojiArray: written twice in one object, at lines 2 and 3: only the later one "
        "counts, the one at line 2 is lost"}},
      {{{"config.json", "{}\n  {\"RemapEmoji\": [{\"Name\": \"r\", \"Path\": \"/Game/R.R\"}]}"},
        {"Packs/a.json", kFacePack}},
       {"warning config.json:2:3: text after the first JSON value, which is never read: one file holds one object "
        "(two pasted one after the other?)"}},
  };
  for (const Case& c : cases) {
    Use(c.files);
    const json report = CheckJson();
    EXPECT_THAT(Flat(report), ElementsAreArray(c.expected)) << c.files.rbegin()->second;
    EXPECT_EQ(1, report["status"]);
    EXPECT_TRUE(LoadPlugin()) << c.expected.front();
    standin::UnloadPlugin("Glyphwork");
  }

  // A link to nothing in Packs: the plugin skips it and says so, and so does the check.
  Use({{"config.json", "{}"}, {"Packs/a.json", kFacePack}});
  if (CreateSymlink("moved-away.json", PluginDir() / "Packs" / "gone.json")) {
    EXPECT_THAT(Flat(CheckJson()),
                ElementsAre("warning Packs/gone.json: a link to nothing: the plugin skips it, and the console says "
                            "\"Skipped gone.json in Packs: a link to nothing!\" at every load"));
  }

  // The server folder's name, a cause of what fails in it, comes first.
  const fs::path cafe = Root() / "caf\xc3\xa9";
  Write(cafe / kPluginFolder / "config.json", "{");
  Write(cafe / kPluginFolder / "Packs/a.json", kFacePack);
  const std::vector<std::string> found = Flat(CheckJson({"--root", cafe.string()}));
  ASSERT_EQ(2u, found.size());
  EXPECT_THAT(found[0], ::testing::HasSubstr("the folder's name goes beyond ASCII"));
  EXPECT_THAT(found[1], ::testing::StartsWith("error"));
}

TEST_F(CheckTest, ExitStatusesTheSummaryLineAndMistakesInTheCommandLine) {
  struct Case {
    Files files;
    std::vector<std::string> arguments;
    int status;
    std::string said;  // the summary line, or what is wrong with the command line
  };
  const std::string two_packs_config = R"({"UsePermissions": true, "PermissionsGroups": ["Emoji"],
      "RemapEmoji": [{"Name": "r", "Path": "/Game/R.R"}]})";
  const std::string files_alone = ", textures not checked";
  const std::vector<Case> cases = {
      {{{"config.json", two_packs_config},
        {"Packs/a.json", kFacePack},
        {"Packs/b.json", R"({"EmojiPath": "/Game/B/", "EmojiArray": ["b1", "b2"]})"}},
       {},
       0,
       "2 packs, 4 emoji, 0 errors, 0 warnings" + files_alone},
      // A list written as one string, or null, as documented: nothing to warn about.
      {{{"config.json",
         R"({"UsePermissions": true, "PermissionsGroups": "Emoji", "Packs": "a.json", "RemapEmoji": null})"},
        {"Packs/a.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": "e", "Groups": "VIP"})"}},
       {},
       0,
       "1 pack, 1 emoji, 0 errors, 0 warnings" + files_alone},
      // A name defined twice is one emoji.
      {{{"config.json", R"({"RemapEmoji": [{"Name": "e", "Path": "/Game/R.R"}]})"},
        {"Packs/a.json", kFacePack},
        {"Packs/b.json", kFacePack}},
       {},
       1,
       "2 packs, 1 emoji, 0 errors, 2 warnings" + files_alone},
      {{{"config.json", R"({"UsePermissions": true})"}, {"Packs/a.json", kFacePack}},
       {},
       1,
       "1 pack, 1 emoji, 0 errors, 1 warning" + files_alone},
      {{{"config.json", R"({"RemapEmoji": [{"Name": 1}, {}]})"}, {"Packs/a.json", "{"}},
       {},
       2,
       "1 pack, 1 emoji, 2 errors, 2 warnings" + files_alone},
      // Mistakes in the command line name the option, and say what to do.
      {{}, {"--root"}, 64, "--root: 1 required TEXT:DIR missing\nRun with --help for more information."},
      {{}, {"--verbose"}, 64, "The following argument was not expected: --verbose"},
      {{}, {"--content", "no-such-folder"}, 64, "--content: Directory does not exist: no-such-folder"},
      {{}, {"--root", "no-such-folder"}, 64, "--root: Directory does not exist: no-such-folder"},
      {{{"config.json", "{}"}},
       {"--root", std::string(kPluginFolder)},
       64,
       "glyphwork-check: --root: " + std::string(kPluginFolder) +
           " looks like the plugin's own folder (it holds config.json); --root takes the server folder, the one "
           "that holds ShooterGame/: try --root ."},
      {{{"config.json", "{}"}},
       {"--root", "ShooterGame/Binaries/Win64"},
       64,
       "glyphwork-check: --root: ShooterGame/Binaries/Win64 holds ArkApi/ itself, as the folder of the server's "
       "executable (ShooterGame/Binaries/Win64) does; --root takes the server folder, the one that holds "
       "ShooterGame/: try --root ."},
      {{{"config.json", "{}"}},
       {"--root", "ShooterGame"},
       64,
       "glyphwork-check: --root: ShooterGame looks like the ShooterGame folder itself (it holds Binaries/); --root "
       "takes the server folder, the one that holds ShooterGame/: try --root ."},
      {{{"config.json", "{}"}},
       {"--root", "ShooterGame/Binaries/Win64/logs"},
       64,
       "glyphwork-check: --root: ShooterGame/Binaries/Win64/logs holds no ShooterGame/ folder; --root takes the "
       "server folder, the one that holds ShooterGame/\n"},
      {{{"config.json", "{}"}},
       {"--root", "upload"},
       64,
       "glyphwork-check: --root: upload holds no ShooterGame/ folder; --root takes the server folder, the one that "
       "holds ShooterGame/: try --root upload/server"},
      {{}, {"--version"}, 0, "glyphwork-check " + std::string(GLYPHWORK_VERSION)},
      {{},
       {"--help"},
       0,
       "Exit status: 0 clean, 1 warnings only, 2 errors, 3 the check could not run, 64 a mistake "
       "in the command line."},
  };
  for (const Case& c : cases) {
    Use(c.files);
    // A folder beside ShooterGame/, and a server folder one level down in another.
    fs::create_directories(BinariesDir() / "logs");
    fs::create_directories(Root() / "upload" / "server" / "ShooterGame");
    const ToolRun run = Check(c.arguments, true);
    EXPECT_EQ(c.status, run.status) << run.out;
    EXPECT_THAT(run.out, ::testing::HasSubstr(c.said + (c.said.ends_with("\n") ? "" : "\n")));
  }
  // --root names the folder from anywhere; nothing is written into it.
  Use({{"config.json", "{}"}, {"Packs/a.json", kFacePack}});
  fs::remove_all(BinariesDir() / "logs");
  const ToolRun run = Check({"--root", Root().string(), "--say", ":e:"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(
      "preview as a player in no permission group\nsay: :e:\n  => <img src=\"chat.image\" path=\"/Game/E/e.e\"/>\n"
      "1 pack, 1 emoji, 0 errors, 0 warnings, textures not checked\n",
      run.out);
  EXPECT_FALSE(fs::exists(BinariesDir() / "logs"));
}

TEST_F(CheckTest, JsonFormCarriesWhatTheTextFormSays) {
  Use({{"config.json", "{\"RemapEmoji\": [{\"Path\": \"/Game/R.R\"}],\n \"Packs\": [\"b.json\"]}"},
       {"Packs/a.json", "{\"EmojiPath\": \"/Game/E\",\n \"EmojiArray\": [\"e\", 2"},
       {"Packs/b.json", kFacePack}});
  const ToolRun text = Check({"--say", "a :e: b", "--group", "VIP"});
  const json report = CheckJson({"--say", "a :e: b", "--group", "VIP"});
  const std::string folder = "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/";
  EXPECT_EQ(folder + "config.json:1:17: warning: RemapEmoji[0]: no Name: its code is \"::\", which every pair of " +
                "colons in chat will match\n" + folder +
                "Packs/a.json: warning: not named in Packs, and loads all the same: Packs selects nothing, every file "
                "in the Packs folder loads\n" +
                folder + "Packs/a.json:2:23: error: syntax error while parsing array - unexpected end of input; " +
                "expected ']'" + kPackFails + "\n" +
                "glyphwork-check: note: the plugin does not start: chat is delivered unchanged\n"
                "preview as a player in the permission groups VIP\n"
                "say: a :e: b\n  => a :e: b\n"
                "2 packs, 2 emoji, 1 error, 2 warnings, textures not checked\n",
            text.out);
  EXPECT_EQ(2, text.status);
  const json expected = {
      {"findings",
       {{{"severity", "warning"},
         {"file", folder + "config.json"},
         {"key", "RemapEmoji[0]"},
         {"line", 1},
         {"column", 17},
         {"message", "no Name: its code is \"::\", which every pair of colons in chat will match"}},
        {{"severity", "warning"},
         {"file", folder + "Packs/a.json"},
         {"message",
          "not named in Packs, and loads all the same: Packs selects nothing, every file in the Packs "
          "folder loads"}},
        {{"severity", "error"},
         {"file", folder + "Packs/a.json"},
         {"line", 2},
         {"column", 23},
         {"message", "syntax error while parsing array - unexpected end of input; expected ']'" + kPackFails}},
        {{"severity", "note"}, {"message", "the plugin does not start: chat is delivered unchanged"}}}},
      {"previews", {{{"text", "a :e: b"}, {"received", "a :e: b"}}}},
      {"preview_groups", {"VIP"}},
      {"summary", {{"packs", 2}, {"emoji", 2}, {"errors", 1}, {"warnings", 2}, {"textures_checked", false}}},
      {"status", 2}};
  EXPECT_EQ(expected.dump(1), report.dump(1));
}

TEST_F(CheckTest, ContentReportsEveryObjectPathThatDoesNotLoad) {
  files_only_ = false;
  Use({{"config.json",
        R"({"RemapEmoji": [{"Name": "logo", "Path": "/Game/Custom/Logo.Logo"},
                           {"Name": "gone", "Path": "/Game/Custom/Gone.Gone"}, {"Name": "none"}]})"},
       {"Packs/a.json", R"({"EmojiPath": "/Game/Faces/", "EmojiArray": ["smile", "frown", "smile"]})"},
       {"Packs/b.json", R"({"EmojiPath": "/Game/Faces", "EmojiArray": ["wink"]})"}});
  const std::vector<std::string> common = {
      "warning config.json:2:80 RemapEmoji[2]: no Path: its markup names no texture, a white square in chat",
      "warning Packs/a.json:1:64 EmojiArray[2]: :smile: is defined at EmojiArray[0] too, which comes first and "
      "wins: this one changes nothing in chat",
      "warning Packs/b.json:1:15 EmojiPath: \"/Game/Faces\" does not end with \"/\": the names run into it, as in "
      "/Game/Faceswink.wink"};
  std::vector<std::string> expected = common;
  expected.insert(expected.begin(),
                  "warning config.json:2:28 RemapEmoji[1]: /Game/Custom/Gone.Gone does not load from the content "
                  "folder: a white square in chat");
  expected.insert(expected.begin() + 2,
                  "warning Packs/a.json:1:55 EmojiArray[1]: /Game/Faces/frown.frown does not load from the content "
                  "folder: a white square in chat");
  expected.push_back(
      "warning Packs/b.json:1:45 EmojiArray[0]: /Game/Faceswink.wink does not load from the content folder: a "
      "white square in chat");

  // The content folder of the server, checked unasked, and one laid out the
  // same elsewhere.
  for (const fs::path& content : {Root() / "ShooterGame" / "Content", Root() / "upload" / "Content"}) {
    for (const char* asset : {"Custom/Logo.uasset", "Faces/smile.uasset", "Faces/wink.uasset"}) {
      Write(fs::relative(content / asset, Root()), "");
    }
    const bool own = content.parent_path() == Root() / "ShooterGame";
    const json report =
        CheckJson(own ? std::vector<std::string>{} : std::vector<std::string>{"--content", content.string()});
    EXPECT_THAT(Flat(report), ElementsAreArray(expected)) << content;
    EXPECT_EQ(true, report["summary"]["textures_checked"]);
    EXPECT_TRUE(fs::exists(content / "Faces" / "smile.uasset")) << "the content is left as it was";
    fs::remove_all(content);
  }
  // Without --content and without content of its own no object path is
  // tried, which is a warning unless the admin says --content none.
  std::vector<std::string> unchecked = common;
  unchecked.push_back(
      "warning ShooterGame/Content: no such folder, so textures were not checked: a texture that does not load "
      "shows as a white square in chat (--content DIR names the content folder, --content none checks the files "
      "alone)");
  for (const auto& [arguments, findings] : {std::pair{std::vector<std::string>{}, unchecked},
                                            std::pair{std::vector<std::string>{"--content", "none"}, common}}) {
    const json report = CheckJson(arguments);
    EXPECT_THAT(Flat(report), ElementsAreArray(findings));
    EXPECT_EQ(false, report["summary"]["textures_checked"]);
  }
  Use({{"config.json", "{}"}, {"Packs/a.json", kFacePack}});
  EXPECT_EQ(1, Check({}).status) << "not clean while the textures went unchecked";
  EXPECT_EQ(0, Check({"--content", "none"}).status);

  // A wrong type stops the plugin's texture loading, and with it the check.
  Use({{"config.json", "{}"},
       {"Packs/a.json", kFacePack},
       {"Packs/b.json", R"({"EmojiPath": 1, "EmojiArray": ["b"]})"}});
  fs::create_directories(Root() / "ShooterGame" / "Content");
  EXPECT_THAT(Flat(CheckJson({"--content", "ShooterGame/Content"})),
              ElementsAre("warning Packs/a.json:1:42 EmojiArray[0]: /Game/E/e.e does not load from the content folder: "
                          "a white square in chat",
                          "error Packs/b.json:1:15 EmojiPath: expected a string, found a number" + kBothFail,
                          "note : content checked up to the first wrong type only: texture loading stops there"));
}

TEST_F(CheckTest, PreviewIsWhatThePluginDelivers) {
  const std::string faces = R"({"EmojiPath": "/Game/Faces/", "EmojiArray": ["smile", "wink"]})";
  const std::string gated = R"({"UsePermissions": true, "PermissionsGroups": ["Emoji", "Admins"],
      "RemapEmoji": [{"Name": "ark", "Path": "/Game/Custom/ArkLogo.ArkLogo"}]})";
  const std::vector<std::string> texts = {"hello :smile: and :ark:!", ":wink::wink: at 12:30::45", "",
                                          ":Smile: :smile :smile:", "\xc3\xa9t\xc3\xa9 :\xc3\xa9t\xc3\xa9:"};
  const std::vector<Files> variants = {
      {{"config.json", gated}, {"Packs/faces.json", faces}},
      {{"config.json", R"({"RemapEmoji": [{"Name": "ark", "Path": "/Game/A.A"}]})"}, {"Packs/faces.json", faces}},
      {{"config.json", R"({"UsePermissions": true})"}, {"Packs/faces.json", faces}},
      {{"config.json", R"({"RemapEmoji": [{"Path": "/Game/Colons.Colons"}, {"Name": "smile", "Path": "/Game/X.X"}]})"},
       {"Packs/faces.json", faces},
       {"Packs/more.json", R"({"EmojiPath": "/Game/More/", "EmojiArray": ["wink", "été"]})"}},
      {{"config.json", R"({"RemapEmoji": [{"Name": "ark", "Path": 1}]})"}, {"Packs/faces.json", faces}},
      {{"config.json", gated}, {"Packs/faces.json", faces}, {"Packs/zz.json", "{"}},
      {{"config.json", "{"}, {"Packs/faces.json", faces}},
  };
  for (const Files& files : variants) {
    Use(files);
    std::vector<std::string> arguments;
    for (const std::string& text : texts) arguments.insert(arguments.end(), {"--say", text});
    const json report = CheckJson(arguments);

    LoadPlugin();
    auto* player = game_->Join("Ann", kPlayerId);
    Permissions::StandIn::AddToGroup(kPlayerId, "Emoji");
    std::vector<json> delivered;
    for (const std::string& text : texts) delivered.push_back({{"text", text}, {"received", Deliver(player, text)}});
    json previews = report["previews"];
    for (json& preview : previews) preview.erase("stays_text");
    EXPECT_THAT(previews, ElementsAreArray(delivered)) << files.at("config.json");
    standin::UnloadPlugin("Glyphwork");
    Permissions::StandIn::Clear();
    game_->Leave("Ann");
  }

  // A VIP pack previewed: --group adds to the first of PermissionsGroups
  // (while UsePermissions is on), --no-default-group leaves that one out.
  const std::string vip = R"({"EmojiPath": "/Game/Gold/", "EmojiArray": ["crown"], "Groups": ["VIP"]})";
  // Why a code stays text, where groups are the cause, and a --group that
  // no file uses.
  struct GroupCase {
    std::string config;
    std::vector<std::string> arguments;
    std::vector<std::string> groups;
    std::vector<std::string> stays_text = {};
    std::vector<std::string> findings = {};
  };
  const std::string not_vip = ":crown: stays text: vip.json is for the groups VIP; this preview is in ";
  const std::string not_allowed =
      " stays text: UsePermissions is on, and this preview is in VIP, none of PermissionsGroups (Emoji, Admins)";
  for (const GroupCase& c : std::vector<GroupCase>{
           {gated, {}, {"Emoji"}, {not_vip + "Emoji"}},
           {gated, {"--group", "VIP"}, {"Emoji", "VIP"}},
           {gated,
            {"--group", "VIP", "--no-default-group"},
            {"VIP"},
            {":crown:" + not_allowed, ":smile:" + not_allowed}},
           {gated, {"--group", "Emoji", "--group", "VIP", "--group", "VIP"}, {"Emoji", "VIP"}},
           {"{}", {"--group", "VIP"}, {"VIP"}},
           {gated,
            {"--group", "Vip"},
            {"Emoji", "Vip"},
            {not_vip + "Emoji, Vip (group names are case-sensitive)"},
            {"warning : --group Vip names a group that no file uses, so it changes nothing in the preview (the groups "
             "used: Emoji, Admins, VIP)"}},
       }) {
    Use({{"config.json", c.config}, {"Packs/faces.json", faces}, {"Packs/vip.json", vip}});
    std::vector<std::string> arguments = {"--say", ":crown: :smile:"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const json report = CheckJson(arguments);
    EXPECT_EQ(json(c.groups), report["preview_groups"]) << ::testing::PrintToString(c.arguments);
    EXPECT_EQ(json(c.stays_text), report["previews"][0].value("stays_text", json::array()))
        << ::testing::PrintToString(c.arguments);
    EXPECT_THAT(Flat(report), ElementsAreArray(c.findings)) << ::testing::PrintToString(c.arguments);

    LoadPlugin();
    auto* player = game_->Join("Ann", kPlayerId);
    for (const std::string& group : c.groups) Permissions::StandIn::AddToGroup(kPlayerId, group);
    EXPECT_EQ(Deliver(player, ":crown: :smile:"), report["previews"][0]["received"])
        << ::testing::PrintToString(c.arguments);
    standin::UnloadPlugin("Glyphwork");
    Permissions::StandIn::Clear();
    game_->Leave("Ann");
  }
}

TEST_F(CheckTest, UsageKeysAndTheUsageReportOfWhatThePluginCounted) {
  const std::string fails = " (at start-up usage is not counted; a reload keeps the previous files)";
  struct Case {
    std::string config;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {R"({"Usage": {"Enabled": true, "FlushSeconds": "60"}})",
       {"error config.json:1:45 Usage.FlushSeconds: expected a whole number from 1 to 86400, found a string" + fails}},
      {R"({"Usage": {"Enabled": true, "Mysql": {"Host": "db", "Password": "pw", "Server": "island"}}})",
       {"warning config.json:1:65 Usage.Mysql.Password: the password is written in config.json, where everyone who "
        "can read the plugin's folder or its backups finds it: put it in a file of its own and name that file in "
        "PasswordFile"}},
      {R"({"Usage": {"Enabled": true, "Mysql": {"PasswordFile": "secret.txt"}}})",
       {"warning config.json:1:38 Usage.Mysql: no Host: the database is looked for on this machine (localhost)",
        "warning config.json:1:38 Usage.Mysql: no Server: this server's rows carry no name, and a cluster's servers "
        "cannot be told apart",
        "error config.json:1:55 Usage.Mysql.PasswordFile: cannot read " + std::string(kPluginFolder) + "secret.txt" +
            fails}},
      {R"({"Usage": {"Sqlite": "x.sqlite3", "Flush": 5}})",
       {"warning config.json:1:11 Usage: no Enabled: nothing is counted (\"Enabled\": true turns counting on)",
        "warning config.json:1:44 Usage.Flush: not a key of Usage; ignored"}},
  };
  for (const Case& c : cases) {
    Use({{"config.json", c.config}, {"Packs/a.json", kFacePack}});
    EXPECT_THAT(Flat(CheckJson()), ElementsAreArray(c.expected)) << c.config;
  }

  // What the plugin counted, over two days, read back from its database.
  Use({{"config.json", R"({"Usage": {"Enabled": true, "FlushSeconds": 3600}})"},
       {"Packs/faces.json", R"({"EmojiPath": "/Game/F/", "EmojiArray": ["smile", "wink", "cry"]})"}});
  ASSERT_TRUE(LoadPlugin());
  auto* ann = game_->Join("Ann", kPlayerId);
  const auto say = [&](const std::string& text) {
    standin::RunTimers();  // a tick of its own
    Deliver(ann, text);
  };
  standin::ShiftClockDays(-1);
  say(":smile: :smile:");
  say(":wink:");
  standin::ShiftClockDays(1);
  say(":smile:");
  standin::UnloadPlugin("Glyphwork");
  const std::string database = Root().string() + "/" + kPluginFolder + "usage.sqlite3";
  const auto day = [](int days_ago) {
    const std::time_t when = std::time(nullptr) - days_ago * 86400;
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::gmtime(&when));
    return std::string(text);
  };
  const ToolRun report = Check({"--root", Root().string(), "--usage"});
  EXPECT_EQ(0, report.status);
  EXPECT_EQ("Emoji usage, last 30 days (" + day(29) + " to " + day(0) + " UTC), from " + database + ":\n" +
                "  messages  days  last used   code (pack)\n" + "         2     2  " + day(0) +
                "  :smile: (faces.json)\n" + "         1     1  " + day(1) + "  :wink: (faces.json)\n" +
                "never used in these 30 days: 1 of 3 configured codes\n" + "  :cry: (faces.json)\n",
            report.out);
  const json today = json::parse(Check({"--root", Root().string(), "--usage", "--days", "1", "--json"}).out);
  EXPECT_EQ(json({{"code", ":smile:"}, {"pack", "faces.json"}, {"messages", 1}, {"days", 1}, {"last_used", day(0)}}),
            today["total"]["codes"][0]);
  EXPECT_EQ(1u, today["total"]["codes"].size());
  EXPECT_EQ(2u, today["never_used"]["codes"].size());

  // Nothing to read, or a command line it cannot take.
  Use({{"config.json", "{}"}, {"Packs/a.json", kFacePack}});
  const ToolRun none = Check({"--usage"}, true);
  EXPECT_EQ(3, none.status);
  EXPECT_THAT(none.out, ::testing::HasSubstr("has no Usage block: no database is named"));
  EXPECT_EQ(64, Check({"--usage", "--days", "0"}).status);
  EXPECT_EQ(64, Check({"--days", "3"}).status);
}

TEST_F(CheckTest, UsageReportBeforeTheFirstCountSaysSoAndLeavesTheFolderAsItWas) {
  Use({{"config.json", R"({"Usage": {"Enabled": true}})"},
       {"Packs/faces.json", R"({"EmojiPath": "/Game/F/", "EmojiArray": ["smile", "wink"]})"}});
  const auto files = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(Root())) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = files();
  const std::time_t now = std::time(nullptr);
  char today[16];
  std::strftime(today, sizeof today, "%Y-%m-%d", std::gmtime(&now));

  const ToolRun report = Check({"--root", Root().string(), "--usage", "--days", "1"}, true);
  EXPECT_EQ(0, report.status);
  EXPECT_EQ("Emoji usage, last 1 day (" + std::string(today) + " to " + today + " UTC), from " + Root().string() + "/" +
                kPluginFolder + "usage.sqlite3:\n" +
                "no usage counted yet (the plugin creates its tables at its first write)\n" +
                "  no message used an emoji\n" + "never used in these 1 day: 2 of 2 configured codes\n" +
                "  :smile: (faces.json)\n  :wink: (faces.json)\n",
            report.out);
  const json as_json = json::parse(Check({"--root", Root().string(), "--usage", "--json"}).out);
  EXPECT_EQ(true, as_json.value("no_usage_counted_yet", false));
  EXPECT_THAT(as_json["total"]["codes"], IsEmpty());
  // No database file, journal or folder of the checker's making.
  EXPECT_EQ(before, files());
}

}  // namespace
}  // namespace glyphwork::testing
