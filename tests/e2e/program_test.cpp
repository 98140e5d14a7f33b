// The program as an operator runs it: options, exit statuses, the run log.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/process.h"
#include "support/sample_store.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using test::RunProcess;
using test::WorkFolder;

std::string Program() {
  return (test::BinaryDir() / "kalu-upgrade").string();
}

TEST(Program, OptionsAndExitStatuses) {
  WorkFolder wf;
  auto help = RunProcess({Program(), "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"--console", "--unattended", "--check", "--report ARCHIVO",
                           "Estado de salida", "0  actualización", "1  terminada por un error",
                           "2  argumentos", "3  el operador", "4  terminada con pasos fallidos"}) {
    EXPECT_NE(help.output.find(text), std::string::npos) << text;
  }
  auto version = RunProcess({Program(), "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "kalu-upgrade 24.03.20\n");

  auto noFile = RunProcess({Program(), "--report"});
  EXPECT_EQ(noFile.status, 2);
  EXPECT_EQ(noFile.output, "kalu-upgrade: --report necesita el nombre del archivo del informe\n");

  auto wrong = RunProcess({Program(), "--sin-esto"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.output,
            "kalu-upgrade: opción desconocida '--sin-esto' (vea kalu-upgrade --help)\n");
  auto checkNoFile = RunProcess({Program(), "--check", "--report"});
  EXPECT_EQ(checkNoFile.status, 2);
  EXPECT_EQ(checkNoFile.output, noFile.output);
}

TEST(Program, ServerThatDoesNotListenEndsWithStatusOne) {
  WorkFolder wf;
  wf.Write("Kalu.dsn", "[ODBC]\nServername=" + wf.Path().string() + "\nPort=1\n");
  auto run = RunProcess({Program(), "--unattended"});
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string expected = "Error 1060: Error code: -1 in  Text is: '";
  EXPECT_NE(run.output.find(expected), std::string::npos) << run.output;
  // The lines of the error text end as lines do on this system.
  EXPECT_NE(run.output.find("\nnative code: -1'."), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find('\r'), std::string::npos) << run.output;
  std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Mensaje: Presione ACEPTAR para iniciar la REORGANIZACION"),
            std::string::npos);
  EXPECT_NE(log.find("Error fatal: " + expected), std::string::npos) << log;
  EXPECT_NE(log.find("Fin: terminada por un error (estado 1)"), std::string::npos);
  EXPECT_EQ(log.find("t29r$HHvb"), std::string::npos);  // never the password
}

// Started outside a store's folder (no Kalu.dsn), in a folder that cannot take the log (a
// folder in its place): the run says so at once, naming the folder, before it asks to
// begin, and ends with status 1; the log goes to the user's state folder, which it names.
TEST(Program, OutsideAStoreFolderTheRunEndsAtOnceAndTheLogGoesAside) {
  WorkFolder wf;
  std::filesystem::create_directory("kalu-upgrade.log");
  const std::filesystem::path state = wf.Path() / "estado";
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  auto run = RunProcess({Program(), "--unattended", "--report", "informe.json"});
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string refusal = "No se encontró Kalu.dsn en la carpeta " + wf.Path().string() +
                              ": inicie el programa desde la carpeta de la tienda";
  const std::string aside = (state / "kalu-upgrade" / "kalu-upgrade.log").string();
  const std::string notice = "La bitácora se escribe en " + aside + ": no se puede escribir en " +
                             (wf.Path() / "kalu-upgrade.log").string();
  EXPECT_NE(run.output.find(refusal), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(notice), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("Presione ACEPTAR"), std::string::npos) << run.output;
  const std::string log = test::ReadText(aside);
  EXPECT_EQ(log.find(notice), 20u) << log;  // the first line, after its time
  EXPECT_NE(log.find("Error fatal: " + refusal), std::string::npos) << log;
  EXPECT_NE(log.find("Fin: terminada por un error (estado 1)"), std::string::npos) << log;
  auto report = nlohmann::json::parse(test::ReadText("informe.json"));
  EXPECT_EQ(report["exit_status"], 1);
  EXPECT_EQ(report["error"]["text"].get<std::string>().rfind(refusal, 0), 0u);
}

TEST(Program, UnreachableServicesEndTheRunAndASecondRunCompletesTheRefresh) {
  WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  store.Services().Stop();
  auto failed = RunProcess({Program(), "--unattended", "--report", "informe.json"});
  EXPECT_EQ(failed.status, 1) << failed.output;
  std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Error fatal: Error -10007: "), std::string::npos) << log;
  // The report says which step failed and why; the steps after it never began.
  EXPECT_EQ(test::JsonSchemaProblems("run-report.schema.json", "informe.json"), "");
  auto report = nlohmann::json::parse(test::ReadText("informe.json"));
  EXPECT_EQ(report["exit_status"], 1);
  EXPECT_EQ(report["error"]["number"], -10007);
  EXPECT_EQ(report["error"]["text"].get<std::string>().rfind("Error -10007: ", 0), 0u);
  std::vector<std::string> states;
  for (const auto& step : report["steps"]) states.push_back(step["status"]);
  EXPECT_EQ(states,
            (std::vector<std::string>{"done", "done", "done", "failed", "waiting", "waiting",
                                      "waiting", "waiting", "waiting", "waiting", "waiting"}));
  EXPECT_EQ(report["steps"][3]["error"], report["error"]["text"]);
  EXPECT_EQ(report["row_counts"]["vehiculos"]["after"], nullptr);
  EXPECT_EQ(db.Value("select ctrfecsat from control where ctrreg = 12"), "2024-03-19");
  EXPECT_EQ(db.Value("select count(*) from vehiculos"), "0");

  store.Services().Start();
  store.WritePackages();
  auto second = RunProcess({Program(), "--unattended"});
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_EQ(db.Value("select ctrfecsat from control where ctrreg = 12"), "2024-03-20");
  EXPECT_NE(db.Value("select count(*) from vehiculos where vehlocal = 1"), "0");
}

// A package that cannot be read fails its step, the other steps are done, and the run ends
// with a status of its own; a run with a good package then loads the catalogue.
TEST(Program, DamagedPackageFailsItsStepAndTheRunEndsWithStatusFour) {
  WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  {
    std::fstream package("Importar/CATCOLONIAS.XMZ",
                         std::ios::in | std::ios::out | std::ios::binary);
    package.seekg(0, std::ios::end);
    package.seekp(static_cast<std::streamoff>(package.tellg()) / 2);
    package.write(std::string(40, '\0').data(), 40);
  }
  auto damaged = RunProcess({Program(), "--unattended", "--report", "informe.json"});
  EXPECT_EQ(damaged.status, 4) << damaged.output;
  EXPECT_NE(damaged.output.find("Colonias ............................... falló"),
            std::string::npos)
      << damaged.output;
  EXPECT_NE(damaged.output.find("No se pudo leer el paquete CATCOLONIAS.XMZ"), std::string::npos)
      << damaged.output;
  EXPECT_EQ(test::JsonSchemaProblems("run-report.schema.json", "informe.json"), "");
  auto report = nlohmann::json::parse(test::ReadText("informe.json"));
  EXPECT_EQ(report["exit_status"], 4);
  std::vector<std::string> states;
  for (const auto& step : report["steps"]) states.push_back(step["status"]);
  EXPECT_EQ(states, (std::vector<std::string>{"done", "done", "done", "done", "done", "done",
                                              "failed", "done", "done", "done", "done"}));
  const std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Mensaje: ERROR -3: Se tratara de desencriptar"), std::string::npos) << log;
  EXPECT_NE(log.find("  Colonias falló: No se pudo leer el paquete CATCOLONIAS.XMZ"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Fin: terminada con pasos fallidos (estado 4)"), std::string::npos) << log;
  EXPECT_EQ(db.Value("select count(*) from colonias"), "0");

  store.WritePackages();
  auto again = RunProcess({Program(), "--unattended"});
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_NE(db.Value("select count(*) from colonias"), "0");
}

TEST(Program, ServicePortOutOfRangeEndsTheRunBeforeAnyServiceCall) {
  WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  wf.Write("location.xml", test::LocationXml(70000, store.Services().Port()));
  auto run = RunProcess({Program(), "--unattended"});
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string message =
      "Error 5: Puerto no válido en location.xml para la ubicación "
      "\"morvel25_ws_vehiculos_cartaporte_v3\": \"70000\" (debe ser un número de 1 a 65535)";
  EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
  EXPECT_NE(test::ReadText("kalu-upgrade.log").find("Error fatal: " + message), std::string::npos);
  EXPECT_FALSE(store.Services().Requested());
  EXPECT_EQ(db.Value("select ctrfecsat from control where ctrreg = 12"), "2024-03-19");
}

}  // namespace
}  // namespace kalu
