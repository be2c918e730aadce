// HostLog and the coloured console lines, byte for byte.
#include "log/log.h"

#include <Logger/Logger.h>
#include <gmock/gmock.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/spdlog.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

using ::testing::AnyOf;
using ::testing::Eq;

using LogTest = CoreTest;

// "12/23/23 23:13": the local time as both loggers write it.
std::string LocalMinute(std::time_t time) {
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%m/%d/%y %H:%M", std::localtime(&time)));
}

// `line` is `head` + the local time at some moment of the call + `tail`.
template <typename Call>
::testing::AssertionResult WrittenDuring(const std::string& head, const std::string& tail, Call&& call,
                                         const std::function<std::string()>& take) {
  const std::time_t before = std::time(nullptr);
  call();
  const std::time_t after = std::time(nullptr);
  const std::string line = take();
  for (const std::time_t time : {before, after}) {
    if (line == head + LocalMinute(time) + tail) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "written: " << ::testing::PrintToString(line)
                                       << "\nexpected: " << ::testing::PrintToString(head + LocalMinute(before) + tail);
}

TEST_F(LogTest, PrintOperationsWriteColourTimeTagMessageAndReset) {
  struct Case {
    std::function<void(const std::string&)> print;
    std::string colour;
    std::string tag;
  };
  const std::vector<Case> cases = {
      {[](const std::string& m) { PrintInfo(m); }, "37", " [Glyphwork] "},
      {[](const std::string& m) { PrintColored("33", m); }, "33", " [Glyphwork] "},
      {[](const std::string& m) { PrintColored("36", m); }, "36", " [Glyphwork] "},
      {[](const std::string& m) { PrintError(m); }, "31", " [Glyphwork][ERR] "},
  };
  const auto one_line = [this] {
    const auto lines = TakeConsole();
    return lines.size() == 1 ? lines[0] : "lines: " + std::to_string(lines.size());
  };
  for (const Case& c : cases) {
    for (const std::string message :
         {"Loaded 3 new object(s)!", "{} {0} {:>5} }{ %v %Y", "", "\xC3\xBC \xF0\x9F\x98\x80"}) {
      EXPECT_TRUE(WrittenDuring(
          "\x1b[" + c.colour + "m", c.tag + message + "\x1b[0m", [&] { c.print(message); }, one_line));
    }
  }
}

TEST_F(LogTest, HostLogWritesOnTheHostsOwnSinksAndFlushesEveryLine) {
  ASSERT_TRUE(HostLog());
  EXPECT_EQ(GetLogSinks(), HostLog()->sinks());
  const std::string tail = " [Glyphwork][error] Failed to read config! [x] {braces} stay";
  EXPECT_TRUE(WrittenDuring(
      "", tail, [] { HostLog()->error("Failed to read config! {}", "[x] {braces} stay"); },
      [this] {
        const auto lines = TakeHostLog();
        return lines.size() == 1 ? lines[0] : "lines: " + std::to_string(lines.size());
      }));
  // The host's file sink, ShooterGame/Binaries/Win64/logs/ArkApi_<process
  // id>_<date>.log, has the line at once, without a flush of its own.
  EXPECT_TRUE(WrittenDuring(
      "", " [Glyphwork][error] text {} unformatted", [] { HostLog()->error(std::string("text {} unformatted")); },
      [this] {
        EXPECT_THAT(Utf8FromPath(HostLogFile().filename()), ::testing::MatchesRegex("ArkApi_.+_.+-.+-.+\\.log"));
        std::ifstream file(HostLogFile());
        std::string line, last;
        while (std::getline(file, line)) last = line;
        return last;
      }));
}

class ConsoleLoggerTest : public ServerTest {};

TEST_F(ConsoleLoggerTest, ThePluginMakesTheColourConsoleLoggerOnStdoutAndReleasesItsName) {
  if (!ConsoleCapture::SharesLoggingRegistry()) GTEST_SKIP() << "the plugin's registry is its own here";
  WriteConfig("{}");  // and no Packs folder: Load writes one console line
  spdlog::drop(kConsoleLogName);
  std::filesystem::copy_file(PathFromUtf8(GLYPHWORK_PLUGIN_FILE), InstalledPluginPath());
  for (int round = 0; round < 2; ++round) {  // a second load in the same process finds the name free
    bool loaded = false;
    std::string out;
    EXPECT_TRUE(WrittenDuring(
        "\x1b[31m", " [Glyphwork][ERR] Packs folder doesn't exist!\x1b[0m\n",
        [&] {
          ::testing::internal::CaptureStdout();
          loaded = standin::LoadPlugin("Glyphwork");
          out = ::testing::internal::GetCapturedStdout();
        },
        [&] { return out; }));
    ASSERT_TRUE(loaded);
    auto logger = spdlog::get(kConsoleLogName);
    ASSERT_TRUE(logger);
    ASSERT_EQ(1u, logger->sinks().size());
    EXPECT_NE(nullptr, dynamic_cast<spdlog::sinks::ansicolor_stdout_sink_mt*>(logger->sinks()[0].get()));
    logger.reset();
    ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
    EXPECT_EQ(nullptr, spdlog::get(kConsoleLogName));
  }
}

}  // namespace
}  // namespace glyphwork::testing
