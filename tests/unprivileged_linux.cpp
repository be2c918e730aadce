#include <fcntl.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include "tests/core_fixture.h"

namespace glyphwork::testing {

namespace {
constexpr uid_t kNobody = 65534;
}  // namespace

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
