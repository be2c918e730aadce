// Scripted sessions of the built dev server, compared line by line: what the
// players receive, the console lines without their time, the replies.
#include <gmock/gmock.h>

#include <fstream>
#include <functional>

#include "common/regex.h"
#include "programs/devserver/dev_server.h"
#include "tests/devserver/process.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string kStartLine = "[host] glyphwork-devserver " GLYPHWORK_VERSION;
// The host's line for the example server's plugin.
const std::string kLoadedLine = "[AsaApi][info] Loaded plugin Glyphwork V1.1 (Emoji codes in chat become pictures)";
// The example server folder has the permissions plugin after Glyphwork.
const std::string kPermissionsLine = "[AsaApi][info] Loaded plugin Permissions V1 (Permission groups of players)";

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Runs a script to its end; the output lines without their time.
std::vector<std::string> RunScript(const fs::path& root, const std::string& script,
                                   const std::vector<std::string>& more_args = {}, int exit_code = 0) {
  const fs::path file = root / "script.txt";
  WriteFile(file, script);
  std::vector<std::string> args = {GLYPHWORK_DEVSERVER, "--root", root.string(), "--script", file.string()};
  args.insert(args.end(), more_args.begin(), more_args.end());
  const Finished run = RunProgram(args);
  EXPECT_EQ(exit_code, run.exit_code) << run.err;
  std::vector<std::string> lines;
  std::istringstream out(run.out);
  for (std::string line; std::getline(out, line);) lines.push_back(WithoutTime(line));
  return lines;
}

// Expected lines that end in "..." match any line starting with the rest;
// days (the usage report's) stand as YYYY-MM-DD.
void ExpectLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  std::vector<::testing::Matcher<std::string>> matchers;
  for (const auto& line : expected) {
    if (line.ends_with("...")) {
      matchers.push_back(::testing::StartsWith(line.substr(0, line.size() - 3)));
    } else {
      matchers.push_back(line);
    }
  }
  static const std::regex day(R"(\d{4}-\d{2}-\d{2})");
  std::vector<std::string> undated;
  for (const std::string& line : actual) undated.push_back(std::regex_replace(line, day, "YYYY-MM-DD"));
  EXPECT_THAT(undated, ::testing::ElementsAreArray(matchers));
}

TEST(DevServerSessionTest, TheDemoPrintsWhatEveryPlayerReceives) {
  TempFolder root;
  MakeExampleServer(root.path());
  std::ifstream demo(fs::path(GLYPHWORK_EXAMPLES_DIR) / "demo.txt");
  const std::string script((std::istreambuf_iterator<char>(demo)), std::istreambuf_iterator<char>());
  ExpectLines(ReadLines(fs::path(GLYPHWORK_TEST_DATA_DIR) / "demo_expected.txt"), RunScript(root.path(), script));
}

