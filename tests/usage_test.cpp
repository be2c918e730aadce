// Emoji usage counted by the plugin's own code in this process, against a
// real SQLite file in the test's server folder.
#include "usage/usage.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "common/engine_text.h"
#include "config/config.h"
#include "plugin/lifecycle.h"
#include "standin/permissions/permissions.h"
#include "tests/core_fixture.h"
#include "usage/day.h"
#include "usage/pending_file.h"
#include "usage/store.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// "code pack messages" per key, in key order: what a count comes down to.
using Tally = std::map<std::string, uint64_t>;

Tally Flat(const std::map<usage::Key, uint64_t>& totals) {
  Tally flat;
  for (const auto& [key, messages] : totals) flat[key.code + " " + key.pack] = messages;
  return flat;
}

// What changed between two tallies: the keys whose count grew, and by how much.
Tally Added(const Tally& before, const Tally& after) {
  Tally added;
  for (const auto& [key, messages] : after) {
    const auto it = before.find(key);
    const uint64_t was = it == before.end() ? 0 : it->second;
    if (messages != was) added[key] = messages - was;
  }
  return added;
}

class UsageTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    WritePack("faces.json", R"({"EmojiPath": "/Game/F/", "EmojiArray": ["smile", "wink"]})");
    WritePack("vip.json", R"({"EmojiPath": "/Game/V/", "EmojiArray": ["crown"], "Groups": ["VIP"]})");
    WritePack("z.json", R"({"EmojiPath": "/Game/Z/", "EmojiArray": ["crown", "dodo"]})");
    for (const char* texture : {"F/smile", "F/wink", "F/cry", "V/crown", "Z/crown", "Z/dodo", "A/ark"}) {
      WriteContent(texture);
    }
  }
  void TearDown() override {
    Unload();
    Permissions::StandIn::Clear();
    CoreTest::TearDown();
  }

  fs::path Database() const { return PluginDir() / "usage.sqlite3"; }

  // Every row of the database file, "day code pack messages".
  std::vector<std::string> Rows(const fs::path& file) {
    usage::UsageSettings settings;
    settings.sqlite = file;
    settings.sqlite_shown = "usage.sqlite3";
    std::vector<std::string> rows;
    for (const usage::Row& row : usage::OpenSqliteStore(settings)->Read(INT64_MIN / 2, true)) {
      rows.push_back(usage::DayText(row.day) + " " + row.code + " " + row.pack + " " + std::to_string(row.messages));
    }
    return rows;
  }
  std::vector<std::string> Rows() { return Rows(Database()); }

  Tally Counted() { return Flat(UsageTotals(INT64_MIN / 2)); }

  // `text` from `sender` to everyone, in a game tick a second after the last
  // line.
  Tally Say(const std::string& sender, const std::string& text) {
    const Tally before = Counted();
    standin::AdvanceGameClock(1);
    standin::RunTimers();
    game_->Say(sender, text);
    return Added(before, Counted());
  }

  std::vector<std::string> Rcon(const std::string& command) {
    RCONClientConnection connection;
    RCONPacket packet;
    packet.Id = 7;
    packet.Body = FStringFromUtf8(command);
    if (!standin::ExecuteRconCommand(&connection, &packet)) return {"no command took it"};
    std::vector<std::string> lines;
    for (const auto& reply : connection.replies) {
      std::istringstream in(reply.text);
      for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    return lines;
  }

  // Waits until the writer has flushed `count` times since it started; the
  // game ticks meanwhile (the writer starts on the first).
  void WaitForFlushes(uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      standin::RunTimers();
      const auto stats = UsageWriterStats();
      if (stats && stats->flushes >= count) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ADD_FAILURE() << "the writer did not flush " << count << " times";
  }
  uint64_t Flushes() { return UsageWriterStats() ? UsageWriterStats()->flushes : 0; }

  // A reload from the console, which also has the writer flush at once
  // (unless it fails).
  void Reload(bool flushes_after = true) {
    const uint64_t flushes = Flushes();
    auto* admin = game_->Find("Admin") ? game_->Find("Admin") : game_->Join("Admin", "admin");
    ASSERT_TRUE(standin::ExecuteConsoleCommand(admin, "Glyphwork.Reload"));
    if (flushes_after && UsageWriterStats()) WaitForFlushes(flushes + 1);
  }
};

