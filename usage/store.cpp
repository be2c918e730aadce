#include "usage/store.h"

namespace glyphwork::usage {

void CheckSchemaVersion(const std::string& where, int64_t version) {
  if (version <= kSchemaVersion) return;
  throw StoreError(where + ": the usage tables are of version " + std::to_string(version) +
                   ", newer than this Glyphwork's " + std::to_string(kSchemaVersion) + ": update Glyphwork");
}

std::unique_ptr<Store> OpenStore(const UsageSettings& settings) {
  return settings.mysql ? OpenMysqlStore(settings) : OpenSqliteStore(settings);
}

}  // namespace glyphwork::usage
