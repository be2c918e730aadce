// config.json and the emoji packs, read into the two documents every other
// subsystem looks its keys up in.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace glyphwork {

// The parsed config.json; null until the first successful ReadConfig.
// REQUIRES: the host calls into the plugin one call at a time.
extern nlohmann::json ConfigDocument;

// Always an object: empty, or {"EmojiMap": [pack, ...]} in scan order.
extern nlohmann::json PackDocument;

// Current dir + "/ArkApi/Plugins/Glyphwork/config.json", not normalised.
std::string GetConfigPath();
// Current dir + "/ArkApi/Plugins/Glyphwork/Packs/", not normalised.
std::string GetPacksPath();

// Parses config.json into ConfigDocument. Replaces it only when the whole
// parse succeeded. Throws std::runtime_error("Can't open config.json") or the
// JSON library's parse error; ConfigDocument is then unchanged.
void ReadConfig();

// Scans the Packs folder: every regular file, by byte order of name, parsed as
// a pack. A missing folder (or a Packs that is not a folder) empties
// PackDocument and prints "Packs folder doesn't exist!". On any exception
// (file-system error, "Can't open <name> pack!", a parse error, a type error
// from the Packs lookup) PackDocument is left exactly as it was. A pack the
// JSON library refuses is named first in one PrintError line,
// "Can't parse <name> pack!", since the library's text does not name it.
void LoadPacks();

// The two steps of the pack scan before any pack is read, for tools that
// check a Packs folder the way LoadPacks sees it.
// IsPacksFolder: true when `folder` is a directory (links followed), false when
// it is missing or something else. Throws the file-system error of "exists"
// or "status".
bool IsPacksFolder(const std::filesystem::path& folder);
// ListPackFiles: the names of the regular files in `folder` (links followed),
// in byte order: the order of EmojiMap. Throws the file-system errors of the
// listing.
std::vector<std::string> ListPackFiles(const std::filesystem::path& folder);

// Parses one JSON document from a file as config.json and packs are read: a
// text stream, a leading BOM skipped, no comments, only the first value read.
// Returns false when the file cannot be opened or is a folder; throws the
// JSON library's exceptions, leaving `out` to be discarded.
bool ParseJsonFile(const std::string& path, nlohmann::json& out);

// Increases at every change of either document, so that whatever is derived
// from them knows when to derive it again.
unsigned long DocumentsGeneration();
void BumpDocumentsGeneration();

}  // namespace glyphwork
