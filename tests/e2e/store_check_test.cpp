// kalu-upgrade --check as the operator and the chain's tools use it: the table on the
// terminal, the exit status, the JSON report against its schema, and a store left exactly
// as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "packages/package_format.h"
#include "support/process.h"
#include "support/sample_store.h"
#include "support/standin.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using test::RunProcess;

std::string Program() {
  return (test::BinaryDir() / "kalu-upgrade").string();
}

// The table's line of a check, found by its title at the start of a line.
std::string LineOf(const std::string& output, const std::string& title) {
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(title + " ", 0) == 0) return line;
  }
  return "";
}

// Validates a report with Debian's python3-jsonschema; empty when valid, else the reason.
std::string SchemaErrors(const std::string& report) {
  auto run =
      RunProcess({"/usr/bin/python3", "-c",
                  "import json, sys, jsonschema\n"
                  "schema = json.load(open(sys.argv[1]))\n"
                  "jsonschema.Draft202012Validator.check_schema(schema)\n"
                  "jsonschema.validate(json.load(open(sys.argv[2])), schema)\n",
                  (test::SourceDir() / "schemas" / "check-report.schema.json").string(), report});
  return run.status == 0 ? "" : "status " + std::to_string(run.status) + ": " + run.output;
}

nlohmann::json Report(const std::string& path) {
  return nlohmann::json::parse(test::ReadText(path), nullptr, false);
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const char* const kTitles[] = {"Kalu.dsn",
                               "Base de datos",
                               "Versión de la base",
                               "Tienda en CONTROL",
                               "Paquete CP_SAT_CFDI33.XMZ",
                               "Paquete CATCOLONIAS.XMZ",
                               "Paquete SQLPG.XMZ",
                               "Paquete DATOS.XMZ",
                               "SQLPG.XMZ en la carpeta",
                               "Registro del sistema",
                               "location.xml",
                               "Servicio de vehículos",
                               "Servicio de operadores",
                               "Espacio en disco",
                               "Copia de respaldo: permiso",
                               "Copia de respaldo: espacio",
                               "Sesiones conectadas",
                               "Cambios después de la actualización"};

TEST(StoreCheck, SampleStoreIsReadyAndNothingChanges) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  const std::string before = db.Dump();
  const std::string package = test::ReadText("Importar/DATOS.XMZ");

  auto run = RunProcess({Program(), "--check", "--report", "check.json"});
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* title : kTitles) {
    // The sandbox's role may not read the data directory: the copy's room is not a problem
    // the check can find, nor an "ok".
    const bool room = std::string_view(title) == "Copia de respaldo: espacio";
    EXPECT_NE(
        LineOf(run.output, title).find(room ? " sin comprobar  espacio sin comprobar: " : " ok "),
        std::string::npos)
        << title << "\n"
        << run.output;
  }
  EXPECT_NE(LineOf(run.output, "Versión de la base").find("anterior a 24.03.20: 0 de 16"),
            std::string::npos)
      << run.output;
  EXPECT_NE(LineOf(run.output, "Tienda en CONTROL").find("región 12"), std::string::npos);
  // The check's own session is not one of the sessions connected to the store.
  EXPECT_NE(LineOf(run.output, "Sesiones conectadas").find("ninguna otra sesión en kalu"),
            std::string::npos)
      << run.output;
  EXPECT_NE(LineOf(run.output, "Copia de respaldo: permiso").find("CREATEDB, dueño de la base"),
            std::string::npos)
      << run.output;
  EXPECT_NE(LineOf(run.output, "Servicio de vehículos").find(" sin proxy"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("La tienda está lista"), std::string::npos);

  // Nothing changed: the database, the packages as they came.
  EXPECT_EQ(db.Dump(), before);
  EXPECT_EQ(test::ReadText("Importar/DATOS.XMZ"), package);

  EXPECT_EQ(SchemaErrors("check.json"), "");
  auto report = Report("check.json");
  EXPECT_EQ(report["ok"], true);
  EXPECT_EQ(report["store"]["region"], 12);
  EXPECT_EQ(report["checks"].size(), std::size(kTitles));
  EXPECT_EQ(report["checks"][5]["id"], "package:CATCOLONIAS.XMZ");
  EXPECT_EQ(report["checks"][5]["rows"],
            Occurrences(test::PackageFixture("CATCOLONIAS.xml"), "<RowColonia>"));

  // After the upgrade the same store shows as already at the release, its packages as
  // plain XML left by the run.
  ASSERT_EQ(RunProcess({Program(), "--unattended"}).status, 0);
  auto again = RunProcess({Program(), "--check"});
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_NE(LineOf(again.output, "Versión de la base").find("ya en 24.03.20: 16 de 16"),
            std::string::npos)
      << again.output;
  EXPECT_NE(LineOf(again.output, "Paquete DATOS.XMZ").find("XML ya descomprimido"),
            std::string::npos)
      << again.output;
}

