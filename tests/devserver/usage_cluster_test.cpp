// Emoji usage of a cluster: two built dev servers counting into one MariaDB
// server of the test's own, glyphwork-check adding them up, and the database
// stopped under a running server, while one unloads and while one is
// killed, a partition at the COMMIT and a slow database.
#include <gmock/gmock.h>
#include <signal.h>

#include <ctime>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/devserver/db_proxy.h"
#include "tests/devserver/mariadb_server.h"
#include "tests/devserver/process.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kPluginFolder = "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork";

// "YYYY-MM-DD" of the day `days_ago` before today, UTC.
std::string Day(int days_ago) {
  const std::time_t when = std::time(nullptr) - std::time_t(days_ago) * 86400;
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", std::gmtime(&when));
  return text;
}

class UsageClusterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { database_ = new MariaDbServer(); }
  static void TearDownTestSuite() {
    delete database_;
    database_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(database_->running()) << database_->error();
    database_->Query("DROP TABLE IF EXISTS glyphwork_usage, glyphwork_batches, glyphwork_schema");
  }

  // The example server as `name` of the cluster, counting every second;
  // with `port`, it reaches the database there (a proxy's).
  fs::path Server(const std::string& name, int port = 0) {
    const fs::path root = folder_.path() / name;
    const fs::path config = root / kPluginFolder / "config.json";
    if (!fs::exists(root)) {
      MakeExampleServer(root);
      std::ofstream(root / kPluginFolder / "db-password.txt") << MariaDbServer::kPassword << "\n";
    } else if (port == 0) {
      return root;
    }
    nlohmann::json document = nlohmann::json::parse(std::ifstream(config));
    document["Usage"] = nlohmann::json::parse(database_->UsageConfig(name, "db-password.txt", 1));
    if (port != 0) document["Usage"]["Mysql"]["Port"] = port;
    std::ofstream(config) << document.dump(2);
    return root;
  }

  // Runs a script on a server to its end; its output lines.
  std::vector<std::string> Run(const fs::path& root, const std::string& script) {
    std::ofstream(root / "script.txt") << script;
    const Finished run =
        RunProgram({GLYPHWORK_DEVSERVER, "--root", root.string(), "--script", (root / "script.txt").string()},
                   std::chrono::seconds(60));
    EXPECT_EQ(0, run.exit_code) << run.out << run.err;
    std::vector<std::string> lines;
    std::istringstream out(run.out);
    for (std::string line; std::getline(out, line);) lines.push_back(WithoutTime(line));
    return lines;
  }

  // A server run line by line; each call sends lines and reads up to a line
  // holding `wanted` (or fails after the wait).
  std::vector<std::string> Await(ChildProcess& server, const std::string& wanted,
                                 std::chrono::milliseconds wait = std::chrono::seconds(30)) {
    bool found = false;
    std::vector<std::string> lines =
        server.ReadUntil([&](const std::string& line) { return line.find(wanted) != std::string::npos; }, &found, wait);
    EXPECT_TRUE(found) << "no line with \"" << wanted << "\" in " << ::testing::PrintToString(lines);
    return lines;
  }

  // "server day code pack messages" of every row.
  std::vector<std::string> Rows() {
    return database_->Query(
        "SELECT server, day, code, pack, messages FROM glyphwork_usage ORDER BY server, day, code, pack");
  }

  static MariaDbServer* database_;
  TempFolder folder_;
};

MariaDbServer* UsageClusterTest::database_ = nullptr;

