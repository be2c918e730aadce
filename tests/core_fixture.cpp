#include "tests/core_fixture.h"

#include <fcntl.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <regex>

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "config/config.h"
#include "log/log.h"

namespace glyphwork::testing {

namespace {
constexpr uid_t kNobody = 65534;
}  // namespace

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

std::vector<std::string> WithoutDate(const std::vector<std::string>& lines) {
  static const std::regex pattern(R"(^\d\d/\d\d/\d\d \d\d:\d\d (.*)$)");
  std::vector<std::string> out;
  for (const auto& line : lines) {
    std::smatch match;
    out.push_back(std::regex_match(line, match, pattern) ? match[1].str() : "UNEXPECTED FORM: " + line);
  }
  return out;
}

Unprivileged::Unprivileged(const std::filesystem::path& folder) {
  if (geteuid() == 0) {
    // Leaving file-system uid 0 drops the capabilities that override file
    // modes, for this thread only; setting it back restores them.
    setfsuid(kNobody);
    switched_ = true;
    if (setfsuid(static_cast<uid_t>(-1)) != kNobody) return;
  }
  const int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  enforced_ = handle >= 0;
  if (handle >= 0) close(handle);
}

Unprivileged::~Unprivileged() {
  if (switched_) setfsuid(0);
}

}  // namespace glyphwork::testing
