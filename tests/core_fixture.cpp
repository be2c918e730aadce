#include "tests/core_fixture.h"

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "common/regex.h"
#include "config/config.h"
#include "log/log.h"

namespace glyphwork::testing {

void CoreTest::SetUp() {
  ServerTest::SetUp();
  ConfigDocument = nullptr;
  PackDocument = nlohmann::json::object();
  SetUpHostLog("Glyphwork");
  SetUpConsoleLog();  // takes the capture registered under the console name
}

void CoreTest::TearDown() {
  // The code under test outlives the fixture in this program: leave both
  // loggers on sinks that outlive the fixture's captures.
  auto null_sink = std::make_shared<spdlog::sinks::null_sink_mt>();
  HostLog() = std::make_shared<spdlog::logger>("Glyphwork", null_sink);
  spdlog::drop(kConsoleLogName);
  spdlog::register_logger(std::make_shared<spdlog::logger>(kConsoleLogName, null_sink));
  SetUpConsoleLog();
  spdlog::drop(kConsoleLogName);
  ServerTest::TearDown();
}

std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no exception";
}

std::vector<std::string> WithoutDate(const std::vector<std::string>& lines) {
  static const std::regex pattern(R"(^\d\d/\d\d/\d\d \d\d:\d\d (.*)$)");
  std::vector<std::string> out;
  for (const auto& line : lines) {
    std::smatch match;
    out.push_back(std::regex_match(line, match, pattern) ? match[1].str() : "UNEXPECTED FORM: " + line);
  }
  return out;
}

}  // namespace glyphwork::testing
