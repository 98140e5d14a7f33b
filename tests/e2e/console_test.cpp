// The program in a terminal: messages wait for Enter, the progress line is rewritten in
// place with the running step's percentage, and a line tells each step's outcome; without a
// terminal on standard input the run is unattended, logs every message and prints plain
// lines. The run's JSON report validates against the repository's schema.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "support/process.h"
#include "support/sample_store.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using namespace std::chrono_literals;

std::string Program() {
  return (test::BinaryDir() / "kalu-upgrade").string();
}

const std::vector<std::string> kStepTitles = {"Respaldo",
                                              "Cambios de esquema",
                                              "Consulta EdoCtaFolios_View",
                                              "Vehículos y operadores (Carta Porte)",
                                              "Vistas almacenadas",
                                              "Códigos postales",
                                              "Colonias",
                                              "Datos del sistema",
                                              "Datos fiscales de clientes",
                                              "Timbres de facturas",
                                              "Bases de impuestos"};

// The line that tells a step ended well: "Códigos postales ..... ok  12.3 s  95.000 filas",
// or with what it made ("Respaldo ..... ok  0.4 s  kalu_antes_… (8 MB, …)"), after a line's
// end or the erased progress line, in bold on a terminal.
std::regex StepDoneLine(const std::string& title) {
  std::string literal;
  for (char c : title) {
    if (std::string_view("()[]{}.*+?^$|\\").find(c) != std::string_view::npos) literal += '\\';
    literal += c;
  }
  return std::regex(
      "(^|\n|\x1b\\[K)(\x1b\\[1m)?" + literal +
      " \\.+ ok  [0-9]+\\.[0-9] s(  [0-9.]+ filas)?(  kalu_antes_[^\r\n\x1b]+)?(\x1b\\[0m)?\r?\n");
}

TEST(Console, MessagesWaitForEnterAndProgressIsRewrittenInPlace) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  test::PtyProcess run({Program(), "--console"});

  ASSERT_TRUE(run.WaitFor("Presione ACEPTAR para iniciar la REORGANIZACION", 20s)) << run.Output();
  ASSERT_TRUE(run.WaitFor("Presione Enter para ACEPTAR", 5s));
  // Nothing happens until the operator presses Enter.
  EXPECT_FALSE(run.WaitFor("Borrando Consulta", 1s));
  EXPECT_EQ(db.Value("select count(*) from information_schema.columns where column_name = "
                     "'cteregfisdat'"),
            "0");
  run.Type("\n");

  ASSERT_TRUE(run.WaitFor("Reorganización Versión ZIDEVURO 24.03.20 Terminada", 60s))
      << run.Output();
  run.Type("\n");
  EXPECT_EQ(run.Wait(20s), 0) << run.Output();

  const std::string& screen = run.Output();
  // Progress texts rewrite one line: a carriage return and an erase before each.
  EXPECT_NE(screen.find("\r\x1b[K\x1b[36mBorrando Consulta EdoCtaFolios_View ..."),
            std::string::npos);
  EXPECT_NE(screen.find("\r\x1b[K\x1b[36mActualización de Códigos Postales..."), std::string::npos);
  // The package steps show how far they are in their package.
  EXPECT_NE(screen.find("Sistema...\x1b[0m  \x1b[1m8 %\x1b[0m"), std::string::npos);
  EXPECT_NE(screen.find("\x1b[0m  \x1b[1m100 %\x1b[0m"), std::string::npos);
  for (const std::string& title : kStepTitles) {
    EXPECT_TRUE(std::regex_search(screen, StepDoneLine(title))) << title << "\n" << screen;
  }
}

TEST(Console, UnattendedRunShowsAndLogsEveryMessageWithoutWaiting) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  // standard input is not a terminal
  auto run = test::RunProcess({Program(), "--report", "informe.json"});
  EXPECT_EQ(run.status, 0) << run.output;
  // A line per phase, no colours, no rewriting.
  EXPECT_NE(run.output.find("[ACEPTAR] Presione ACEPTAR para iniciar la REORGANIZACION\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\nBorrando Consulta EdoCtaFolios_View ...\n"), std::string::npos);
  EXPECT_NE(run.output.find("[ACEPTAR] Reorganización Versión ZIDEVURO 24.03.20 Terminada\n"),
            std::string::npos);
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.output.find("Presione Enter"), std::string::npos);
  EXPECT_EQ(run.output.find(" %"), std::string::npos);
  for (const std::string& title : kStepTitles) {
    EXPECT_TRUE(std::regex_search(run.output, StepDoneLine(title))) << title << "\n" << run.output;
  }
  // The rows each step handled: the system data package's 5 catalogues and 42 entries.
  EXPECT_TRUE(std::regex_search(run.output,
                                std::regex("\nDatos del sistema \\.+ ok  [0-9.]+ s  47 filas\n")))
      << run.output;

  // The report: the store, every step done with its rows, the row counts before and after.
  EXPECT_EQ(test::JsonSchemaProblems("run-report.schema.json", "informe.json"), "");
  auto report = nlohmann::json::parse(test::ReadText("informe.json"));
  EXPECT_EQ(report["version"], "24.03.20");
  EXPECT_EQ(report["exit_status"], 0);
  EXPECT_EQ(report["store"], (nlohmann::json{{"region", 12}, {"unit", 1}, {"warehouse", 5}}));
  EXPECT_TRUE(report["error"].is_null());
  ASSERT_EQ(report["steps"].size(), kStepTitles.size());
  for (size_t i = 0; i < kStepTitles.size(); ++i) {
    EXPECT_EQ(report["steps"][i]["title"], kStepTitles[i]);
    EXPECT_EQ(report["steps"][i]["status"], "done");
  }
  EXPECT_EQ(report["steps"][7]["rows"], 47);
  EXPECT_EQ(report["row_counts"]["enviocfdi11"]["before"], nullptr);
  EXPECT_EQ(report["row_counts"]["vehiculos"]["after"].dump(),
            db.Value("select count(*) from vehiculos"));

  // The store's own view that the upgrade dropped: named on the console and in the report,
  // with the statement that creates it again.
  EXPECT_NE(run.output.find("\nVista de la tienda eliminada por la reorganización: "
                            "rpt_cargos_view\n"),
            std::string::npos)
      << run.output;
  ASSERT_EQ(report["dropped_views"].size(), 1u);
  EXPECT_EQ(report["dropped_views"][0]["name"], "rpt_cargos_view");
  std::string definition = report["dropped_views"][0]["definition"];
  EXPECT_EQ(definition.rfind("CREATE VIEW rpt_cargos_view AS\n SELECT ", 0), 0u) << definition;
  db.Exec(definition);
  EXPECT_EQ(db.Value("select count(*) from rpt_cargos_view"),
            db.Value("select count(distinct (regcve, unicve, almcve, ctecve)) from edocta"));

  std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Pantalla: terminal, desatendida"), std::string::npos);
  EXPECT_NE(log.find("Mensaje: Presione ACEPTAR para iniciar la REORGANIZACION"),
            std::string::npos);
  EXPECT_NE(log.find("Mensaje: Reorganización Versión ZIDEVURO 24.03.20 Terminada"),
            std::string::npos);
}

}  // namespace
}  // namespace kalu