TEST_F(UsageClusterTest, TwoServersCountIntoOneDatabaseAndTheCheckerAddsThemUp) {
  Run(Server("scorched"), "join Bea\ngroup Bea Emoji\nsay Bea :smile: :wink:\nsay Bea :ark: :ark:\nquit\n");
  const fs::path island = Server("island");
  Run(island,
      "join Ann\ngroup Ann Emoji\nclock -1\nsay Ann :smile: :dodo:\nclock +1\nsay Ann :smile:\n"
      "say Ann /emojis\nquit\n");
  EXPECT_THAT(
      Rows(),
      ElementsAre("island " + Day(1) + " :dodo: animals.json 1", "island " + Day(1) + " :smile: faces.json 1",
                  "island " + Day(0) + " :smile: faces.json 1", "scorched " + Day(0) + " :ark: RemapEmoji 1",
                  "scorched " + Day(0) + " :smile: faces.json 1", "scorched " + Day(0) + " :wink: faces.json 1"));

  const Finished report = RunProgram({GLYPHWORK_CHECK, "--root", island.string(), "--usage"});
  EXPECT_EQ(0, report.exit_code) << report.err;
  const std::string header = "  messages  days  last used   code (pack)\n";
  EXPECT_EQ("Emoji usage, last 30 days (" + Day(29) + " to " + Day(0) +
                " UTC), from MySQL glyphwork@127.0.0.1:" + std::to_string(database_->port()) + "/glyphwork:\n" +
                "server island:\n" + header + "         2     2  " + Day(0) + "  :smile: (faces.json)\n" +
                "         1     1  " + Day(1) + "  :dodo: (animals.json)\n" + "server scorched:\n" + header +
                "         1     1  " + Day(0) + "  :ark: (RemapEmoji)\n" + "         1     1  " + Day(0) +
                "  :smile: (faces.json)\n" + "         1     1  " + Day(0) + "  :wink: (faces.json)\n" +
                "all 2 servers:\n" + header + "         3     2  " + Day(0) + "  :smile: (faces.json)\n" +
                "         1     1  " + Day(0) + "  :ark: (RemapEmoji)\n" + "         1     1  " + Day(1) +
                "  :dodo: (animals.json)\n" + "         1     1  " + Day(0) + "  :wink: (faces.json)\n" +
                "never used in these 30 days: 6 of 10 configured codes\n" +
                "  :rex: (animals.json)\n  :raptor: (animals.json)\n  :laugh: (faces.json)\n  :cry: (faces.json)\n" +
                "  :crown: (vip.json)\n  :trophy: (vip.json)\n",
            report.out);
  const nlohmann::json json =
      nlohmann::json::parse(RunProgram({GLYPHWORK_CHECK, "--root", island.string(), "--usage", "--json"}).out);
  EXPECT_EQ(2u, json["servers"].size());
  EXPECT_EQ(2, json["total"]["servers"]);
  EXPECT_EQ(3, json["total"]["codes"][0]["messages"]);

  // In the game, the cluster's counts once the server has read them back.
  ChildProcess server({GLYPHWORK_DEVSERVER, "--root", island.string()});
  Await(server, "Loaded plugin");
  for (int attempt = 0;; ++attempt) {
    server.Send("rcon Glyphwork.Usage 2");
    server.Send("echo answered");
    const std::vector<std::string> answer = Await(server, "answered");
    // The reply is one line, its line breaks escaped.
    if (std::any_of(answer.begin(), answer.end(), [](const std::string& line) {
          return line.find("\\n1. :smile: (faces.json) 3 messages\\n") != std::string::npos;
        }))
      break;
    ASSERT_LT(attempt, 50) << ::testing::PrintToString(answer);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  server.Send("quit");
  int exit_code = -1;
  server.ReadToEnd(&exit_code);
  EXPECT_EQ(0, exit_code);
}

TEST_F(UsageClusterTest, EveryCountArrivesThroughADatabaseStopAnUnloadAndAKillWhileItIsDown) {
  const fs::path island = Server("island");
  {
    // Stopped under a running server: one line when it goes, one when it is back.
    ChildProcess server({GLYPHWORK_DEVSERVER, "--root", island.string()});
    Await(server, "Loaded plugin");
    for (const char* line : {"join Ann", "group Ann Emoji", "say Ann :cry:"}) server.Send(line);
    ASSERT_TRUE(database_->Stop());
    for (int i = 0; i < 3; ++i) server.Send("say Ann :cry: :laugh:");
    Await(server, "[Glyphwork][error] Usage counts not written: MySQL glyphwork@127.0.0.1:");
    for (int i = 0; i < 2; ++i) server.Send("say Ann :cry:");
    ASSERT_TRUE(database_->Start()) << database_->error();
    Await(server, "[Glyphwork][info] Usage counts written again to MySQL glyphwork@127.0.0.1:");
    server.Send("quit");
    int exit_code = -1;
    server.ReadToEnd(&exit_code);
    EXPECT_EQ(0, exit_code);
    EXPECT_THAT(Rows(),
                ElementsAre("island " + Day(0) + " :cry: faces.json 6", "island " + Day(0) + " :laugh: faces.json 3"));
  }

  // Down when the server stops (the world ends, no unload): the counts wait
  // in the pending file.
  ASSERT_TRUE(database_->Stop());
  const std::vector<std::string> unloaded =
      Run(island, "join Ann\ngroup Ann Emoji\nsay Ann :laugh:\nsay Ann :wink:\nquit\n");
  EXPECT_THAT(unloaded, Contains(HasSubstr("Usage counts not written at unload: ")));
  EXPECT_THAT(unloaded,
              Contains(HasSubstr("; 2 kept in ArkApi/Plugins/Glyphwork/usage-pending.json for the next start")));
  const fs::path pending = island / kPluginFolder / "usage-pending.json";
  EXPECT_TRUE(fs::exists(pending));
  ASSERT_TRUE(database_->Start()) << database_->error();
  ChildProcess server({GLYPHWORK_DEVSERVER, "--root", island.string()});
  Await(server, "[Glyphwork][info] Usage counts left at the last unload written to MySQL");
  server.Send("quit");
  int exit_code = -1;
  server.ReadToEnd(&exit_code);
  EXPECT_FALSE(fs::exists(pending));
  EXPECT_THAT(Rows(),
              ElementsAre("island " + Day(0) + " :cry: faces.json 6", "island " + Day(0) + " :laugh: faces.json 4",
                          "island " + Day(0) + " :wink: faces.json 1"));

  // Killed while the database is down: every flush that failed left its
  // counts in the pending file, which the next start writes.
  ASSERT_TRUE(database_->Stop());
  {
    ChildProcess doomed({GLYPHWORK_DEVSERVER, "--root", island.string()});
    Await(doomed, "Loaded plugin");
    for (const char* line : {"join Ann", "group Ann Emoji", "say Ann :wink:", "say Ann :wink: :cry:"}) {
      doomed.Send(line);
    }
    Await(doomed, "[Glyphwork][error] Usage counts not written: MySQL glyphwork@127.0.0.1:");
    const auto saved = [&] {
      std::ifstream in(pending);
      return std::string(std::istreambuf_iterator<char>(in), {}).find(":cry:") != std::string::npos;
    };
    for (int i = 0; i < 200 && !saved(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(saved());
    kill(doomed.pid(), SIGKILL);
    doomed.ReadToEnd(&exit_code);
  }
  ASSERT_TRUE(database_->Start()) << database_->error();
  ChildProcess after({GLYPHWORK_DEVSERVER, "--root", island.string()});
  Await(after, "[Glyphwork][info] Usage counts left at the last unload written to MySQL");
  after.Send("quit");
  after.ReadToEnd(&exit_code);
  EXPECT_FALSE(fs::exists(pending));
  EXPECT_THAT(Rows(),
              ElementsAre("island " + Day(0) + " :cry: faces.json 7", "island " + Day(0) + " :laugh: faces.json 4",
                          "island " + Day(0) + " :wink: faces.json 3"));
}

// Keys the database could not hold are stored as it can (a pack name that
// is not UTF-8 escaped, a long code shortened), and a row it still refuses
// (here a column narrowed by hand) is set aside, named, beside the others.
TEST_F(UsageClusterTest, ARowTheDatabaseRefusesIsSetAsideAndTheOthersAreWritten) {
  const fs::path island = Server("island");
  const fs::path packs = island / kPluginFolder / "Packs";
  const std::string long_name(250, 'l');
  std::ofstream(packs / "caf\xe9.json") << R"({"EmojiPath": "/Game/Emojis/Faces/", "EmojiArray": ["grin"]})";
  std::ofstream(packs / "more.json") << R"({"EmojiPath": "/Game/Emojis/Faces/", "EmojiArray": ["日本", ")" + long_name +
                                            R"("]})";
  ChildProcess server({GLYPHWORK_DEVSERVER, "--root", island.string()});
  Await(server, "Loaded plugin");
  for (int i = 0; i < 200 && database_->Query("SHOW TABLES LIKE 'glyphwork_usage'").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  database_->Query("ALTER TABLE glyphwork_usage MODIFY code VARCHAR(200) CHARACTER SET latin1 NOT NULL");
  for (const std::string& line :
       std::vector<std::string>{"join Ann", "group Ann Emoji", "say Ann :grin: :日本: :smile: :" + long_name + ":"}) {
    server.Send(line);
  }
  Await(server, "[Glyphwork][error] Usage count set aside, the database refuses it: " + Day(0) +
                    " :日本: (more.json), 1 message: Incorrect string value");
  server.Send("say Ann :smile:");
  server.Send("quit");
  int exit_code = -1;
  server.ReadToEnd(&exit_code);
  EXPECT_EQ(0, exit_code);
  EXPECT_THAT(Rows(), ElementsAre("island " + Day(0) + " :grin: caf\\xE9.json 1",
                                  "island " + Day(0) + " :" + std::string(196, 'l') + "... more.json 1",
                                  "island " + Day(0) + " :smile: faces.json 2"));
}

