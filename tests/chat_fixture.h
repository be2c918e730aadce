// The chat hook installed in this process, on documents a test sets directly.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/server_fixture.h"

namespace glyphwork::testing {

class ChatTest : public ServerTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Sets both documents, as ReadConfig and LoadPacks would, and marks the
  // change. `packs` become PackDocument's EmojiMap (none: an empty object),
  // from files named p0.json, p1.json, ...
  void Use(const nlohmann::json& config, const std::vector<nlohmann::json>& packs = {});

  // Delivers `text` to a null controller; returns what the game received.
  std::string DeliverToNobody(const std::string& text);
};

// The chat image markup for an object path.
std::string Img(const std::string& path);

}  // namespace glyphwork::testing