TEST(DevServerSessionTest, EveryScriptCommandAndTheGamesRconCommands) {
  TempFolder root;
  MakeExampleServer(root.path());
  const fs::path plugin = root.path() / "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork";
  fs::remove_all(plugin / "Packs");
  WriteFile(plugin / "config.json", R"({"RemapEmoji": [{"Name": "wave", "Path": "/Game/Custom/ArkLogo.ArkLogo"}]})");
  WriteFile(plugin / "Packs/faces.json", R"({"EmojiPath": "/Game/Emojis/Faces/", "EmojiArray": ["smile"]})");
  const std::string smile = R"(<img src="chat.image" path="/Game/Emojis/Faces/smile.smile"/>)";
  const std::string wave = R"(<img src="chat.image" path="/Game/Custom/ArkLogo.ArkLogo"/>)";
  const std::string loaded = "36 [Glyphwork] Loaded 2 new object(s)!";
  const std::string no_response = "Server received, But no response!! ";

  std::vector<std::string> help_lines;
  std::istringstream commands(std::string(devserver::kCommands));
  for (std::string line; std::getline(commands, line);) help_lines.push_back(line);
  std::vector<std::string> expected = {
      kStartLine,
      kLoadedLine,
      kPermissionsLine,
      loaded,
      "[game] Ann has already joined",
      "[game] no player Nobody",
      "[game] no player Nobody",
      "[chat] Ann -> Ann: " + smile + " and " + wave + " ü",
      "[chat] Ann -> Zoë: " + smile + " and " + wave + " ü",
      "[chat] Zoë -> Ann: ",
      "[chat] Zoë -> Zoë: ",
      loaded,
      "[direct] -> Ann (0,1,0,1) Server: Reloaded Config!",
      "[game] no player Nobody",
      "[game] unknown command: NoSuchCommand x",
      loaded,
      "[rcon] #1: Reloaded Config!",
      "[rcon] #2: 0. Ann, 76561198000000001\\n1. Zoë, id-Zoë",
      "[chat] SERVER -> Ann: " + wave + " from the server",
      "[chat] SERVER -> Zoë: " + wave + " from the server",
      "[rcon] #3: " + no_response,
      "[rcon] #4: " + no_response,
      "[game] live allocations: 0",
      "[chat] Ann -> Ann: :smile: stays a code",
      "[chat] Ann -> Zoë: :smile: stays a code",
      "[rcon] #5: " + no_response,
      kLoadedLine,
      kPermissionsLine,
      loaded,
      "[chat] Ann -> Ann: " + smile + " again",
      "[chat] Ann -> Zoë: " + smile + " again",
      "[game] no player Zoë",
      "[rcon] #6: No Players Connected",
      "done",
  };
  expected.insert(expected.end(), help_lines.begin(), help_lines.end());
  expected.insert(expected.end(), {"[game] unknown: frobnicate (help lists the commands)", "[game] the world ends"});
  ExpectLines(expected, RunScript(root.path(), R"(# comments and blank lines are skipped

join Ann 76561198000000001
join Zoë
join Ann
group Nobody Admins
say Nobody :smile: from nowhere
say Ann :smile: and :wave: ü
say Zoë
console Ann Glyphwork.Reload
console Nobody Glyphwork.Reload
console Ann NoSuchCommand x
rcon glyphwork.reload
rcon ListPlayers
rcon ServerChat :wave: from the server
rcon SaveWorld
unload
say Ann :smile: stays a code
rcon Glyphwork.Reload
load
say Ann :smile: again
leave Zoë
leave Zoë
leave Ann
rcon listplayers
echo done
help
frobnicate
quit
echo never
)"));
}

TEST(DevServerSessionTest, AFailedLoadIsReportedAndTheServerRunsOnToExitWithTwo) {
  const fs::path plugin_folder = "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork";
  const std::vector<std::string> not_loaded = {"[chat] Ann -> Ann: :smile: as typed",
                                               "[rcon] #1: Server received, But no response!! ",
                                               "[game] unknown command: Glyphwork.Reload"};
  const std::string config_error = "ArkApi/Plugins/Glyphwork/config.json: Can't open config.json";
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> change;
    std::vector<std::string> more_args;
    std::vector<std::string> lines;  // between the first line and the world's end
    std::string failed;              // the plugin that failed to load, if any: the exit status is 2
  };
  auto with = [](std::vector<std::string> lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
  };
  for (const Case& c : {
           Case{"no such library",
                [](const fs::path&) {},
                {"--plugin", "no-such-plugin.so"},
                with({"[AsaApi][error] Failed to load plugin no-such-plugin: ...", kPermissionsLine}, not_loaded),
                "no-such-plugin"},
           Case{"refused by PluginInfo.json",
                [&](const fs::path& root) {
                  WriteFile(root / plugin_folder / "PluginInfo.json", R"({"MinApiVersion": 2})");
                },
                {},
                with({"[AsaApi][error] Failed to load plugin Glyphwork: it needs API version 2, this host has 1",
                      kPermissionsLine},
                     not_loaded),
                "Glyphwork"},
           // Plugin_Init cannot fail the load: the host says it loaded the
           // plugin, which has its reload commands alone. A reload that
           // fails answers RCON with nothing.
           Case{"no config.json",
                [&](const fs::path& root) { fs::remove(root / plugin_folder / "config.json"); },
                {},
                {"[Glyphwork][error] " + config_error,
                 "[Glyphwork][error] Glyphwork is not running: fix the file named above, then Glyphwork.Reload on "
                 "the game console or over RCON starts it",
                 kLoadedLine, kPermissionsLine, "[chat] Ann -> Ann: :smile: as typed",
                 "[Glyphwork][error] Failed to read config! " + config_error,
                 "[rcon] #1: ", "[Glyphwork][error] Failed to read config! " + config_error},
                ""},
       }) {
    SCOPED_TRACE(c.name);
    TempFolder root;
    MakeExampleServer(root.path());
    c.change(root.path());
    std::vector<std::string> expected = with({kStartLine}, c.lines);
    expected.push_back("[game] the world ends");
    // The last line says why the exit status is not 0.
    if (!c.failed.empty()) {
      expected.push_back("[host] the plugin " + c.failed +
                         " failed to load (the host's line above says why): exit status 2");
    }
    ExpectLines(expected, RunScript(root.path(),
                                    "join Ann\ngroup Ann Emoji\nsay Ann :smile: as typed\n"
                                    "rcon Glyphwork.Reload\nconsole Ann Glyphwork.Reload\n",
                                    c.more_args, c.failed.empty() ? 0 : 2));
    // The host's log file has the failure too.
    const fs::path logs = root.path() / "ShooterGame/Binaries/Win64/logs";
    ASSERT_TRUE(fs::is_directory(logs));
    std::vector<std::string> log;
    for (const std::string& line : ReadLines(fs::directory_iterator(logs)->path())) log.push_back(WithoutTime(line));
    const std::string failure =
        c.lines.front().ends_with("...") ? c.lines.front().substr(0, c.lines.front().size() - 3) : c.lines.front();
    EXPECT_THAT(log, ::testing::Contains(::testing::StartsWith(failure)));
  }
}