// A data source that names a database the server does not have: the check and the run say
// so, naming the server, and what needs the connection says it has none.
TEST(StoreCheck, AStoreDatabaseThatDoesNotExistIsNamedWithItsServer) {
  test::WorkFolder wf;
  test::SampleStore store;  // and no database kalu on the server
  const std::string said = "la base kalu no existe en el servidor socket local ";
  auto check = RunProcess({Program(), "--check"});
  EXPECT_EQ(check.status, 1) << check.output;
  EXPECT_NE(LineOf(check.output, "Base de datos").find(said), std::string::npos) << check.output;
  for (const char* title :
       {"Copia de respaldo: permiso", "Copia de respaldo: espacio", "Sesiones conectadas"}) {
    const std::string line = LineOf(check.output, title);
    EXPECT_NE(line.find(" problema "), std::string::npos) << check.output;
    EXPECT_NE(line.find("sin conexión a la base de datos"), std::string::npos) << check.output;
  }
  auto run = RunProcess({Program(), "--unattended"});
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("No se puede actualizar la base kalu: " + said), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("revise Kalu.dsn"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("--no-backup"), std::string::npos) << run.output;
}

// The services at an address only a proxy knows, with the proxy named in location.xml.
TEST(StoreCheck, ServicesReachedThroughTheProxyOfLocationXml) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  const std::filesystem::path portFile = wf.Path() / "proxy.port";
  const std::filesystem::path record = wf.Path() / "proxy.requests";
  test::BackgroundProcess proxy(
      {"/usr/bin/python3", (test::SourceDir() / "tests" / "support" / "forward_proxy.py").string(),
       "--port-file", portFile.string(), "--record", record.string()});
  for (int i = 0; i < 200 && !std::filesystem::exists(portFile); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(std::filesystem::exists(portFile)) << "the proxy did not start";
  const std::string proxyUrl = "http://127.0.0.1:" + test::ReadText(portFile);
  const int port = store.Services().Port();
  std::ofstream("location.xml") << test::LocationXml(
      port, port, "<host>transporte.prueba.invalid</host><proxy>" + proxyUrl + "</proxy>");

  auto run = RunProcess({Program(), "--check"});
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* title : {"Servicio de vehículos", "Servicio de operadores"}) {
    EXPECT_NE(LineOf(run.output, title).find("responde (HTTP"), std::string::npos) << run.output;
    EXPECT_NE(LineOf(run.output, title).find("por el proxy " + proxyUrl), std::string::npos)
        << run.output;
  }
  EXPECT_NE(test::ReadText(record).find(
                "GET http://transporte.prueba.invalid:" + std::to_string(port) + "/"),
            std::string::npos);
}

