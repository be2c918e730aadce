// The counts a writer could not write before the plugin unloaded, kept in a
// small JSON file beside config.json until the next start writes them:
//   {"Pending": [{"Day": "2025-05-20", "Code": ":smile:", "Pack": "faces.json", "Messages": 3}, ...],
//    "PendingBatch": "<id>",
//    "InDoubt": [{"Batch": "<id>", "Rows": [...]}, ...]}
// Each batch id names counts that may be in the database already (a commit
// went unanswered, or the plugin stopped after writing them and before
// removing this file): written under that id, which the database takes
// once. "Pending" without "PendingBatch", and "InDoubt" as one object, are
// what earlier versions wrote.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "usage/store.h"

namespace glyphwork::usage {

inline constexpr const char* kPendingFile = "usage-pending.json";

struct PendingCounts {
  std::vector<Row> pending;
  std::string pending_batch;  // "" for none
  std::vector<std::pair<std::string, std::vector<Row>>> in_doubt;
};

// Writes a new file and then puts it in place of the old one. Throws
// std::runtime_error naming the file.
void WritePendingFile(const std::filesystem::path& file, const PendingCounts& counts);
// Null when there is no file; throws std::runtime_error when it cannot be
// read or is not such a file.
std::optional<PendingCounts> ReadPendingFile(const std::filesystem::path& file);

}  // namespace glyphwork::usage