// A partition at the COMMIT: the answer is lost, the client reconnects and
// the COMMIT lands later. The batch is decided before anything is written
// again: every count arrives once.
TEST_F(UsageClusterTest, ACommitHeldAcrossAPartitionAndLandingLaterCountsOnce) {
  DbProxy proxy(database_->port());
  const fs::path island = Server("island", proxy.port());
  ChildProcess server({GLYPHWORK_DEVSERVER, "--root", island.string()});
  Await(server, "Loaded plugin");
  proxy.HoldNextCommit();
  for (const char* line : {"join Ann", "group Ann Emoji"}) server.Send(line);
  for (int i = 0; i < 30; ++i) server.Send("say Ann :wink:");
  // The client's read times out; it reconnects to learn what became of it.
  Await(server, "[Glyphwork][error] Usage counts not written: MySQL glyphwork@127.0.0.1:");
  const int before = proxy.connections();
  for (int i = 0; i < 200 && proxy.connections() == before; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(proxy.holding());
  ASSERT_GT(proxy.connections(), before);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  proxy.Release();
  for (int i = 0; i < 5; ++i) server.Send("say Ann :wink: :cry:");
  Await(server, "[Glyphwork][info] Usage counts written again to MySQL glyphwork@127.0.0.1:");
  server.Send("quit");
  int exit_code = -1;
  server.ReadToEnd(&exit_code);
  EXPECT_EQ(0, exit_code);
  EXPECT_THAT(Rows(),
              ElementsAre("island " + Day(0) + " :cry: faces.json 5", "island " + Day(0) + " :wink: faces.json 35"));
}

// A database that answers each statement in 4.5 s: the server's stop (the
// world's end, the last flush as at an unload) waits for it no longer than
// its deadline, keeps what it could not write, and the next start writes it
// once. (A stop, not an unload: unloading the plugin unloads the MariaDB
// client it alone used, whose set-up the leak checker would then report.)
TEST_F(UsageClusterTest, TheLastFlushWithASlowDatabaseEndsAtItsDeadlineAndLosesNothing) {
  DbProxy proxy(database_->port());
  proxy.DelayStatements(std::chrono::milliseconds(4500));
  const fs::path island = Server("island", proxy.port());
  ChildProcess server({GLYPHWORK_DEVSERVER, "--root", island.string()});
  Await(server, "Loaded plugin");
  for (const char* line : {"join Ann", "group Ann Emoji", "say Ann :laugh:", "say Ann :laugh: :cry:"}) {
    server.Send(line);
  }
  server.Send("echo said");
  Await(server, "said");
  const auto start = std::chrono::steady_clock::now();
  server.Send("quit");
  int exit_code = -1;
  const std::vector<std::string> stopped = server.ReadToEnd(&exit_code);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("stop_seconds", std::to_string(seconds));
  std::cout << "stop with a database answering in 4.5 s: " << seconds << " s\n";
  EXPECT_EQ(0, exit_code);
  EXPECT_THAT(stopped,
              Contains(HasSubstr("; 3 kept in ArkApi/Plugins/Glyphwork/usage-pending.json for the next start")));

  Server("island", database_->port());
  ChildProcess again({GLYPHWORK_DEVSERVER, "--root", island.string()});
  Await(again, "[Glyphwork][info] Usage counts left at the last unload written to MySQL");
  again.Send("quit");
  again.ReadToEnd(&exit_code);
  EXPECT_THAT(Rows(),
              ElementsAre("island " + Day(0) + " :cry: faces.json 1", "island " + Day(0) + " :laugh: faces.json 2"));
}

TEST_F(UsageClusterTest, TheCheckerReportsThroughAnAccountThatMayOnlySelect) {
  // The account an admin hands out for reports.
  const Finished grant =
      RunProgram({"mariadb", "--no-defaults", "--protocol=tcp", "--host=127.0.0.1",
                  "--port=" + std::to_string(database_->port()), "--user=root",
                  "--execute=CREATE USER IF NOT EXISTS 'reader'@'127.0.0.1' IDENTIFIED BY 'only-reads'; "
                  "GRANT SELECT ON glyphwork.* TO 'reader'@'127.0.0.1'"});
  ASSERT_EQ(0, grant.exit_code) << grant.out << grant.err;
  const fs::path reports = Server("reports");
  std::ofstream(reports / kPluginFolder / "db-password.txt") << "only-reads\n";
  const fs::path config = reports / kPluginFolder / "config.json";
  nlohmann::json document = nlohmann::json::parse(std::ifstream(config));
  document["Usage"]["Mysql"]["User"] = "reader";
  std::ofstream(config) << document.dump(2);
  const auto report = [&] { return RunProgram({GLYPHWORK_CHECK, "--root", reports.string(), "--usage"}); };

  // Before any server wrote: the tables are not there, and stay so.
  const Finished before = report();
  EXPECT_EQ(0, before.exit_code) << before.err;
  EXPECT_THAT(before.out, HasSubstr(":\nno usage counted yet (the plugin creates its tables at its first write)\n"
                                    "all 0 servers:\n  no message used an emoji\n"));
  EXPECT_THAT(database_->Query("SHOW TABLES"), ::testing::IsEmpty());

  Run(Server("island"), "join Ann\ngroup Ann Emoji\nsay Ann :smile:\nquit\n");
  const Finished after = report();
  EXPECT_EQ(0, after.exit_code) << after.err;
  EXPECT_THAT(after.out, HasSubstr("server island:\n  messages  days  last used   code (pack)\n         1     1  " +
                                   Day(0) + "  :smile: (faces.json)\n"));
  EXPECT_THAT(after.out, ::testing::Not(HasSubstr("no usage counted yet")));

  // Tables of a later Glyphwork are refused as before.
  database_->Query("UPDATE glyphwork_schema SET version = 2");
  const Finished newer = report();
  EXPECT_EQ(3, newer.exit_code);
  EXPECT_THAT(newer.err, HasSubstr("the usage tables are of version 2, newer than this Glyphwork's 1"));
}

}  // namespace
}  // namespace glyphwork::testing
