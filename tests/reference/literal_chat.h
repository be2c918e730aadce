// The chat rewriting done the plain way, step by step as the algorithm is
// written: documents read afresh, every code built and searched for one by
// one. Tests and benchmarks compare the hook against it.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace glyphwork::reference {

// Asked once per group name, in order, when UsePermissions is true; true when
// the recipient is in that group.
using InGroup = std::function<bool(const std::string& group)>;

// Told of every pass whose code was replaced at least once: the code, and
// the index of its pack in EmojiMap, or SIZE_MAX for RemapEmoji.
using Pictured = std::function<void(const std::string& code, size_t pack)>;

// The rewritten UTF-8 text for one recipient. Throws the JSON library's type
// errors exactly where the documents hold a wrong type.
std::string LiteralRewrite(const nlohmann::json& config, const nlohmann::json& packs, const std::string& text,
                           const InGroup& in_group, const Pictured& pictured = nullptr);

// LiteralRewrite with the community controls of config.json and the packs'
// Groups, done the plain way: with BlockTypedMarkup every "<" before a letter
// or "/" becomes U+2039; with AllowEscape a backslash before any configured
// code (the one applied first, where several start there) is dropped and the
// code kept as text; the passes of packs whose Groups the recipient is not in
// are left out; with MaxEmojiPerMessage N only the first N replaced codes
// from the left become markup, the others stay as typed. Exact only for
// documents whose markup cannot form a code (no colon in a name or path, no
// "<" in a name). Asks `in_group` about any group it needs, in no set order.
std::string LiteralRewriteWithControls(const nlohmann::json& config, const nlohmann::json& packs,
                                       const std::string& text, const InGroup& in_group);

// ReplaceAll as written: every occurrence of `code`, left to right, resuming
// after the inserted markup. Returns how many it replaced.
size_t LiteralReplaceAll(std::string& text, const std::string& code, const std::string& markup);

}  // namespace glyphwork::reference
