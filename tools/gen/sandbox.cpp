#include "gen/sandbox.h"

#include <libpq-fe.h>

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
  struct ConnCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
  };
  std::unique_ptr<PGconn, ConnCloser> c(PQconnectdb(ConnInfo("postgres").c_str()));
  if (PQstatus(c.get()) != CONNECTION_OK) return PQerrorMessage(c.get());
  for (const std::string& sql : {"DROP DATABASE IF EXISTS " + database + " WITH (FORCE)",
                                 "CREATE DATABASE " + database + " TEMPLATE kalu_template"}) {
    PGresult* r = PQexec(c.get(), sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    std::string error = ok ? "" : PQresultErrorMessage(r);
    PQclear(r);
    if (!ok) return error;
  }
  return "";
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
