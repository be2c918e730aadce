#include "usage/pending_file.h"

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
    rows.push_back({*day, "", entry.at("Code").get<std::string>(), entry.at("Pack").get<std::string>(),
                    entry.at("Messages").get<uint64_t>()});
  }
  return rows;
}

}  // namespace

void WritePendingFile(const std::filesystem::path& file, const PendingCounts& counts) {
  json document = {{"Pending", RowsJson(counts.pending)}};
  if (counts.in_doubt) {
    document["InDoubt"] = {{"Batch", counts.in_doubt->first}, {"Rows", RowsJson(counts.in_doubt->second)}};
  }
  std::filesystem::path fresh = file;
  fresh += ".new";
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    out << document.dump(1) << "\n";
    out.close();
    if (!out) throw std::runtime_error("cannot write " + Utf8FromPath(fresh));
  }
  std::error_code error;
  std::filesystem::rename(fresh, file, error);
  if (error) throw std::runtime_error("cannot replace " + Utf8FromPath(file) + ": " + error.message());
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
    if (const auto it = document.find("InDoubt"); it != document.end()) {
      counts.in_doubt.emplace(it->at("Batch").get<std::string>(), RowsOf(it->at("Rows")));
    }
    return counts;
  } catch (const json::exception& failure) {
    throw std::runtime_error(failure.what());
  }
}

}  // namespace glyphwork::usage
