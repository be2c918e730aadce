// Running the built dev server and other programs from tests: through pipes,
// every wait bounded, every child killed (by its own id) when a test ends.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace glyphwork::testing {

// Long enough for a slow machine, short enough that a hang fails the test.
inline constexpr std::chrono::seconds kWait{15};

// A program whose standard input and output are the test's to drive.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  int pid() const { return pid_; }
  void Send(const std::string& line);  // adds the newline
  void CloseInput();

  // Output lines up to and including the first for which `last` holds, or all
  // read when the output ends or `wait` passes first (`found` says which).
  std::vector<std::string> ReadUntil(const std::function<bool(const std::string&)>& last, bool* found,
                                     std::chrono::milliseconds wait = kWait);
  // Raw output bytes appended to `out`, as much as is there within `wait`.
  // False once the output has ended.
  bool ReadSome(std::string* out, std::chrono::milliseconds wait);
  // Every remaining output line; then the exit code (-1: killed after `wait`).
  std::vector<std::string> ReadToEnd(int* exit_code, std::chrono::milliseconds wait = kWait);

 private:
  bool ReadMore(std::chrono::steady_clock::time_point deadline);
  int WaitExit(std::chrono::steady_clock::time_point deadline);

  int pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string pending_;
};

struct Finished {
  int exit_code = -1;  // -1: killed after the time allowed
  std::string out;
  std::string err;
};

// Runs a program with empty input to its end, at most `wait`.
Finished RunProgram(const std::vector<std::string>& args, std::chrono::milliseconds wait = kWait);

// True when `program` is found on PATH.
bool OnPath(const std::string& program);

// A fresh folder under the system's temp folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Copies examples/server into `root` and installs the built plugin there.
void MakeExampleServer(const std::filesystem::path& root);

// A console or host log line without its time: "\x1b[36m12/07/26 22:15 [Glyphwork] x\x1b[0m" becomes
// "36 [Glyphwork] x", "12/07/26 22:15 [AsaApi][error] x" becomes "[AsaApi][error] x"; other lines as they are.
std::string WithoutTime(const std::string& line);

}  // namespace glyphwork::testing
