#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "common/utf8_path.h"
#include "config/config.h"
#include "config/json_errors.h"
#include "config/reading.h"
#include "log/log.h"

namespace glyphwork {

nlohmann::json PackDocument = nlohmann::json::object();
std::vector<std::string> PackFiles;

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
// two same-named emoji wins: hence the sort, of the UTF-8 names, so that
// Windows (whose names are UTF-16) orders them as Linux does.
std::vector<std::string> ListPackFiles(const fs::path& folder, std::vector<std::string>* broken_links) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) throw fs::filesystem_error("directory_iterator::directory_iterator", folder, error);
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) throw fs::filesystem_error("directory_iterator::operator++", folder, error);
    const fs::file_status status = it->status(error);
    if (error && !IsNotFound(error)) throw fs::filesystem_error("status", it->path(), error);
    if (status.type() == fs::file_type::regular) {
      names.push_back(Utf8FromPath(it->path().filename()));
    } else if (std::error_code link_error;
               status.type() == fs::file_type::not_found && broken_links != nullptr && it->is_symlink(link_error)) {
      broken_links->push_back(Utf8FromPath(it->path().filename()));
    }
  }
  if (error) throw fs::filesystem_error("directory_iterator::operator++", folder, error);
  std::sort(names.begin(), names.end());
  if (broken_links != nullptr) std::sort(broken_links->begin(), broken_links->end());
  return names;
}

ScannedPacks ScanPacks(const nlohmann::json& config) {
  const fs::path folder = GetPacksPath();
  ScannedPacks scanned;

  std::vector<std::string> names;
  std::vector<std::string> broken_links;
  try {
    if (!IsPacksFolder(folder)) {
      PrintError("Packs folder doesn't exist!");
      return scanned;
    }
    names = ListPackFiles(folder, &broken_links);
  } catch (const fs::filesystem_error& error) {
    throw DocumentError(PacksFolderShown(), error.what());
  }
  // Passed over as nothing to read, as the scan passes over a folder; said,
  // since a pack that was meant to load does not.
  for (const std::string& name : broken_links) PrintError("Skipped " + name + " in Packs: a link to nothing!");
  for (const std::string& name : names) {
    // `Packs` selects nothing: every pack file loads, whatever the list says.
    // Looking it up keeps the one effect it has, the wrong type when
    // config.json's top level is not an object.
    FindMember(config, Place(ConfigFileShown(), ""), "Packs");
    nlohmann::json pack;
    try {
      if (!ParseJsonFile(folder / PathFromUtf8(name), pack)) {
        throw DocumentError(PackFileShown(name), "Can't open " + name + " pack!");
      }
    } catch (const nlohmann::json::exception& error) {
      // Not only parse errors: a number too large for a double is refused as
      // out_of_range. The console line names the pack for whoever watches it.
      PrintError("Can't parse " + name + " pack!");
      throw DocumentError(PackFileShown(name), JsonErrorText(folder / PathFromUtf8(name), error));
    }
    scanned.document["EmojiMap"].push_back(std::move(pack));
    scanned.files.push_back(PackFileShown(name));
  }
  return scanned;
}

void LoadPacks() {
  ScannedPacks scanned = ScanPacks(ConfigDocument);
  PackDocument = std::move(scanned.document);
  PackFiles = std::move(scanned.files);
  BumpDocumentsGeneration();
}

void UseDocuments(nlohmann::json config, ScannedPacks packs) {
  ConfigDocument = std::move(config);
  PackDocument = std::move(packs.document);
  PackFiles = std::move(packs.files);
  BumpDocumentsGeneration();
}

}  // namespace glyphwork
