#include "usage/store.h"

namespace glyphwork::usage {

void CheckSchemaVersion(const std::string& where, int64_t version) {
  if (version <= kSchemaVersion) return;
  throw StoreError(where + ": the usage tables are of version " + std::to_string(version) +
                   ", newer than this Glyphwork's " + std::to_string(kSchemaVersion) + ": update Glyphwork");
}

std::unique_ptr<Store> ConnectStore(const UsageSettings& settings) {
  return settings.mysql ? OpenMysqlStore(settings) : OpenSqliteStore(settings);
}

std::unique_ptr<Store> OpenStore(const UsageSettings& settings) {
  std::unique_ptr<Store> store = ConnectStore(settings);
  store->Prepare();
  return store;
}

std::unique_ptr<Store> OpenStoreForReading(const UsageSettings& settings) {
  return settings.mysql ? OpenMysqlStoreForReading(settings) : OpenSqliteStoreForReading(settings);
}

}  // namespace glyphwork::usage
