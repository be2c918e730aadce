#include "usage/pending_file.h"

#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "common/utf8_path.h"
#include "usage/day.h"

namespace glyphwork::usage {

namespace {

using nlohmann::json;

json RowsJson(const std::vector<Row>& rows) {
  json list = json::array();
  for (const Row& row : rows) {
    list.push_back({{"Day", DayText(row.day)}, {"Code", row.code}, {"Pack", row.pack}, {"Messages", row.messages}});
  }
  return list;
}

std::vector<Row> RowsOf(const json& list) {
  std::vector<Row> rows;
  for (const json& entry : list) {
    const std::optional<int64_t> day = DayFromText(entry.at("Day").get<std::string>());
    if (!day) throw std::runtime_error("not a day: " + entry.at("Day").get<std::string>());
    // A count the database cannot hold (BIGINT) would fail every write.
    const json& messages = entry.at("Messages");
    if (!messages.is_number_unsigned() || messages.get<uint64_t>() > uint64_t(INT64_MAX)) {
      throw std::runtime_error("not a count of messages: " + messages.dump());
    }
    rows.push_back(
        {*day, "", entry.at("Code").get<std::string>(), entry.at("Pack").get<std::string>(), messages.get<uint64_t>()});
  }
  return rows;
}

}  // namespace

void WritePendingFile(const std::filesystem::path& file, const PendingCounts& counts) {
  json document = {{"Pending", RowsJson(counts.pending)}};
  if (!counts.pending_batch.empty()) document["PendingBatch"] = counts.pending_batch;
  if (!counts.in_doubt.empty()) {
    json& list = document["InDoubt"] = json::array();
    for (const auto& [batch, rows] : counts.in_doubt) list.push_back({{"Batch", batch}, {"Rows", RowsJson(rows)}});
  }
  std::filesystem::path fresh = file;
  fresh += ".new";
  std::error_code error;
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    out << document.dump(1, ' ', false, json::error_handler_t::replace) << "\n";
    out.close();
    if (!out) {
      // A half-written file (a full disk) must not stay behind.
      std::filesystem::remove(fresh, error);
      throw std::runtime_error("cannot write " + Utf8FromPath(fresh));
    }
  }
  std::filesystem::rename(fresh, file, error);
  if (error) {
    const std::string why = error.message();
    std::filesystem::remove(fresh, error);
    throw std::runtime_error("cannot replace " + Utf8FromPath(file) + ": " + why);
  }
}

std::optional<PendingCounts> ReadPendingFile(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open it");
  try {
    json document;
    in >> document;
    PendingCounts counts;
    counts.pending = RowsOf(document.at("Pending"));
    if (const auto it = document.find("PendingBatch"); it != document.end()) {
      counts.pending_batch = it->get<std::string>();
    }
    if (const auto it = document.find("InDoubt"); it != document.end()) {
      for (const json& held : it->is_array() ? *it : json::array({*it})) {
        counts.in_doubt.emplace_back(held.at("Batch").get<std::string>(), RowsOf(held.at("Rows")));
      }
    }
    return counts;
  } catch (const json::exception& failure) {
    throw std::runtime_error(failure.what());
  }
}

}  // namespace glyphwork::usage
