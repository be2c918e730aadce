// For tests that call the plugin's code linked into the test program rather
// than the loaded plugin: the documents start empty, and both loggers write
// into the fixture's captures.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/server_fixture.h"

namespace glyphwork::testing {

class CoreTest : public ServerTest {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// What `call` throws, as its text, or "no exception".
std::string FailureOf(const std::function<void()>& call);

// Host log lines without their date and time: "[Glyphwork][error] text".
std::vector<std::string> WithoutDate(const std::vector<std::string>& lines);

// File modes apply to the current thread while it lives, also when the tests
// run as root (the file-system identity becomes "nobody"). enforced() is false
// where that cannot be arranged, or where `folder` cannot then be listed (a
// temporary folder private to root); tests that need it skip then.
class Unprivileged {
 public:
  explicit Unprivileged(const std::filesystem::path& folder);
  ~Unprivileged();
  Unprivileged(const Unprivileged&) = delete;
  Unprivileged& operator=(const Unprivileged&) = delete;
  bool enforced() const { return enforced_; }

 private:
  [[maybe_unused]] bool switched_ = false;  // Linux only
  bool enforced_ = false;
};

}  // namespace glyphwork::testing