TEST_F(UsageTest, EachMessageCountsEachCodeOnceThatBecameAPictureForAnyRecipient) {
  WriteConfig(R"({"UsePermissions": true, "PermissionsGroups": ["Emoji"], "MaxEmojiPerMessage": 2,
                  "AllowEscape": true, "RemapEmoji": [{"Name": "ark", "Path": "/Game/A/ark.ark"}],
                  "Usage": {"Enabled": true, "FlushSeconds": 3600}})");
  ASSERT_NO_THROW(Load());
  for (const auto& [name, groups] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"Ann", {"Emoji", "VIP"}}, {"Bob", {"Emoji"}}, {"Cid", {}}}) {
    game_->Join(name, "id-" + name);
    for (const std::string& group : groups) Permissions::StandIn::AddToGroup("id-" + name, group);
  }
  struct Case {
    std::string text;
    Tally counted;
  };
  const std::vector<Case> cases = {
      // Once per message, however often it holds the code and however many see it.
      {":smile: :smile: :smile:", {{":smile: faces.json", 1}}},
      // The cap keeps :dodo: as typed for everyone.
      {":smile: :wink: :dodo:", {{":smile: faces.json", 1}, {":wink: faces.json", 1}}},
      // An escaped code is text.
      {"\\:smile: :wink:", {{":wink: faces.json", 1}}},
      // Ann's crown comes from the VIP pack, Bob's from z.json: one each.
      {"gg :crown:", {{":crown: vip.json", 1}, {":crown: z.json", 1}}},
      {":ark:", {{":ark: RemapEmoji", 1}}},
      {"no code :nothing: here", {}},
      // The same text again is another message.
      {":smile: :smile: :smile:", {{":smile: faces.json", 1}}},
  };
  for (const Case& c : cases) {
    for (const std::string sender : {"Ann", "Cid"}) EXPECT_EQ(c.counted, Say(sender, c.text)) << c.text;
  }
  // Nobody in the groups: nothing becomes a picture, nothing counts.
  game_->Leave("Ann");
  game_->Leave("Bob");
  EXPECT_EQ(Tally{}, Say("Cid", ":smile:"));

  // Written at unload, by day; nothing of who sent what.
  const Tally counted = Counted();
  Unload();
  const std::string today = usage::DayText(usage::Today());
  std::vector<std::string> expected;
  for (const auto& [key, messages] : counted) expected.push_back(today + " " + key + " " + std::to_string(messages));
  EXPECT_THAT(Rows(), ::testing::ElementsAreArray(expected));
  EXPECT_EQ(6u, counted.at(":smile: faces.json"));
}

