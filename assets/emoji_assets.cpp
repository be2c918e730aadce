#include "assets/emoji_assets.h"

#include <cstdint>

#include "common/game_functions.h"
#include "config/config.h"
#include "config/reading.h"
#include "log/log.h"

namespace glyphwork {

namespace {

struct Counts {
  int32_t loaded = 0;
  int32_t failed = 0;

  void Load(const std::string& path) {
    if (LoadRenderAsset(path) != nullptr) {
      ++loaded;
    } else {
      PrintError("Invalid Path: " + path);
      ++failed;
    }
  }
};

}  // namespace

UObject* LoadRenderAsset(std::string path) {
  if (path.empty()) return nullptr;
  const std::wstring name = AsaApi::Tools::Utf8Decode(path);
  UClass* object_class = game::StreamableRenderAssetStaticClass();
  return game::StaticLoadObject(object_class, nullptr, name.c_str(), nullptr, 0, 0, true);
}

void LoadEmojiAssets() {
  Counts counts;
  ForEachEmoji(ConfigDocument, PackDocument, PackFiles, ConfigFileShown(),
               [&](const std::string&, const std::string& path, std::size_t) { counts.Load(path); });

  if (counts.failed > 0) {
    PrintColored("33", "Warning! Failed to load " + std::to_string(counts.failed) + " object(s).");
    PrintColored("33", "They're going to be displayed as white square in chat.");
  }
  if (counts.loaded > 0) {
    PrintColored("36", "Loaded " + std::to_string(counts.loaded) + " new object(s)!");
  } else if (counts.failed > 0) {
    PrintError("Failed to load all mapped objects!");
  } else {
    PrintInfo("There's no mapped emoji in config.json, try to map some!");
  }
}

}  // namespace glyphwork
