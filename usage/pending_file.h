// The counts a writer could not write before the plugin unloaded, kept in a
// small JSON file beside config.json until the next start writes them:
//   {"Pending": [{"Day": "2025-05-20", "Code": ":smile:", "Pack": "faces.json", "Messages": 3}, ...],
//    "InDoubt": {"Batch": "<id>", "Rows": [...]}}
// "InDoubt" is a batch whose commit went unanswered: written only if the
// database does not have it.
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
  std::optional<std::pair<std::string, std::vector<Row>>> in_doubt;
};

// Writes a new file and then puts it in place of the old one. Throws
// std::runtime_error naming the file.
void WritePendingFile(const std::filesystem::path& file, const PendingCounts& counts);
// Null when there is no file; throws std::runtime_error when it cannot be
// read or is not such a file.
std::optional<PendingCounts> ReadPendingFile(const std::filesystem::path& file);

}  // namespace glyphwork::usage
