// A build without MariaDB Connector/C (the Windows build here, which the
// release ships): a Mysql block is refused when the writer first connects.
#include "usage/store.h"

namespace glyphwork::usage {

std::unique_ptr<Store> OpenMysqlStore(const UsageSettings& settings) {
  throw StoreError(settings.Database() +
                   ": this build of Glyphwork has no MariaDB/MySQL client; build it with MariaDB Connector/C "
                   "(docs/live-server.md) or use SQLite");
}

std::unique_ptr<Store> OpenMysqlStoreForReading(const UsageSettings& settings) { return OpenMysqlStore(settings); }

void ReleaseStoreLibraries() {}

}  // namespace glyphwork::usage
