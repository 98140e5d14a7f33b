#include "gen/sandbox.h"

#include <fstream>
#include <memory>

namespace kalu::gen {

Sandbox Sandbox::In(const std::filesystem::path& folder) {
  Sandbox sandbox;
  std::ifstream in(folder / "sandbox.env");
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    if (name == "KALU_PGHOST") sandbox.host = line.substr(eq + 1);
    if (name == "KALU_PGPORT") sandbox.port = line.substr(eq + 1);
  }
  return sandbox;
}

std::string Sandbox::ConnInfo(const std::string& database) const {
  return "host='" + host + "' port=" + port + " dbname='" + database +
         "' user=zovizazir password='t29r$HHvb' options='-c client_min_messages=warning'";
}

std::string Sandbox::DsnText() const {
  return "[ODBC]\nDRIVER=PostgreSQL Unicode\nServername=" + host + "\nPort=" + port +
         "\nDatabase=kalu\nSSLmode=disable\n";
}

std::string Sandbox::CreateFromTemplate(const std::string& database) const {
  std::string error = Drop(database);
  if (error.empty()) {
    error = Connection(ConnInfo("postgres"))
                .Exec("CREATE DATABASE " + database + " TEMPLATE kalu_template");
  }
  return error;
}

// "DROP DATABASE … WITH (FORCE)" in a form that PostgreSQL before 13 runs too: the store
// role's sessions on it are ended first, and the drop waits for them to go. The drop itself
// ends the autovacuum workers at work on the database, which PostgreSQL 18 no longer lets
// the store role end.
std::string Sandbox::Drop(const std::string& database) const {
  Connection c(ConnInfo("postgres"));
  std::string error =
      c.Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + database +
             "' AND backend_type = 'client backend' AND pid <> pg_backend_pid()");
  if (error.empty()) error = c.Exec("DROP DATABASE IF EXISTS " + database);
  return error;
}

namespace {

struct ResultCloser {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultCloser>;

bool Succeeded(const Result& r) {
  const auto status = PQresultStatus(r.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

}  // namespace

Connection::Connection(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {}

std::string Connection::Error() const {
  return PQstatus(conn_.get()) == CONNECTION_OK ? "" : PQerrorMessage(conn_.get());
}

std::string Connection::Exec(const std::string& sql) {
  std::string error = Error();
  if (!error.empty()) return error;
  Result r(PQexec(conn_.get(), sql.c_str()));
  return Succeeded(r) ? "" : PQresultErrorMessage(r.get()) + std::string(" in: ") + sql;
}

std::string Connection::Copy(const std::string& table, const std::string& columns,
                             const std::string& rows) {
  std::string error = Error();
  if (!error.empty()) return error;
  const std::string into = columns.empty() ? table : table + " (" + columns + ")";
  Result start(PQexec(conn_.get(), ("COPY " + into + " FROM STDIN").c_str()));
  if (PQresultStatus(start.get()) != PGRES_COPY_IN) return PQresultErrorMessage(start.get());
  if (PQputCopyData(conn_.get(), rows.data(), static_cast<int>(rows.size())) != 1 ||
      PQputCopyEnd(conn_.get(), nullptr) != 1) {
    return PQerrorMessage(conn_.get());
  }
  Result end(PQgetResult(conn_.get()));
  if (!Succeeded(end)) error = PQresultErrorMessage(end.get()) + std::string(" in COPY ") + table;
  while (Result(PQgetResult(conn_.get()))) {
  }
  return error;
}

std::string LocationXml(int vehiclesPort, int operatorsPort, const std::string& more) {
  auto entry = [&](const char* name, int port) {
    return std::string("  <ZQLocation name=\"") + name + "\"><HTTP><host>127.0.0.1</host><port>" +
           std::to_string(port) + "</port><timeout>20</timeout>" + more + "</HTTP></ZQLocation>\n";
  };
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ZQLocations>\n" +
         entry("morvel25_ws_vehiculos_cartaporte_v3", vehiclesPort) +
         entry("morvel25_ws_operadores_cartaporte_v2", operatorsPort) + "</ZQLocations>\n";
}

}  // namespace kalu::gen
