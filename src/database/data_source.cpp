#include "database/data_source.h"

#include <filesystem>

#include "platform/paths.h"
#include "platform/settings_file.h"
#include "runtime/text.h"

namespace kalu {

namespace {

struct DsnSettings {
  std::string host, port, database, sslmode;
};

// The connection settings of the data source file's section [ODBC]; nothing when the file
// cannot be read.
std::optional<DsnSettings> ReadDsn(std::string_view fileDsn) {
  const std::filesystem::path file = NativePath(std::string(fileDsn));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  const std::optional<std::string> text = ReadSettingsText(file);
  if (!text) return std::nullopt;
  auto value = [&](std::string_view key) {
    return FindSettingsValue(*text, "ODBC", key).value_or("");
  };
  DsnSettings dsn;
  dsn.host = value("Servername");
  if (dsn.host.empty()) dsn.host = value("Server");
  dsn.port = value("Port");
  dsn.database = value("Database");
  dsn.sslmode = value("SSLmode");
  return dsn;
}

}  // namespace

std::optional<std::string> ConnectionDataValue(std::string_view data, std::string_view key) {
  size_t pos = 0;
  while (pos <= data.size()) {
    size_t end = data.find(';', pos);
    if (end == std::string_view::npos) end = data.size();
    std::string_view pair = data.substr(pos, end - pos);
    size_t eq = pair.find('=');
    if (eq != std::string_view::npos && EqualsIgnoreCase(Trim(pair.substr(0, eq)), key)) {
      return Trim(pair.substr(eq + 1));
    }
    pos = end + 1;
  }
  return std::nullopt;
}

std::string DataSourceServer(std::string_view fileDsn) {
  DsnSettings dsn = ReadDsn(fileDsn).value_or(DsnSettings{});
  std::string host =
      dsn.host.empty() || dsn.host.front() == '/' ? "socket local " + dsn.host : dsn.host;
  return Trim(host) + ":" + (dsn.port.empty() ? "5432" : dsn.port);
}

std::optional<PgSettings> DataSourceSettings(std::string_view fileDsn,
                                             std::string_view connectionData,
                                             const std::string& user, const std::string& password) {
  std::optional<DsnSettings> dsn = ReadDsn(fileDsn);
  if (!dsn) return std::nullopt;
  if (auto database = ConnectionDataValue(connectionData, "Database")) dsn->database = *database;
  PgSettings settings;
  auto add = [&](const char* key, const std::string& value) {
    if (!value.empty()) settings.emplace_back(key, value);
  };
  add("host", dsn->host);
  add("port", dsn->port);
  add("dbname", dsn->database);
  add("sslmode", dsn->sslmode);
  add("user", user);
  add("password", password);
  add("client_encoding", "UTF8");
  add("options",
      "-c DateStyle=ISO,YMD -c lock_timeout=" + std::to_string(kLockTimeoutSeconds) + "s");
  add("application_name", kApplicationName);
  add("connect_timeout", "15");
  return settings;
}

}  // namespace kalu