TEST(StoreCheck, EachFaultIsNamedOnItsLineAndEndsWithStatusOne) {
  struct Case {
    const char* fault;
    std::function<void(test::SampleStore&)> apply;
    const char* title;   // the line that shows the problem
    const char* reason;  // part of its detail
    const char* id;      // the check in the report
  };
  std::unique_ptr<test::BackgroundProcess> psql;  // a session held open on the store
  const std::vector<Case> cases = {
      {"database stopped",
       [](test::SampleStore&) {
         std::ofstream("Kalu.dsn")
             << "[ODBC]\nServername=" << std::filesystem::current_path().string() << "\nPort=1\n";
       },
       "Base de datos", "Error code: -1", "database"},
      {"Kalu.dsn without its section",
       [](test::SampleStore&) { std::ofstream("Kalu.dsn") << "Servername=127.0.0.1\nPort=5432\n"; },
       "Kalu.dsn", "no tiene la sección [ODBC]", "dsn"},
      {"damaged package",
       [](test::SampleStore&) {
         std::ofstream("Importar/DATOS.XMZ", std::ios::binary)
             << std::string("\x10\x27\x00\x00", 4) + "dañado en el camino";
       },
       "Paquete DATOS.XMZ", "no se puede descomprimir", "package:DATOS.XMZ"},
      {"package not well-formed",
       [](test::SampleStore&) {
         auto bytes = PackDocument("<DATOS><Modo>0</Modo><DATO></DATOS>");
         std::ofstream("Importar/DATOS.XMZ", std::ios::binary)
             .write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::streamsize>(bytes.size()));
       },
       "Paquete DATOS.XMZ", "XML mal formado", "package:DATOS.XMZ"},
      {"SQLPG.XMZ missing", [](test::SampleStore&) { std::filesystem::remove("SQLPG.XMZ"); },
       "SQLPG.XMZ en la carpeta", "no existe", "views_file"},
      {"services down", [](test::SampleStore& s) { s.Services().Stop(); }, "Servicio de vehículos",
       "no responde", "service:vehicles"},
      {"registry without its user",
       [](test::SampleStore&) {
         std::ofstream("registry.reg")
             << "Windows Registry Editor Version 5.00\r\n\r\n"
                "[HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion]\r\n"
                "\"Sistema\"=\"KaluBO\"\r\n";
       },
       "Registro del sistema", "falta \"UserLogin\"", "registry"},
      {"registry not in the export format",
       [](test::SampleStore&) { std::ofstream("registry.reg") << "Sistema=KaluBO\r\n"; },
       "Registro del sistema", "formato no válido en", "registry"},
      {"a session connected to the store",
       [&](test::SampleStore&) {
         psql = std::make_unique<test::BackgroundProcess>(std::vector<std::string>{
             (test::SourceDir() / "scripts" / "pg-sandbox").string(), "psql",
             test::SandboxDir().string(), "kalu", "-c", "SELECT pg_sleep(600)"});
         test::TestDatabase::WaitForSession("kalu", "psql");
       },
       "Sesiones conectadas", "1 sesión: «psql» del usuario zovizazir", "sessions"},
  };
  test::TestDatabase db("kalu");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    test::WorkFolder wf;
    test::SampleStore store;
    c.apply(store);
    auto run = RunProcess({Program(), "--check", "--report", "check.json"});
    EXPECT_EQ(run.status, 1) << run.output;
    std::string line = LineOf(run.output, c.title);
    EXPECT_NE(line.find(" problema "), std::string::npos) << run.output;
    EXPECT_NE(line.find(c.reason), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("La tienda NO está lista"), std::string::npos);
    EXPECT_NE(
        test::ReadText("kalu-upgrade.log").find("Revisión: problema en " + std::string(c.title)),
        std::string::npos);
    EXPECT_EQ(SchemaErrors("check.json"), "");
    auto report = Report("check.json");
    EXPECT_EQ(report["ok"], false);
    EXPECT_EQ(report["exit_status"], 1);
    for (const auto& check : report["checks"]) {
      if (check["id"] == c.id) {
        EXPECT_EQ(check["status"], "problem");
      }
    }
    psql.reset();
  }
}

}  // namespace
}  // namespace kalu
