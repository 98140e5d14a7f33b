#pragma once
// Where the store database is: the data source file (".\Kalu.dsn", section [ODBC], keys as
// PostgreSQL's ODBC data sources write them) with the connection data laid over it, and
// how every connection of the program is set up.

#include <optional>
#include <string>
#include <string_view>

#include "platform/pg_connection.h"

namespace kalu {

// The application name of every connection the program opens: the sessions of this
// program are known by it in pg_stat_activity.
constexpr const char* kApplicationName = "kalu-upgrade";

// How long a statement of the program waits for a lock another session holds (a table a
// report or another program is reading in an open transaction) before it fails with
// SQLSTATE 55P03. The upgrade's own statements take their locks at once on a store nobody
// else uses, and a report that is merely reading ends well inside a minute; past that the
// holder is an open transaction left idle, which nothing but the operator ends, so the run
// stops and names it instead of waiting with the window frozen all night.
constexpr int kLockTimeoutSeconds = 60;

// The value of `key` in connection data ("key=value;key=value", keys without regard to
// case), if it is there.
std::optional<std::string> ConnectionDataValue(std::string_view data, std::string_view key);

// "localhost:5432": the server and port the data source file `fileDsn` (system form) names,
// as libpq takes them when it names none ("socket local" for a Unix socket).
std::string DataSourceServer(std::string_view fileDsn);

// libpq's settings of a connection to the data source `fileDsn` (system form) with
// `connectionData` laid over it, as `user`: nothing when the file cannot be read.
std::optional<PgSettings> DataSourceSettings(std::string_view fileDsn,
                                             std::string_view connectionData,
                                             const std::string& user, const std::string& password);

}  // namespace kalu
