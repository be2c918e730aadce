// Windows: every module has its own copy of the header-only logging library
// and its own registry, and the plugin's console logger writes to the
// process's standard output handle. The capture points standard output at a
// file for the test's duration; what is not a console line (a test failure
// report, say) is passed on to the real output when taken.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <spdlog/spdlog.h>

#include "log/log.h"
#include "tests/console_capture.h"

namespace glyphwork::testing {

struct ConsoleCapture::State {
  std::filesystem::path file;
  int saved_stdout = -1;
  std::streamoff taken = 0;
};

ConsoleCapture::ConsoleCapture() : state_(std::make_unique<State>()) {
  std::random_device random;
  state_->file = std::filesystem::temp_directory_path() / ("glyphwork-console-" + std::to_string(random()));
  std::fflush(stdout);
  state_->saved_stdout = _dup(1);
  const int fd = _wopen(state_->file.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
  _dup2(fd, 1);
  _close(fd);
  SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
  spdlog::drop(kConsoleLogName);  // code linked into the test makes its own, on the redirected output
}

ConsoleCapture::~ConsoleCapture() {
  Take();
  spdlog::drop(kConsoleLogName);
  std::fflush(stdout);
  _dup2(state_->saved_stdout, 1);
  _close(state_->saved_stdout);
  SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
  std::error_code error;
  std::filesystem::remove(state_->file, error);
}

void ConsoleCapture::Rearm() {}

std::string ConsoleCapture::Take() {
  std::fflush(stdout);
  std::ifstream in(state_->file, std::ios::binary);
  in.seekg(state_->taken);
  std::stringstream all;
  all << in.rdbuf();
  state_->taken += std::streamoff(all.str().size());
  std::string console, other;
  for (std::string line; std::getline(all, line);) {
    (line.rfind("\x1b[", 0) == 0 ? console : other) += line + "\n";
  }
  if (!other.empty()) {
    // Straight to the saved output: printing it would capture it again.
    _write(state_->saved_stdout, other.data(), unsigned(other.size()));
  }
  return console;
}

bool ConsoleCapture::SharesLoggingRegistry() { return false; }

}  // namespace glyphwork::testing
