#include "tests/core_fixture.h"

namespace glyphwork::testing {

// File modes do not keep the owner out on Windows (nor under wine): the tests
// that need them skip.
Unprivileged::Unprivileged(const std::filesystem::path&) {}

Unprivileged::~Unprivileged() = default;

}  // namespace glyphwork::testing
