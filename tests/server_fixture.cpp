#include "tests/server_fixture.h"

#include <fstream>
#include <random>
#include <regex>

#include <spdlog/spdlog.h>

#include "plugin/api/asa_api.h"

namespace glyphwork::testing {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> TakeLines(std::ostringstream& stream) {
  std::vector<std::string> lines;
  std::istringstream in(stream.str());
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  stream.str("");
  return lines;
}

}  // namespace

void ServerTest::SetUp() {
  std::random_device random;
  root_ = fs::temp_directory_path() / ("glyphwork-test-" + std::to_string(random()) + std::to_string(random()));
  fs::create_directories(PluginDir());
  standin::StartHost({root_.string(), false, {std::make_shared<spdlog::sinks::ostream_sink_mt>(host_log_)}});
  // The plugin creates its console logger through the shared registry and
  // takes one that exists: this one captures its lines.
  spdlog::drop("custom");
  console_logger_ =
      std::make_shared<spdlog::logger>("custom", std::make_shared<spdlog::sinks::ostream_sink_mt>(console_));
  spdlog::register_logger(console_logger_);
  game_ = std::make_unique<standin::Game>();
}

void ServerTest::TearDown() {
  standin::StopHost();
  spdlog::drop("custom");
  game_.reset();
  std::error_code error;
  fs::remove_all(root_, error);
}

void ServerTest::Write(const fs::path& relative, const std::string& content) {
  const fs::path path = root_ / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ServerTest::InstalledPluginPath() const {
  return (PluginDir() / ("Glyphwork" + standin::PluginSuffix())).string();
}

bool ServerTest::LoadPlugin() {
  if (!spdlog::get("custom")) spdlog::register_logger(console_logger_);  // dropped at the last unload
  fs::copy_file(GLYPHWORK_PLUGIN_FILE, InstalledPluginPath(), fs::copy_options::overwrite_existing);
  return standin::LoadPlugin("Glyphwork");
}

std::vector<std::string> ServerTest::TakeHostLog() { return TakeLines(host_log_); }

std::vector<std::string> ServerTest::TakeConsole() {
  // The plugin drops the name at unload; lines written before that are here.
  return TakeLines(console_);
}

std::string ServerTest::Deliver(AShooterPlayerController* recipient, const std::string& text) {
  FPrimalChatMessage message;
  message.SenderName = FString("Sender");
  message.Message = FString(text.c_str());
  const size_t before = recipient->received.size();
  standin::Game::Deliver(recipient, message);
  EXPECT_EQ(before + 1, recipient->received.size()) << "one delivery per call";
  return recipient->received.empty() ? "" : recipient->received.back();
}

std::string WithoutTime(const std::string& line) {
  static const std::regex pattern("^\x1b\\[(\\d+)m\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d( \\[Glyphwork\\](\\[ERR\\])? )(.*)\x1b\\[0m$");
  std::smatch match;
  if (!std::regex_match(line, match, pattern)) return "UNEXPECTED FORM: " + line;
  return match[1].str() + match[2].str() + match[4].str();
}

std::vector<std::string> WithoutTime(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) out.push_back(WithoutTime(line));
  return out;
}

}  // namespace glyphwork::testing