TEST_F(UsageTest, DaysReloadsAndTheCommandShowTheDatabaseAndWhatIsStillInMemory) {
  WriteConfig(R"({"Usage": {"Enabled": true, "FlushSeconds": 3600}})");
  ASSERT_NO_THROW(Load());
  game_->Join("Ann", "id-Ann");
  standin::ShiftClockDays(-2);
  const int64_t first = usage::Today();
  Say("Ann", ":smile: :wink:");
  standin::ShiftClockDays(1);
  Say("Ann", ":smile:");
  Reload();  // flushes: the first two days are in the database now
  // A reload that drops :wink: and adds :cry: in the middle of the day.
  WritePack("faces.json", R"({"EmojiPath": "/Game/F/", "EmojiArray": ["smile", "cry"]})");
  Say("Ann", ":smile: :wink:");
  Reload();
  EXPECT_EQ((Tally{{":cry: faces.json", 1}}), Say("Ann", ":wink: :cry:"));
  standin::ShiftClockDays(1);
  Say("Ann", ":smile: :crown: :dodo:");

  // Two days written, the rest in memory: the command adds them up. :wink:
  // is no longer configured and keeps its history.
  const std::string from3 = usage::DayText(first), today = usage::DayText(first + 2);
  EXPECT_THAT(
      Rcon("Glyphwork.Usage 3"),
      ElementsAre(
          "Emoji usage, last 3 days (" + from3 + " to " + today + " UTC):", "1. :smile: (faces.json) 4 messages",
          "2. :wink: (faces.json) 2 messages", "3. :crown: (z.json) 1 message", "4. :cry: (faces.json) 1 message",
          "5. :dodo: (z.json) 1 message", "Used by no message: 1 of 5 configured codes: :crown: (vip.json)"));
  EXPECT_THAT(
      Rcon("glyphwork.usage 1"),
      ElementsAre("Emoji usage, last 1 day (" + today + " to " + today + " UTC):", "1. :crown: (z.json) 1 message",
                  "2. :dodo: (z.json) 1 message", "3. :smile: (faces.json) 1 message",
                  "Used by no message: 2 of 5 configured codes: :cry: (faces.json), :crown: (vip.json)"));
  for (const std::string bad :
       {"Glyphwork.Usage 0", "Glyphwork.Usage 367", "Glyphwork.Usage x", "Glyphwork.Usage 3 4"}) {
    EXPECT_THAT(Rcon(bad),
                ElementsAre("Usage: Glyphwork.Usage [days], days a whole number from 1 to 366 (default 30)"));
  }
  // The console answers the admin alone, line by line.
  auto* op = game_->Join("Op", "op");
  ASSERT_TRUE(standin::ExecuteConsoleCommand(op, "Glyphwork.Usage 1"));
  ASSERT_EQ(5u, op->direct.size());
  EXPECT_EQ("1. :crown: (z.json) 1 message", op->direct[1].text);
  EXPECT_EQ("Server", op->direct[1].sender);
  EXPECT_TRUE(game_->Find("Ann")->direct.empty());

  // A live server stops without Plugin_Unload: the world's end writes what
  // is in memory, and the game's own EndPlay still runs.
  game_->EndWorld();
  EXPECT_EQ(1, game_->world_ends);
  EXPECT_THAT(Rows(), ElementsAre(from3 + " :smile: faces.json 1", from3 + " :wink: faces.json 1",
                                  usage::DayText(first + 1) + " :cry: faces.json 1",
                                  usage::DayText(first + 1) + " :smile: faces.json 2",
                                  usage::DayText(first + 1) + " :wink: faces.json 1", today + " :crown: z.json 1",
                                  today + " :dodo: z.json 1", today + " :smile: faces.json 1"));
  Unload();
  // A new start reads the database back; asked before, the answer says it
  // is of this run alone.
  ASSERT_NO_THROW(Load());
  EXPECT_THAT(Rcon("Glyphwork.Usage 3").at(0),
              ::testing::EndsWith(", the database is not read yet: what this server counted since it started:"));
  WaitForFlushes(1);
  EXPECT_EQ("1. :smile: (faces.json) 4 messages", Rcon("Glyphwork.Usage 3").at(1));
  // Asking reads again (another server may have written); flushes that
  // nobody asked about read nothing.
  for (int i = 0; i < 2000 && UsageWriterStats()->reads < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const uint64_t reads = UsageWriterStats()->reads;
  EXPECT_EQ(2u, reads);
  Reload();
  Reload();
  EXPECT_EQ(reads, UsageWriterStats()->reads);
}

TEST_F(UsageTest, WrongValuesAreRefusedByAReloadAndLeaveCountingOffAtStart) {
  WritePack("faces.json", R"({"EmojiPath": "/Game/F/", "EmojiArray": ["smile"]})");
  const std::string good = R"({"Usage": {"Enabled": true, "FlushSeconds": 3600}})";
  const std::string long_name(65, 's');
  const std::vector<std::pair<std::string, std::string>> bad = {
      {R"("Usage": 5)", "Usage: expected an object, found a number"},
      {R"("Usage": {"Enabled": "yes"})", "Usage.Enabled: expected a boolean, found a string"},
      {R"("Usage": {"Enabled": true, "FlushSeconds": 0})",
       "Usage.FlushSeconds: expected a whole number from 1 to 86400, found 0"},
      {R"("Usage": {"Enabled": true, "FlushSeconds": 1.5})",
       "Usage.FlushSeconds: expected a whole number from 1 to 86400, found 1.5"},
      {R"("Usage": {"Enabled": true, "Sqlite": 3})", "Usage.Sqlite: expected a string, found a number"},
      {R"("Usage": {"Enabled": true, "Sqlite": ""})",
       "Usage.Sqlite: empty: name the database file, or leave the key out"},
      {R"("Usage": {"Enabled": true, "Mysql": []})", "Usage.Mysql: expected an object, found a list"},
      {R"("Usage": {"Enabled": true, "Mysql": {"Host": "db", "Port": 70000}})",
       "Usage.Mysql.Port: expected a whole number from 1 to 65535, found 70000"},
      {R"("Usage": {"Enabled": true, "Mysql": {"Host": "db", "User": null}})",
       "Usage.Mysql.User: expected a string, found null"},
      {R"("Usage": {"Enabled": true, "Mysql": {"Host": "db", "PasswordFile": "secret.txt"}})",
       "Usage.Mysql.PasswordFile: cannot read ArkApi/Plugins/Glyphwork/secret.txt"},
      {R"("Usage": {"Enabled": true, "Mysql": {"Host": "db", "Server": ")" + long_name + R"("}})",
       "Usage.Mysql.Server: longer than 64 bytes"},
  };
  for (const auto& [value, message] : bad) {
    const std::string line =
        "[Glyphwork][error] Failed to read config! ArkApi/Plugins/Glyphwork/config.json: " + message;
    // At reload: refused, and what was in effect stays, counting included.
    WriteConfig(good);
    ASSERT_NO_THROW(Load());
    WaitForFlushes(1);  // the database read back, before the count below
    game_->Join("Ann", "id-Ann");
    WriteConfig("{" + value + "}");
    Reload(false);
    EXPECT_THAT(WithoutDate(TakeHostLog()), ElementsAre(line)) << value;
    EXPECT_EQ((Tally{{":smile: faces.json", 1}}), Say("Ann", ":smile:")) << value;
    Unload();
    game_->Leave("Ann");
    // At start: the plugin runs, without counting and without its command.
    ASSERT_NO_THROW(Load());
    EXPECT_THAT(WithoutDate(TakeHostLog()),
                ElementsAre("[Glyphwork][error] Usage not counted! ArkApi/Plugins/Glyphwork/config.json: " + message));
    EXPECT_THAT(standin::Registrations(), Not(Contains(HasSubstr("Glyphwork.Usage"))));
    EXPECT_FALSE(UsageWriterStats());
    Unload();
  }
}

TEST_F(UsageTest, WithoutUsageEnabledNothingRunsAndNothingIsWritten) {
  for (const std::string config : {R"({})", R"({"Usage": {"Enabled": false}})", R"({"Usage": {}})"}) {
    WriteConfig(config);
    ASSERT_NO_THROW(Load());
    game_->Join("Ann", "id-Ann");
    Say("Ann", ":smile:");
    EXPECT_FALSE(UsageWriterStats()) << config;
    EXPECT_THAT(standin::Registrations(), Not(Contains(HasSubstr("Glyphwork.Usage")))) << config;
    EXPECT_THAT(Rcon("Glyphwork.Usage"), ElementsAre("no command took it"));
    Unload();
    game_->Leave("Ann");
    EXPECT_FALSE(fs::exists(Database())) << config;
    EXPECT_THAT(TakeHostLog(), IsEmpty());
  }
  // Turned on by a reload, off by the next: what was counted is written.
  WriteConfig(R"({})");
  ASSERT_NO_THROW(Load());
  game_->Join("Ann", "id-Ann");
  WriteConfig(R"({"Usage": {"Enabled": true, "FlushSeconds": 3600}})");
  Reload();
  Say("Ann", ":smile:");
  WriteConfig(R"({"Usage": {"Enabled": false}})");
  Reload();
  EXPECT_EQ(Tally{}, Say("Ann", ":smile:"));
  EXPECT_THAT(standin::Registrations(), Not(Contains(HasSubstr("Glyphwork.Usage"))));
  Unload();
  EXPECT_THAT(Rows(), ElementsAre(usage::DayText(usage::Today()) + " :smile: faces.json 1"));
}

TEST_F(UsageTest, ADatabaseThatCannotBeWrittenKeepsTheCountsUntilItCanEvenAcrossAnUnload) {
  // A file where the database's folder should be: SQLite cannot open it.
  Write(PluginDir() / "blocked", "not a folder");
  const std::string config = R"({"Usage": {"Enabled": true, "FlushSeconds": 3600, "Sqlite": "blocked/usage.sqlite3"}})";
  WriteConfig(config);
  ASSERT_NO_THROW(Load());
  game_->Join("Ann", "id-Ann");
  WaitForFlushes(1);
  Say("Ann", ":smile:");
  Reload();
  Say("Ann", ":smile: :wink:");
  Reload();
  // One line for the failure, not one per flush.
  const std::vector<std::string> failing = WithoutDate(TakeHostLog());
  ASSERT_EQ(1u, failing.size()) << ::testing::PrintToString(failing);
  EXPECT_THAT(failing[0], AllOf(HasSubstr("[Glyphwork][error] Usage counts not written: "
                                          "ArkApi/Plugins/Glyphwork/blocked/usage.sqlite3: "),
                                HasSubstr("; they are kept in memory until the database answers")));

  // Unloaded while it fails: the counts go into the pending file.
  Say("Ann", ":wink:");
  Unload();
  const fs::path pending = PluginDir() / usage::kPendingFile;
  ASSERT_TRUE(fs::exists(pending));
  EXPECT_THAT(WithoutDate(TakeHostLog()),
              Contains(AllOf(HasSubstr("Usage counts not written at unload: "),
                             HasSubstr("; 4 kept in ArkApi/Plugins/Glyphwork/usage-pending.json for the next start"))));

  // The next start writes them first, and the file goes.
  fs::remove(PluginDir() / "blocked");
  ASSERT_NO_THROW(Load());
  WaitForFlushes(1);
  EXPECT_FALSE(fs::exists(pending));
  Say("Ann", ":smile:");
  Unload();
  const std::string today = usage::DayText(usage::Today());
  EXPECT_THAT(Rows(PluginDir() / "blocked/usage.sqlite3"),
              ElementsAre(today + " :smile: faces.json 3", today + " :wink: faces.json 2"));
  EXPECT_THAT(WithoutDate(TakeHostLog()),
              ElementsAre("[Glyphwork][info] Usage counts left at the last unload written to "
                          "ArkApi/Plugins/Glyphwork/blocked/usage.sqlite3"));

  // A database that answers again in the middle of a run gets everything.
  Write(PluginDir() / "blocked2", "");
  WriteConfig(R"({"Usage": {"Enabled": true, "FlushSeconds": 3600, "Sqlite": "blocked2/usage.sqlite3"}})");
  ASSERT_NO_THROW(Load());
  WaitForFlushes(1);
  Say("Ann", ":wink:");
  Reload();
  fs::remove(PluginDir() / "blocked2");
  Say("Ann", ":wink:");
  Reload();
  EXPECT_THAT(
      WithoutDate(TakeHostLog()),
      ElementsAre(HasSubstr("Usage counts not written: "),
                  "[Glyphwork][info] Usage counts written again to ArkApi/Plugins/Glyphwork/blocked2/usage.sqlite3"));
  EXPECT_THAT(Rows(PluginDir() / "blocked2/usage.sqlite3"), ElementsAre(today + " :wink: faces.json 2"));

  // A file deleted under the running server is named so, and made anew
  // (where the system lets an open file be deleted).
  std::error_code open_file;
  if (fs::remove(PluginDir() / "blocked2/usage.sqlite3", open_file)) {
    Say("Ann", ":smile:");
    Reload();
    Say("Ann", ":smile:");
    Reload();
    EXPECT_THAT(WithoutDate(TakeHostLog()),
                ElementsAre("[Glyphwork][error] Usage counts not written: ArkApi/Plugins/Glyphwork/blocked2/"
                            "usage.sqlite3: the file was deleted or moved while the server ran; the next write makes "
                            "it anew; they are kept in memory until the database answers",
                            HasSubstr("Usage counts written again")));
    EXPECT_THAT(Rows(PluginDir() / "blocked2/usage.sqlite3"), ElementsAre(today + " :smile: faces.json 2"));
  }

  // Tables of a newer Glyphwork are left alone, and said so.
  Unload();
  TakeHostLog();
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(Utf8FromPath(PluginDir() / "blocked2/usage.sqlite3").c_str(), &db));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "UPDATE glyphwork_schema SET version = 2", nullptr, nullptr, nullptr));
  sqlite3_close(db);
  ASSERT_NO_THROW(Load());
  WaitForFlushes(1);
  EXPECT_THAT(
      WithoutDate(TakeHostLog()),
      ElementsAre("[Glyphwork][error] Usage counts not written: ArkApi/Plugins/Glyphwork/blocked2/usage.sqlite3: "
                  "the usage tables are of version 2, newer than this Glyphwork's 1: update Glyphwork; they "
                  "are kept in memory until the database answers"));
}

