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
// are left out; with MaxEmojiPerMessage N every byte remembers where it was
// typed or which replacement put it in, the passes run as LiteralRewrite runs
// them, and then of the replaced codes those typed whole in the message are
// kept first, leftmost first, then those that markup formed, in the order
// they were replaced, N in all; the others are undone, the last first, and
// `pictured` is told of the kept ones. Asks
// `in_group` about any group it needs, in no set order. Throws where a key
// the hook reads has a wrong type (MaxEmojiPerMessage that is not a whole
// number 0 or more: std::invalid_argument).
std::string LiteralRewriteWithControls(const nlohmann::json& config, const nlohmann::json& packs,
                                       const std::string& text, const InGroup& in_group,
                                       const Pictured& pictured = nullptr);

// ReplaceAll as written: every occurrence of `code`, left to right, resuming
// after the inserted markup. Returns how many it replaced.
size_t LiteralReplaceAll(std::string& text, const std::string& code, const std::string& markup);

}  // namespace glyphwork::reference
