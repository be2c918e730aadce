#include "config/config.h"

#include <API/ARK/Ark.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/plugin_name.h"
#include "common/utf8_path.h"
#include "config/json_errors.h"
#include "config/reading.h"
#include "platform/platform.h"

namespace glyphwork {

nlohmann::json ConfigDocument;

namespace {
unsigned long documents_generation = 0;
}  // namespace

unsigned long DocumentsGeneration() { return documents_generation; }

void BumpDocumentsGeneration() { ++documents_generation; }

namespace {
// The plugin's folder under the host's current directory.
std::string PluginFolder() { return std::string("ArkApi/Plugins/") + kPluginName + "/"; }

// The one place where the host's narrow current directory becomes a path:
// the live host reports it in the system's ANSI code page on Windows.
std::filesystem::path InCurrentDir(const std::string& relative) {
  return platform::PathFromHostText(AsaApi::Tools::GetCurrentDir() + "/" + relative);
}
}  // namespace

std::filesystem::path GetConfigPath() { return InCurrentDir(PluginFolder() + "config.json"); }

std::filesystem::path GetPacksPath() { return InCurrentDir(PluginFolder() + "Packs/"); }

std::string PluginFolderShown() { return PluginFolder(); }

std::string ConfigFileShown() { return PluginFolder() + "config.json"; }

std::string PacksFolderShown() { return PluginFolder() + "Packs/"; }

std::string PackFileShown(const std::string& name) { return PacksFolderShown() + name; }

bool ParseJsonFile(const std::filesystem::path& path, nlohmann::json& out) {
  // A folder opens as an empty stream on Linux, not at all on Windows: it is
  // a file that cannot be opened on both.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  std::ifstream file(path);
  if (!file.is_open()) return false;
  // Stream extraction: comments rejected, nothing after the first value read.
  file >> out;
  return true;
}

nlohmann::json ReadConfigFile() {
  nlohmann::json fresh;
  try {
    if (!ParseJsonFile(GetConfigPath(), fresh)) throw DocumentError(ConfigFileShown(), "Can't open config.json");
  } catch (const nlohmann::json::exception& error) {
    throw DocumentError(ConfigFileShown(), JsonErrorText(GetConfigPath(), error));
  }
  return fresh;
}

void ReadConfig() {
  ConfigDocument = ReadConfigFile();
  BumpDocumentsGeneration();
}

}  // namespace glyphwork
