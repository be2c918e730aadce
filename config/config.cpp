#include "config/config.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "plugin/api/asa_api.h"
#include "plugin/lifecycle.h"

namespace glyphwork {

nlohmann::json ConfigDocument;

namespace {
unsigned long documents_generation = 0;
}  // namespace

unsigned long DocumentsGeneration() { return documents_generation; }

void BumpDocumentsGeneration() { ++documents_generation; }

std::string GetConfigPath() {
  return AsaApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/" + kPluginName + "/config.json";
}

std::string GetPacksPath() { return AsaApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/" + kPluginName + "/Packs/"; }

bool ParseJsonFile(const std::string& path, nlohmann::json& out) {
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

void ReadConfig() {
  nlohmann::json fresh;
  if (!ParseJsonFile(GetConfigPath(), fresh)) throw std::runtime_error("Can't open config.json");
  ConfigDocument = std::move(fresh);
  BumpDocumentsGeneration();
}

}  // namespace glyphwork