// The live host unloads and loads the permissions plugin by itself (an
// update of its library, plugins.unload/plugins.load): the plugin looks it up
// for each delivery and never calls into a library that is gone.
TEST(DevServerSessionTest, ThePermissionsPluginUnloadedAndLoadedAgainBetweenDeliveries) {
  TempFolder root;
  MakeExampleServer(root.path());
  const std::string picture = R"([chat] Bea -> Bea: <img src="chat.image" path="/Game/Emojis/Faces/smile.smile"/>)";
  const std::vector<std::string> lines = RunScript(root.path(),
                                                   "join Bea\ngroup Bea Emoji\nsay Bea :smile:\n"
                                                   "rcon plugins.unload Permissions\nsay Bea :smile:\n"
                                                   "console Bea plugins.load Permissions\nsay Bea :smile:\n"
                                                   "group Bea Emoji\nsay Bea :smile:\n");
  ExpectLines({picture, "[AsaApi][info] Unloaded plugin Permissions", "[rcon] #1: Unloaded plugin Permissions",
               "31 [Glyphwork][ERR] Permissions library not available, no player counts as in a group: ...",
               "[chat] Bea -> Bea: :smile:", kPermissionsLine, "[AsaApi][info] Loaded plugin Permissions",
               // The groups were the unloaded library's.
               "[chat] Bea -> Bea: :smile:", picture, "[game] the world ends"},
              std::vector<std::string>(lines.end() - 10, lines.end()));
}

TEST(DevServerSessionTest, AServerFolderWithoutAPluginRunsTheStandInPlugin) {
  // The archives' kit, and the example server with its library taken out
  // or only an update of it left beside: the stand-in is loaded only where
  // the folder has neither.
  for (const bool update : {false, true}) {
    SCOPED_TRACE(update ? "an update beside it" : "no library");
    TempFolder root;
    MakeExampleServer(root.path());
    const fs::path library = root.path() / "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork" /
                             fs::path(GLYPHWORK_PLUGIN_FILE).filename();
    fs::path moved = library;
    if (update) {
      moved += ".ArkApi";
      fs::rename(library, moved);
    } else {
      fs::remove(library);
    }
    const std::vector<std::string> lines = RunScript(root.path(), "join Ann\ngroup Ann Emoji\nsay Ann :smile:\n");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(!update, lines.front().starts_with(kStartLine + ", running the stand-in plugin ")) << lines.front();
    EXPECT_THAT(lines, ::testing::Contains(
                           R"([chat] Ann -> Ann: <img src="chat.image" path="/Game/Emojis/Faces/smile.smile"/>)"));
  }
  TempFolder kit;
  fs::copy(fs::path(GLYPHWORK_EXAMPLES_DIR) / "kit", kit.path(), fs::copy_options::recursive);
  ExpectLines({kStartLine + ", running the stand-in plugin ...", kLoadedLine, "36 [Glyphwork] Loaded 5 new object(s)!",
               R"([chat] Ann -> Ann: <img src="chat.image" path="/Game/Emojis/Custom/ArkLogo.ArkLogo"/>)",
               "[game] the world ends"},
              RunScript(kit.path(), "join Ann\nsay Ann :ark:\n"));
  // --plugin names the library itself: no stand-in then.
  EXPECT_EQ(kStartLine, RunScript(kit.path(), "", {"--plugin", GLYPHWORK_PLUGIN_FILE}).front());
}

