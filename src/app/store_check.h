#pragma once
// The store check (kalu-upgrade --check): looks at everything a run needs in the working
// folder and the store database and changes nothing. The database is read in a read-only
// session; the packages are inflated in memory, never in place; the services get a GET
// that changes nothing on the server.

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "database/session.h"
#include "run/store_key.h"
#include "soap/soap_parm.h"

namespace kalu {

// One line of the check's table.
struct CheckLine {
  std::string id;     // stable name for the chain's tools: "database", "package:DATOS.XMZ"
  std::string title;  // what the operator reads: "Base de datos"
  bool ok = false;
  std::string detail;           // what was found, or what is wrong
  std::optional<int64_t> rows;  // rows of a package
  // A check that could not be made: no problem for the exit status (a run goes ahead), but
  // the table says "sin comprobar", not "ok".
  bool unchecked = false;
};

struct CheckResult {
  std::vector<CheckLine> lines;
  std::optional<StoreKey> store;
  bool AllOk() const;
};

// How long a service may take to answer the check's request, in seconds.
constexpr int16_t kServiceCheckTimeout = 15;

// Checks the store of the working folder through `session` (the program's own connection
// path) and the service locations of `soap`, and whether a run can keep a copy of the
// store first (not needed with `noBackup`).
CheckResult CheckStore(Session& session, SOAPParm_mod& soap, bool noBackup = false);

// The table as the operator reads it: one aligned line per check, "ok" or "problema", and
// the detail.
void PrintCheckTable(std::FILE* out, const CheckResult& result);

// The check as a JSON document (schemas/check-report.schema.json); `started` and `ended`
// are ISO 8601 times.
nlohmann::json CheckReport(const CheckResult& result, const std::string& folder,
                           const std::string& started, const std::string& ended);

// A database error as one line: the fatal text keeps the server's lines apart.
std::string OneLine(std::string text);

// "1.234 MB": a size in megabytes, rounded up, thousands grouped.
std::string MegabytesText(uint64_t bytes);

}  // namespace kalu
