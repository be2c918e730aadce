// config.json and the emoji packs, read into the two documents every other
// subsystem looks its keys up in.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace glyphwork {

// The parsed config.json; null until the first successful ReadConfig.
// REQUIRES: the host calls into the plugin one call at a time.
extern nlohmann::json ConfigDocument;

// Always an object: empty, or {"EmojiMap": [pack, ...]} in scan order.
extern nlohmann::json PackDocument;
// The files of PackDocument's packs, in EmojiMap order, as messages name them.
extern std::vector<std::string> PackFiles;

// Current dir + "/ArkApi/Plugins/Glyphwork/config.json", not normalised. The
// host's current directory is read as the host writes it (see config.cpp).
std::filesystem::path GetConfigPath();
// Current dir + "/ArkApi/Plugins/Glyphwork/Packs/", not normalised.
std::filesystem::path GetPacksPath();

// The files as messages name them, relative to the host's current directory:
// "ArkApi/Plugins/Glyphwork/", ".../config.json", ".../Packs/" and
// ".../Packs/NAME".
std::string PluginFolderShown();
std::string ConfigFileShown();
std::string PacksFolderShown();
std::string PackFileShown(const std::string& name);

// config.json parsed, nothing put in effect. Throws DocumentError naming the
// file, with "Can't open config.json" or the JSON library's own text.
nlohmann::json ReadConfigFile();

// What a pack scan found, not yet in effect.
struct ScannedPacks {
  nlohmann::json document = nlohmann::json::object();  // as PackDocument
  std::vector<std::string> files;                      // as PackFiles
};

// Scans the Packs folder against `config` (whose Packs key it looks up):
// every regular file, by byte order of name, parsed as a pack. A missing
// folder (or a Packs that is not a folder) gives no packs and prints "Packs
// folder doesn't exist!"; a link to nothing is skipped with a PrintError
// line "Skipped <name> in Packs: a link to nothing!". Throws DocumentError naming the file or folder: a
// file-system error, "Can't open <name> pack!", the library's parse error (as
// JsonErrorText words it), a `config` that is not an object. A pack the JSON library refuses is also
// named in one PrintError line, "Can't parse <name> pack!".
ScannedPacks ScanPacks(const nlohmann::json& config);

// Puts a configuration and packs read aside in effect together.
void UseDocuments(nlohmann::json config, ScannedPacks packs);

// ReadConfigFile into ConfigDocument; on any exception ConfigDocument is left
// exactly as it was.
void ReadConfig();

// ScanPacks against ConfigDocument into PackDocument and PackFiles; on any
// exception both are left exactly as they were.
void LoadPacks();

// The two steps of the pack scan before any pack is read, for tools that
// check a Packs folder the way LoadPacks sees it.
// IsPacksFolder: true when `folder` is a directory (links followed), false when
// it is missing or something else. Throws the file-system error of "exists"
// or "status".
bool IsPacksFolder(const std::filesystem::path& folder);
// ListPackFiles: the names of the regular files in `folder` (links followed),
// as UTF-8, in byte order of that text: the order of EmojiMap, the same on
// every platform. The names of links to nothing go to `broken_links`, in the
// same order. Throws the file-system errors of the listing, and on Windows
// the conversion error of a name that is not UTF-16.
std::vector<std::string> ListPackFiles(const std::filesystem::path& folder,
                                       std::vector<std::string>* broken_links = nullptr);

// Parses one JSON document from a file as config.json and packs are read: a
// text stream, a leading BOM skipped, no comments, only the first value read.
// Returns false when the file cannot be opened or is a folder; throws the
// JSON library's exceptions, leaving `out` to be discarded.
bool ParseJsonFile(const std::filesystem::path& path, nlohmann::json& out);

// Increases at every change of either document, so that whatever is derived
// from them knows when to derive it again.
unsigned long DocumentsGeneration();
void BumpDocumentsGeneration();

}  // namespace glyphwork
