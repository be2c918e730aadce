#include "tests/devserver/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <thread>
#include <utility>

#include "common/regex.h"

extern char** environ;

namespace glyphwork::testing {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Starts `args` with the given descriptors as its standard input, output and
// error (-1: inherit). The pid, or -1.
int Spawn(const std::vector<std::string>& args, int in, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in >= 0) posix_spawn_file_actions_adddup2(&actions, in, 0);
  if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
  if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, 2);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int status = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0 ? pid : -1;
}

// Waits for `pid` until `deadline`, then kills it. Its exit code, or -1.
int Reap(int pid, Clock::time_point deadline) {
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0) return -1;
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  pid_ = Spawn(args, in[0], out[1], -1);
  close(in[0]);
  close(out[1]);
  input_ = in[1];
  output_ = out[0];
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (output_ >= 0) close(output_);
  if (pid_ > 0) Reap(pid_, Clock::now());
}

void ChildProcess::Send(const std::string& line) {
  const std::string data = line + "\n";
  std::size_t written = 0;
  while (input_ >= 0 && written < data.size()) {
    const ssize_t n = write(input_, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

bool ChildProcess::ReadMore(Clock::time_point deadline) {
  if (output_ < 0) return false;
  pollfd fd{output_, POLLIN, 0};
  const int ready = poll(&fd, 1, MillisecondsLeft(deadline));
  if (ready <= 0) return false;
  char buffer[65536];
  const ssize_t n = read(output_, buffer, sizeof buffer);
  if (n <= 0) {
    close(output_);
    output_ = -1;
    return false;
  }
  pending_.append(buffer, static_cast<std::size_t>(n));
  return true;
}

std::vector<std::string> ChildProcess::ReadUntil(const std::function<bool(const std::string&)>& last, bool* found,
                                                 std::chrono::milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  std::vector<std::string> lines;
  *found = false;
  for (;;) {
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      lines.push_back(pending_.substr(0, end));
      pending_.erase(0, end + 1);
      if (last(lines.back())) {
        *found = true;
        return lines;
      }
    }
    if (!ReadMore(deadline)) return lines;
  }
}

bool ChildProcess::ReadSome(std::string* out, std::chrono::milliseconds wait) {
  out->append(std::exchange(pending_, {}));
  const bool open = ReadMore(Clock::now() + wait);
  out->append(std::exchange(pending_, {}));
  return open || output_ >= 0;
}

std::vector<std::string> ChildProcess::ReadToEnd(int* exit_code, std::chrono::milliseconds wait) {
  bool found = false;
  const auto deadline = Clock::now() + wait;
  auto lines = ReadUntil([](const std::string&) { return false; }, &found, wait);
  if (!pending_.empty()) lines.push_back(std::exchange(pending_, {}));
  *exit_code = pid_ > 0 ? Reap(pid_, deadline) : -1;
  pid_ = -1;
  return lines;
}

Finished RunProgram(const std::vector<std::string>& args, std::chrono::milliseconds wait) {
  Finished finished;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return finished;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return finished;
  }
  const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int pid = Spawn(args, null_input, out[1], err[1]);
  close(null_input);
  close(out[1]);
  close(err[1]);
  const auto deadline = Clock::now() + wait;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&finished.out, &finished.err};
  int open_count = 2;
  while (pid > 0 && open_count > 0 && poll(fds, 2, MillisecondsLeft(deadline)) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  finished.exit_code = pid > 0 ? Reap(pid, deadline) : -1;
  return finished;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "";
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const fs::path candidate = fs::path(folders.substr(start, end - start)) / program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

TempFolder::TempFolder() {
  std::random_device random;
  path_ = fs::temp_directory_path() / ("glyphwork-devserver-" + std::to_string(random()) + std::to_string(random()));
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code error;
  fs::remove_all(path_, error);
}

void MakeExampleServer(const fs::path& root) {
  fs::copy(fs::path(GLYPHWORK_EXAMPLES_DIR) / "server", root, fs::copy_options::recursive);
  fs::copy_file(
      GLYPHWORK_PLUGIN_FILE,
      root / "ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork" / fs::path(GLYPHWORK_PLUGIN_FILE).filename(),
      fs::copy_options::overwrite_existing);
}

std::string WithoutTime(const std::string& line) {
  static const std::regex console("^\x1b\\[(\\d+)m\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d (.*)\x1b\\[0m$");
  static const std::regex host("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d (\\[.*)$");
  std::smatch match;
  if (std::regex_match(line, match, console)) return match[1].str() + " " + match[2].str();
  if (std::regex_match(line, match, host)) return match[1].str();
  return line;
}

}  // namespace glyphwork::testing
