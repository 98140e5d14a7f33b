// What guards a run on the store: another session holding a table the upgrade changes (the
// run waits a minute at most, then ends naming that session), a second run at the same
// time (refused, nothing changed), and an interruption (SIGTERM: the run stops at a safe
// point with status 3, the log and the report saying so; Ctrl+C the same for the Windows
// build under Wine).

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/sample_store.h"
#include "support/test_support.h"
#include "support/wine_program.h"

namespace kalu {
namespace {

using namespace std::chrono_literals;

std::string Program() {
  return (test::BinaryDir() / "kalu-upgrade").string();
}

// Another program's session on the store that read `clientes` in a transaction it keeps
// open (a report left half-way): it holds ACCESS SHARE on the table until it goes.
class TableReader {
 public:
  explicit TableReader(const test::TestDatabase& db)
      : conn_(PQconnectdb((db.ConnInfo() + " application_name=caja-3").c_str()), PQfinish) {
    PGresult* res = PQexec(conn_.get(), "BEGIN; SELECT count(*) FROM clientes");
    ok_ = PQresultStatus(res) == PGRES_TUPLES_OK;
    PQclear(res);
  }
  bool Ok() const { return ok_; }
  void Leave() { conn_.reset(); }

 private:
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_;
  bool ok_ = false;
};

// Waits (a minute at most) until a session of the program waits for a lock.
bool RunWaitsForALock(const test::TestDatabase& db) {
  for (auto until = std::chrono::steady_clock::now() + 60s;
       std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(100ms)) {
    if (db.Value("SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                 "'kalu-upgrade' AND wait_event_type = 'Lock'") != "0") {
      return true;
    }
  }
  return false;
}

std::string NewColumns(const test::TestDatabase& db) {
  return db.Value(
      "SELECT count(*) FROM information_schema.columns WHERE table_name = 'clientes' AND "
      "column_name = 'cteregfisdat'");
}

TEST(RunGuard, AStatementWaitsAMinuteForAnotherSessionsLockThenTheRunEndsNamingIt) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  TableReader reader(db);
  ASSERT_TRUE(reader.Ok());

  // The copy needs the store without other sessions: this run goes without it.
  auto blocked = test::RunProcess({Program(), "--no-backup"});
  EXPECT_EQ(blocked.status, 1) << blocked.output;
  EXPECT_NE(blocked.output.find("Error 1060: Error code:  55 in  Text is: 'SQLSTATE 55P03"),
            std::string::npos)
      << blocked.output;
  EXPECT_NE(blocked.output.find("no la soltó en 60 segundos"), std::string::npos);
  EXPECT_NE(blocked.output.find("La tienen ocupada: caja-3 ("), std::string::npos)
      << blocked.output;
  EXPECT_NE(blocked.output.find("con la transacción abierta desde "), std::string::npos);
  EXPECT_NE(blocked.output.find("Cierre esa sesión (o el programa que la abrió) y vuelva a "
                                "correr kalu-upgrade. La corrida terminó con estado 1."),
            std::string::npos);
  const std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Error fatal: Error 1060: Error code:  55"), std::string::npos) << log;
  EXPECT_NE(log.find("Fin: terminada por un error (estado 1)"), std::string::npos);
  EXPECT_EQ(NewColumns(db), "0");

  // Once the other session has gone, the next run goes through.
  reader.Leave();
  auto after = test::RunProcess({Program(), "--no-backup"});
  EXPECT_EQ(after.status, 0) << after.output;
  EXPECT_EQ(NewColumns(db), "1");
}

TEST(RunGuard, ASecondRunAtTheSameTimeIsRefusedAndChangesNothing) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  // The first run waits for a table another session holds, the store lock taken.
  TableReader reader(db);
  ASSERT_TRUE(reader.Ok());
  test::BackgroundProcess first({Program(), "--no-backup"});
  ASSERT_TRUE(RunWaitsForALock(db));

  auto second = test::RunProcess({Program(), "--report", "segunda.json"});
  EXPECT_EQ(second.status, 1) << second.output;
  EXPECT_NE(second.output.find("No se actualiza la base kalu: ya hay una corrida en curso "
                               "(en el servidor de la base, iniciada el "),
            std::string::npos)
      << second.output;
  EXPECT_NE(second.output.find("esta corrida no cambió nada y termina con estado 1."),
            std::string::npos);
  auto report = nlohmann::json::parse(test::ReadText("segunda.json"));
  EXPECT_EQ(report["exit_status"], 1);
  EXPECT_TRUE(report["backup"].is_null()) << report.dump();
  EXPECT_EQ(db.Value("SELECT count(*) FROM pg_database WHERE datname LIKE 'kalu_antes_%'"), "0");

  // The first run goes on once the table is free, and ends well.
  reader.Leave();
  EXPECT_EQ(first.Kill(0), 0);
  EXPECT_EQ(NewColumns(db), "1");
}

TEST(RunGuard, SigtermStopsTheRunWithStatus3TheLogAndTheReportSayingSo) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  TableReader reader(db);
  ASSERT_TRUE(reader.Ok());
  test::BackgroundProcess run({Program(), "--no-backup", "--report", "informe.json"});
  ASSERT_TRUE(RunWaitsForALock(db));

  // The statement waiting for the lock is canceled: the run stops at once.
  EXPECT_EQ(run.Kill(SIGTERM), 3);
  const std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Fin: corrida interrumpida (estado 3)"), std::string::npos) << log;
  EXPECT_EQ(test::JsonSchemaProblems("run-report.schema.json", "informe.json"), "");
  auto report = nlohmann::json::parse(test::ReadText("informe.json"));
  EXPECT_EQ(report["exit_status"], 3);
  EXPECT_EQ(report["steps"][1]["status"], "failed");
  EXPECT_EQ(report["steps"][1]["error"], "Corrida interrumpida");
  EXPECT_EQ(NewColumns(db), "0");
}

// The Windows build (KALU_WINDOWS_PROGRAM) under Wine, which hands a SIGINT to the console
// handler as Ctrl+C: the run stops as on Linux.
TEST(RunGuard, CtrlCStopsTheWindowsBuildsRunWithStatus3) {
  std::optional<std::filesystem::path> program = test::NamedWindowsProgram();
  if (!program) GTEST_SKIP() << "no Windows build named";
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  std::string problem;
  std::vector<std::string> command = test::WindowsProgramUnderWine(*program, problem);
  ASSERT_FALSE(command.empty()) << problem;
  TableReader reader(db);
  ASSERT_TRUE(reader.Ok());
  command.insert(command.end(), {"--console", "--no-backup"});
  test::BackgroundProcess run(command);
  ASSERT_TRUE(RunWaitsForALock(db));

  EXPECT_EQ(run.Kill(SIGINT), 3);
  const std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Fin: corrida interrumpida (estado 3)"), std::string::npos) << log;
  EXPECT_EQ(NewColumns(db), "0");
}

}  // namespace
}  // namespace kalu