// What the last run left: a file that cannot be trusted is kept aside; one
// of an earlier version is read; counts it names under a batch that the
// database has already (a crash after the write, before the file went) are
// not written twice.
TEST_F(UsageTest, ThePendingFileIsReadOnceAndAFileThatCannotBeTrustedIsKeptAside) {
  WriteConfig(R"({"Usage": {"Enabled": true, "FlushSeconds": 3600}})");
  const fs::path pending = PluginDir() / usage::kPendingFile;
  const std::string today = usage::DayText(usage::Today());
  const auto row = [&](const std::string& messages) {
    return R"([{"Day": ")" + today + R"(", "Code": ":smile:", "Pack": "faces.json", "Messages": )" + messages + "}]";
  };
  for (const char* messages : {"-3", "18446744073709551615", "\"7\""}) {
    Write(pending, R"({"Pending": )" + row(messages) + "}");
    ASSERT_NO_THROW(Load());
    WaitForFlushes(1);
    Unload();
    EXPECT_TRUE(fs::exists(PluginDir() / "usage-pending.json.unreadable")) << messages;
    EXPECT_THAT(WithoutDate(TakeHostLog()), Contains(HasSubstr("Usage counts left at the last unload not read: "
                                                               "ArkApi/Plugins/Glyphwork/usage-pending.json: ")))
        << messages;
    fs::remove(PluginDir() / "usage-pending.json.unreadable");
  }
  EXPECT_THAT(Rows(), IsEmpty());

  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(Utf8FromPath(Database()).c_str(), &db));
  const std::string written = "INSERT INTO glyphwork_batches (batch, day) VALUES ('written', '" + today + "')";
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, written.c_str(), nullptr, nullptr, nullptr));
  sqlite3_close(db);
  Write(pending, R"({"Pending": )" + row("2") + R"(, "InDoubt": {"Batch": "old", "Rows": )" + row("3") +
                     R"(}, "PendingBatch": "written"})");
  ASSERT_NO_THROW(Load());
  WaitForFlushes(1);
  EXPECT_FALSE(fs::exists(pending));
  Unload();
  EXPECT_THAT(Rows(), ElementsAre(today + " :smile: faces.json 3"));
}

