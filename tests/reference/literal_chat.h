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

// The rewritten UTF-8 text for one recipient. Throws the JSON library's type
// errors exactly where the documents hold a wrong type.
std::string LiteralRewrite(const nlohmann::json& config, const nlohmann::json& packs, const std::string& text,
                           const InGroup& in_group);

// ReplaceAll as written: every occurrence of `code`, left to right, resuming
// after the inserted markup.
void LiteralReplaceAll(std::string& text, const std::string& code, const std::string& markup);

}  // namespace glyphwork::reference
