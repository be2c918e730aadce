#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "config/config.h"
#include "log/log.h"

namespace glyphwork {

nlohmann::json PackDocument = nlohmann::json::object();

namespace {

namespace fs = std::filesystem;

bool IsNotFound(const std::error_code& error) {
  return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
}

}  // namespace

bool IsPacksFolder(const fs::path& folder) {
  std::error_code error;
  const bool exists = fs::exists(folder, error);
  if (error) throw fs::filesystem_error("exists", folder, error);
  if (!exists) return false;
  const bool is_folder = fs::is_directory(folder, error);
  if (error && !IsNotFound(error)) throw fs::filesystem_error("status", folder, error);
  return is_folder;
}

// Directory listings have no stable order, and pack order decides which of
// two same-named emoji wins: hence the sort.
std::vector<std::string> ListPackFiles(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) throw fs::filesystem_error("directory_iterator::directory_iterator", folder, error);
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) throw fs::filesystem_error("directory_iterator::operator++", folder, error);
    const fs::file_status status = it->status(error);
    if (error && !IsNotFound(error)) throw fs::filesystem_error("status", it->path(), error);
    if (status.type() == fs::file_type::regular) names.push_back(it->path().filename().string());
  }
  if (error) throw fs::filesystem_error("directory_iterator::operator++", folder, error);
  std::sort(names.begin(), names.end());
  return names;
}

void LoadPacks() {
  const std::string folder_text = GetPacksPath();
  const fs::path folder(folder_text);

  if (!IsPacksFolder(folder)) {
    PackDocument = nlohmann::json::object();
    BumpDocumentsGeneration();
    PrintError("Packs folder doesn't exist!");
    return;
  }

  // Built aside: a scan that stops half-way must not cost the packs in effect.
  nlohmann::json scanned = nlohmann::json::object();
  for (const std::string& name : ListPackFiles(folder)) {
    // `Packs` selects nothing: every pack file loads, whatever the list says.
    // Looking it up keeps the one effect it has, the type error when
    // config.json's top level is not an object.
    for (const auto& listed : ConfigDocument.value("Packs", nlohmann::json::array())) {
      static_cast<void>(listed == nlohmann::json(name));
    }
    nlohmann::json pack;
    try {
      if (!ParseJsonFile(folder_text + name, pack)) throw std::runtime_error("Can't open " + name + " pack!");
    } catch (const nlohmann::json::exception&) {
      // The library's text has no file name in it. Not only parse errors: a
      // number too large for a double is refused as out_of_range.
      PrintError("Can't parse " + name + " pack!");
      throw;
    }
    scanned["EmojiMap"].push_back(std::move(pack));
  }
  PackDocument = std::move(scanned);
  BumpDocumentsGeneration();
}

}  // namespace glyphwork
