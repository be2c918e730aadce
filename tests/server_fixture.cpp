#include "tests/server_fixture.h"

#include <spdlog/spdlog.h>

#include <fstream>
#include <random>

#include "common/engine_text.h"
#include "common/regex.h"

namespace glyphwork::testing {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

void ServerTest::SetUp() {
  std::random_device random;
  root_ = fs::temp_directory_path() /
          PathFromUtf8("glyphwork-test-" + std::to_string(random()) + std::to_string(random()) + root_suffix_);
  fs::create_directories(PluginDir());
  standin::StartHost({.server_dir = Utf8FromPath(root_),
                      .console_sink = false,
                      .extra_sinks = {std::make_shared<spdlog::sinks::ostream_sink_mt>(host_log_)}});
  console_ = std::make_unique<ConsoleCapture>();
  game_ = std::make_unique<standin::Game>();
  game_->record_load_requests = true;
}

void ServerTest::TearDown() {
  standin::StopHost();
  console_.reset();
  game_.reset();
  std::error_code error;
  fs::remove_all(root_, error);
}

void ServerTest::Write(const fs::path& relative, const std::string& content) {
  const fs::path path = root_ / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

fs::path ServerTest::InstalledPluginPath() const { return PluginDir() / ("Glyphwork" + standin::PluginSuffix()); }

bool ServerTest::LoadPlugin() {
  console_->Rearm();
  fs::copy_file(PathFromUtf8(GLYPHWORK_PLUGIN_FILE), InstalledPluginPath(), fs::copy_options::overwrite_existing);
  const std::string before = host_log_.str();
  const bool loaded = standin::LoadPlugin("Glyphwork");
  std::string during = host_log_.str().substr(before.size());
  const size_t at = during.find("[AsaApi][info] Loaded plugin ");
  if (at != std::string::npos) {
    const size_t start = during.rfind('\n', at) == std::string::npos ? 0 : during.rfind('\n', at) + 1;
    const size_t end = during.find('\n', at);
    loaded_line_ = during.substr(start, end - start);
    if (!loaded_line_.empty() && loaded_line_.back() == '\r') loaded_line_.pop_back();
    during.erase(start, end == std::string::npos ? std::string::npos : end + 1 - start);
    host_log_.str(before + during);
    host_log_.seekp(0, std::ios::end);
  }
  return loaded;
}

fs::path ServerTest::HostLogFile() const {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(BinariesDir() / "logs", error)) {
    const std::string name = Utf8FromPath(entry.path().filename());
    if (name.starts_with("ArkApi_") && name.ends_with(".log")) return entry.path();
  }
  return {};
}

std::vector<std::string> ServerTest::TakeHostLog() { return Lines(std::exchange(host_log_, {}).str()); }

std::vector<std::string> ServerTest::TakeConsole() { return Lines(console_->Take()); }

std::string ServerTest::Deliver(AShooterPlayerController* recipient, const std::string& text) {
  FPrimalChatMessage message;
  message.SenderName = FString("Sender");
  message.Message = FStringFromUtf8(text);
  const int64_t before = recipient->received.pushed();
  standin::Game::Deliver(recipient, message);
  EXPECT_EQ(before + 1, recipient->received.pushed()) << "one delivery per call";
  return recipient->received.empty() ? "" : recipient->received.back();
}

bool CreateSymlink(const fs::path& target, const fs::path& link, bool directory) {
  std::error_code error;
  if (directory) {
    fs::create_directory_symlink(target, link, error);
  } else {
    fs::create_symlink(target, link, error);
  }
  // Wine reports success and makes no link.
  return !error && fs::is_symlink(fs::symlink_status(link, error));
}

std::string WithoutTime(const std::string& line) {
  static const std::regex pattern(
      "^\x1b\\[(\\d+)m\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d( \\[Glyphwork\\](\\[ERR\\])? )(.*)\x1b\\[0m$");
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