TEST(DevServerSessionTest, RefusesToStartWithoutAnRconPasswordOrWithBadOptions) {
  TempFolder root;
  const std::string dir = root.path().string();
  WriteFile(root.path() / "empty-first-line.txt", "\nsecret\n");
  struct Case {
    std::vector<std::string> args;
    std::string message;
    int status = 64;  // a mistake in the command line; 1: the server cannot start
  };
  for (const Case& c : {
           Case{{"--root", dir, "--rcon-port", "0"}, "--rcon-port needs a password"},
           Case{{"--root", dir, "--rcon-port", "0", "--rcon-password", ""}, "--rcon-port needs a password"},
           Case{{"--root", dir, "--rcon-port", "0", "--rcon-password-file", dir + "/missing.txt"},
                "cannot read the RCON password file " + dir + "/missing.txt"},
           Case{{"--root", dir, "--rcon-port", "0", "--rcon-password-file", dir + "/empty-first-line.txt"},
                "the first line of " + dir + "/empty-first-line.txt is empty"},
           Case{{"--root", dir, "--rcon-port", "0", "--rcon-password-file", dir + "/empty-first-line.txt",
                 "--rcon-password", "x"},
                "--rcon-password-file excludes --rcon-password"},
           Case{{"--root", dir, "--rcon-port", "70000", "--rcon-password", "x"}, "--rcon-port: Value 70000"},
           Case{{"--root", dir, "--rcon-port", "12x", "--rcon-password", "x"}, "--rcon-port: Value 12x"},
           Case{{"--root", dir, "--rcon-port", "0", "--rcon-password", "x", "--rcon-idle-timeout", "-1"},
                "--rcon-idle-timeout: Value -1"},
           Case{{"--root", dir, "--rcon-port", "0", "--rcon-password", "x", "--rcon-bind", "999.0.0.1"},
                "cannot open the RCON port: bad address 999.0.0.1",
                1},
           Case{{"--root", dir + "/missing"}, "no server folder"},
           Case{{"--root", dir, "--script", dir + "/missing.txt"}, "cannot open", 1},
           Case{{"--root", dir, "--frobnicate", "1"}, "--frobnicate"},
           Case{{"--root"}, "--root: 1 required DIR missing"},
       }) {
    std::vector<std::string> args = {GLYPHWORK_DEVSERVER};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished run = RunProgram(args);
    EXPECT_EQ(c.status, run.exit_code) << c.message;
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_EQ("", run.out) << c.message;
  }

  // --help, also among other options, describes every option and command,
  // and warns about a password on the command line.
  const Finished help = RunProgram({GLYPHWORK_DEVSERVER, "--root", dir, "--help", "--rcon-port", "1"});
  EXPECT_EQ(0, help.exit_code);
  for (const char* option : {"--root", "--plugin", "--script", "--rcon-port", "--rcon-password-file", "--rcon-password",
                             "--rcon-bind", "--rcon-idle-timeout", "--version", "GLYPHWORK_RCON_PASSWORD",
                             "process list", devserver::kCommands, "Exit status: 0"}) {
    EXPECT_THAT(help.out, HasSubstr(option));
  }
  const Finished version = RunProgram({GLYPHWORK_DEVSERVER, "--version"});
  EXPECT_EQ(0, version.exit_code);
  EXPECT_EQ("glyphwork-devserver " GLYPHWORK_VERSION "\n", version.out);
}

}  // namespace
}  // namespace glyphwork::testing
