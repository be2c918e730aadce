#include "usage/store.h"

namespace glyphwork::usage {

std::unique_ptr<Store> OpenStore(const UsageSettings& settings) {
  return settings.mysql ? OpenMysqlStore(settings) : OpenSqliteStore(settings);
}

}  // namespace glyphwork::usage