TEST_F(UsageTest, AMysqlBlockInABuildWithoutAClientKeepsTheCountsAndSaysWhy) {
#ifndef GLYPHWORK_NO_MYSQL_CLIENT
  GTEST_SKIP() << "this build has a MariaDB/MySQL client";
#endif
  WriteConfig(R"({"Usage": {"Enabled": true, "FlushSeconds": 3600, "Mysql": {"Host": "db", "Server": "island"}}})");
  ASSERT_NO_THROW(Load());
  game_->Join("Ann", "id-Ann");
  WaitForFlushes(1);
  EXPECT_THAT(WithoutDate(TakeHostLog()),
              ElementsAre("[Glyphwork][error] Usage counts not written: MySQL db:3306/glyphwork: this build of "
                          "Glyphwork has no MariaDB/MySQL client; build it with MariaDB Connector/C "
                          "(docs/live-server.md) or use SQLite; they are kept in memory until the database answers"));
  EXPECT_EQ((Tally{{":smile: faces.json", 1}}), Say("Ann", ":smile:"));
  // Kept for a build that can write them.
  Unload();
  EXPECT_TRUE(fs::exists(PluginDir() / usage::kPendingFile));
  EXPECT_FALSE(fs::exists(Database()));
}

}  // namespace
}  // namespace glyphwork::testing
