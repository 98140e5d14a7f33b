// The complete upgrade of the sample store, run as the operator runs it: every table and
// view the upgrade changes is compared with the expected result kept in
// fixtures/expected/store_after.txt (dates of the day, load times and the workstation's
// name masked). Generated stores of varied shape are compared in the same way with
// fixtures/expected/golden/<shape>.txt. Set KALU_UPDATE_EXPECTED=1 to write these files
// anew from a run. A run killed at any moment, or stopped at any failure point of a test
// build, and run again ends where one uninterrupted run ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "gen/sandbox.h"
#include "run/steps.h"
#include "runtime/failure_point.h"
#include "support/generated_store.h"
#include "support/process.h"
#include "support/sample_store.h"
#include "support/second_server.h"
#include "support/store_under_test.h"
#include "support/test_support.h"
#include "support/wine_program.h"

namespace kalu {
namespace {

using test::TestDatabase;

// A value of the day shows as <hoy>; the day's time stamps as <hoy> too.
std::string Day(const std::string& column) {
  return "CASE WHEN " + column + "::date = current_date THEN '<hoy>' ELSE " + column + "::text END";
}

struct Section {
  std::string title;
  std::string sql;
};

std::vector<Section> Sections() {
  return {
      {"canales", "SELECT * FROM canales ORDER BY cancve"},
      {"clientes", "SELECT * FROM clientes ORDER BY regcve, unicve, almcve, cancve, ctecve"},
      {"histcli", "SELECT * FROM histcli ORDER BY regcve, unicve, almcve, cancve, ctecve, ctehist"},
      {"estados", "SELECT * FROM estados ORDER BY edocve"},
      {"codigopostal", "SELECT * FROM codigopostal ORDER BY cpcve"},
      {"colonias", "SELECT * FROM colonias ORDER BY cpcve, colonia"},
      {"documentos", "SELECT * FROM documentos ORDER BY regcve, unicve, almcve, docord"},
      {"docdeta", "SELECT * FROM docdeta ORDER BY regcve, unicve, almcve, docord, docren"},
      {"enviocfdi", "SELECT * FROM enviocfdi ORDER BY regcve, unicve, almcve, envioord"},
      {"enviocfdi1", "SELECT * FROM enviocfdi1 ORDER BY 1, 2, 3, 4, 5"},
      {"enviocfdi11", "SELECT * FROM enviocfdi11 ORDER BY 1, 2, 3, 4, 5"},
      {"vehiculos", "SELECT * FROM vehiculos ORDER BY vehplacas"},
      {"operadorveh", "SELECT * FROM operadorveh ORDER BY opevrfc"},
      {"control", "SELECT * FROM control ORDER BY ctrreg, ctruni, ctralm"},
      {"datos", "SELECT datnoca, datdesca, datuser, " + Day("datdate") + ", " + Day("dattime") +
                    " FROM datos ORDER BY datnoca"},
      {"datos1", "SELECT * FROM datos1 ORDER BY datnoca, datcve"},
      {"vistapg", "SELECT vistaid, vistaname, vistabody, " + Day("vistadate") +
                      " FROM vistapg ORDER BY vistaid"},
      {"logsystem", "SELECT DISTINCT loguser, " + Day("logdate") + ", " + Day("logtime") +
                        ", logobjname, logmode FROM logsystem ORDER BY 1, 2, 3, 4, 5"},
      {"vistas",
       "SELECT viewname, definition FROM pg_views WHERE schemaname = 'public' "
       "ORDER BY viewname"},
      {"edoctafolios_view", "SELECT * FROM edoctafolios_view"},
      {"columnas",
       "SELECT table_name, column_name, data_type, character_maximum_length, "
       "numeric_precision, numeric_scale FROM information_schema.columns WHERE table_schema = "
       "'public' AND table_name IN (SELECT table_name FROM information_schema.tables WHERE "
       "table_type = 'BASE TABLE' AND table_schema = 'public') ORDER BY table_name, "
       "ordinal_position"},
  };
}

// The views of a dump, by name: each entry of its section "vistas" is "name|definition",
// its definition over as many lines as the server writes it.
std::map<std::string, std::string> Views(const std::string& dump) {
  std::map<std::string, std::string> views;
  std::istringstream in(dump);
  std::string line, name;
  bool inViews = false;
  const std::regex entry("([a-z0-9_]+)\\|(.*)");
  std::smatch match;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) {
      inViews = line == "## vistas";
    } else if (inViews && std::regex_match(line, match, entry)) {
      name = match[1];
      views[name] = match[2];
    } else if (inViews && !name.empty()) {
      views[name] += "\n" + line;
    }
  }
  return views;
}

// Whether the server reads `definition` as the query of the view `name`: a view made of it
// (in a transaction never committed) is written back alike.
bool SameView(const TestDatabase& db, const std::string& name, const std::string& definition) {
  const std::string query = definition.substr(0, definition.rfind(';'));
  return db.Value("BEGIN; CREATE SCHEMA kalu_expected; CREATE VIEW kalu_expected.\"" + name +
                  "\" AS " + query + "; SELECT pg_get_viewdef('kalu_expected.\"" + name +
                  "\"'::regclass) = pg_get_viewdef('public.\"" + name + "\"'::regclass)") == "t";
}

// The dump of the upgraded store. A view's definition is written by the server, and each
// version writes its own way (from PostgreSQL 16 on, the columns of a query over a single
// relation go without its name): a view that reads otherwise than in `expected` but that
// the server takes for the same query shows as there, so that one expected dump holds on
// every version.
std::string Dump(const TestDatabase& db, const std::string& expected = "") {
  const auto expectedViews = Views(expected);
  std::string out;
  for (const auto& section : Sections()) {
    out += "## " + section.title + "\n";
    for (std::string row : db.Rows(section.sql)) {
      if (section.title == "vistas") {
        const std::string name = row.substr(0, row.find('|'));
        const auto view = expectedViews.find(name);
        if (view != expectedViews.end() && row != name + "|" + view->second &&
            SameView(db, name, view->second)) {
          row = name + "|" + view->second;
        }
      }
      out += row + "\n";
    }
  }
  return out;
}

// The sections of a dump named in `names` (`named` true) or all the others (false).
std::string Sections(const std::string& dump, const std::vector<std::string>& names, bool named) {
  std::istringstream in(dump);
  std::string line, out;
  bool keep = !named;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) {
      keep = (std::find(names.begin(), names.end(), line.substr(3)) != names.end()) == named;
    }
    if (keep) out += line + "\n";
  }
  return out;
}

// Compares the dump of `db` with the expected file, or writes the file anew when asked to.
void ExpectDump(const TestDatabase& db, const std::filesystem::path& expectedPath) {
  if (const char* update = std::getenv("KALU_UPDATE_EXPECTED"); update && *update == '1') {
    std::filesystem::create_directories(expectedPath.parent_path());
    std::ofstream(expectedPath) << Dump(db);
  }
  const std::string expected = test::ReadText(expectedPath);
  EXPECT_EQ(Dump(db, expected), expected) << expectedPath;
}

std::string Program() {
  return (test::BinaryDir() / "kalu-upgrade").string();
}

TEST(CompleteUpgrade, SampleStoreEndsAsExpectedAndASecondRunKeepsIt) {
  test::WorkFolder wf;
  TestDatabase db("kalu");
  test::SampleStore store;
  const std::string program = Program();
  const auto expectedPath = test::SourceDir() / "fixtures" / "expected" / "store_after.txt";

  auto first = test::RunProcess({program, "--unattended"});
  ASSERT_EQ(first.status, 0) << first.output;
  ExpectDump(db, expectedPath);

  // The second run passes over what is in place. It empties the Carta Porte tables again
  // and fills them again from the services, though the business date is the same.
  EXPECT_TRUE(store.Services().Requested());
  store.Services().ForgetRequests();
  auto second = test::RunProcess({program, "--unattended"});
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_TRUE(store.Services().Requested());
  ExpectDump(db, expectedPath);

  std::string log = test::ReadText("kalu-upgrade.log");
  for (const char* text :
       {"Mensaje: Presione ACEPTAR para iniciar la REORGANIZACION",
        "Mensaje: Reorganización Versión ZIDEVURO 24.03.20 Terminada",
        "Borrando Consulta EdoCtaFolios_View ...", "PACTUALIZASAT: terminado",
        "PCARGAVISTASPG: terminado", "PCONSULTASPG B: terminado", "PCONSULTASPG C: terminado",
        "PCARGACP_SAT: terminado", "PCARGACATCOLONIAS: terminado",
        "PCARGADATOSDELSISTEMA: terminado", "PCARDATOSFISCAL: terminado",
        "POBTFACSTIMBRE: terminado", "U1315S1: terminado",
        "Resumen de la corrida:", "Fin: actualización terminada (estado 0)"}) {
    EXPECT_NE(log.find(text), std::string::npos) << text;
  }
  // The store's own report on the statement view went with the drop of the view, and the
  // package does not create it again: the first run names it with the statement that
  // creates it again, and in its summary (which the window shows); the second finds none.
  const std::string notice = "Vista de la tienda eliminada por la reorganización: rpt_cargos_view";
  EXPECT_NE(log.find(notice + "\nCREATE VIEW rpt_cargos_view AS\n SELECT "), std::string::npos)
      << log;
  EXPECT_TRUE(std::regex_search(log, std::regex("Resumen de la corrida:\n[-0-9: ]+  " + notice)))
      << log;
  size_t times = 0;
  for (size_t at = log.find(notice); at != std::string::npos; at = log.find(notice, at + 1)) {
    ++times;
  }
  EXPECT_EQ(times, 2u) << log;

  // The summary gives each phase its time, rows, rows per second and round trips.
  for (const char* phase : {"PCARGACP_SAT", "PCARGACATCOLONIAS", "PCARDATOSFISCAL"}) {
    const std::regex line(std::string(" {2}") + phase +
                          " +[0-9]+\\.[0-9]{3} s +[1-9][0-9]* filas +[0-9]+ filas/s +[1-9][0-9]* "
                          "viajes\n");
    EXPECT_TRUE(std::regex_search(log, line)) << phase;
  }
}

// A store ready for the upgrade, laid out afresh in a new working folder: the store
// database "kalu" and the store's folder and services, by name ("sample", "plain@0.1").
struct FreshStore {
  explicit FreshStore(const std::string& name) : files(test::LayOutStore(name, db)) {}
  test::WorkFolder folder;
  TestDatabase db{"kalu"};
  std::unique_ptr<test::StoreUnderTest> files;
};

// Waits until the run log of the working folder holds `text`: false when the run ended
// before.
bool WaitForLogLine(test::BackgroundProcess& run, const std::string& text) {
  while (run.Running()) {
    if (test::ReadText("kalu-upgrade.log").find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// The system data of mode 1: a second load purges entries that the first load left
// orphaned no longer, so it may stand as after one load or as after two.
const std::vector<std::string> kSystemData = {"datos", "datos1", "logsystem"};

// How a run is stopped before its end: killed (SIGKILL) once the run log shows `logLine`
// and `after` more have passed, or, in a test build, ended at the failure point `point`
// (runtime/failure_point.h), which reaches its moment every time.
struct Stop {
  std::string logLine;
  std::chrono::milliseconds after{};
  std::string point;
};
Stop AtLogLine(const std::string& line, std::chrono::milliseconds after = {}) {
  return {line, after, ""};
}
Stop AtPoint(const std::string& point) {
  return {"", {}, point};
}

// The packages of a store's folder Importar/, which is all it holds after a run.
const std::vector<std::string> kPackages = {"CATCOLONIAS.XMZ", "CP_SAT_CFDI33.XMZ", "DATOS.XMZ",
                                            "SQLPG.XMZ"};

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Stops the run of the working folder as `stop` says.
void StopRun(const Stop& stop) {
  if (stop.point.empty()) {
    test::BackgroundProcess run({Program(), "--unattended"});
    EXPECT_TRUE(WaitForLogLine(run, stop.logLine)) << "the run ended before";
    std::this_thread::sleep_for(stop.after);
    EXPECT_EQ(run.Kill(), 128 + SIGKILL);
    return;
  }
  setenv(kFailurePointVariable, stop.point.c_str(), 1);
  auto run = test::RunProcess({Program(), "--unattended"});
  unsetenv(kFailurePointVariable);
  EXPECT_EQ(run.status, kFailurePointExitStatus) << "the point was not reached\n" << run.output;
}

// On the store named `name`, the upgrade stopped at each of `stops` and then run again to
// its end gives the database of one uninterrupted run, views included, and leaves nothing
// but the packages in Importar/.
void ExpectStoppedRunsEndAsOneRun(const std::string& name, const std::vector<Stop>& stops) {
  std::string once, twice;
  {
    FreshStore store(name);
    auto first = test::RunProcess({Program(), "--unattended"});
    ASSERT_EQ(first.status, 0) << first.output;
    once = Dump(store.db);
    auto second = test::RunProcess({Program(), "--unattended"});
    ASSERT_EQ(second.status, 0) << second.output;
    twice = Dump(store.db);
  }
  for (const Stop& stop : stops) {
    SCOPED_TRACE("stopped at " + (stop.point.empty() ? stop.logLine : stop.point));
    FreshStore store(name);
    StopRun(stop);
    // Stopped anywhere, the store keeps the catalogue tables the release drops and creates
    // again.
    EXPECT_EQ(store.db.Value("select count(*) from pg_tables where tablename in "
                             "('codigopostal', 'colonias')"),
              "2");
    auto again = test::RunProcess({Program(), "--unattended"});
    EXPECT_EQ(again.status, 0) << again.output;
    if (again.status != 0) continue;
    std::string after = Dump(store.db);
    EXPECT_EQ(Sections(after, kSystemData, false), Sections(once, kSystemData, false));
    std::string system = Sections(after, kSystemData, true);
    EXPECT_TRUE(system == Sections(once, kSystemData, true) ||
                system == Sections(twice, kSystemData, true))
        << system;
    EXPECT_EQ(FilesIn(store.folder.Path() / "Importar"), kPackages);
  }
}

// The Windows build (KALU_WINDOWS_PROGRAM names its kalu-upgrade.exe) upgrades the sample
// store under Wine as the Linux build does: it reaches the sandbox over TCP 127.0.0.1 (a
// sandbox started with KALU_PG_TCP=1) and reads the store system's values from the registry
// of its Wine prefix, into which the registry file of the store is imported as a registry
// editor export. CTest runs it as CompleteUpgrade.SampleStoreOnWindowsUnderWine. Its
// standard input is not a console and it is given no option: a night job's run, which
// nobody answers, ends by itself.
TEST(CompleteUpgrade, SampleStoreThroughTheWindowsBuildUnderWine) {
  std::optional<std::filesystem::path> program = test::NamedWindowsProgram();
  if (!program) GTEST_SKIP() << "no Windows build named";
  test::WorkFolder wf;
  TestDatabase db("kalu");
  test::SampleStore store;
  std::string problem;
  std::vector<std::string> command = test::WindowsProgramUnderWine(*program, problem);
  ASSERT_FALSE(command.empty()) << problem;
  // As on a store's PC: one package held open the whole run by another program (an
  // antivirus scanner), one read-only (copied from a medium). Both catalogues load; the
  // read-only one is rewritten, the held one keeps its bytes.
  const std::filesystem::path held = wf.Path() / "Importar" / "CP_SAT_CFDI33.XMZ";
  const std::string heldBytes = test::ReadText(held);
  std::string heldOnWindows = "Z:" + held.string();  // Wine's drive Z: is the Linux root
  std::replace(heldOnWindows.begin(), heldOnWindows.end(), '/', '\\');
  test::BackgroundProcess holder(
      {command[0], (program->parent_path() / "hold_file.exe").string(), heldOnWindows, "600"});
  for (int i = 0; i < 300 && !std::filesystem::exists(held.string() + ".held"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(std::filesystem::exists(held.string() + ".held"));
  std::filesystem::remove(held.string() + ".held");
  const std::filesystem::path readOnly = wf.Path() / "Importar" / "CATCOLONIAS.XMZ";
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);

  auto run = test::RunProcess(command);
  ASSERT_EQ(run.status, 0) << run.output;
  ExpectDump(db, test::SourceDir() / "fixtures" / "expected" / "store_after.txt");
  const std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Pantalla: ventana, desatendida"), std::string::npos) << log;
  EXPECT_NE(log.find("Fin: actualización terminada (estado 0)"), std::string::npos) << log;
  EXPECT_NE(log.find("Aviso: no se pudo reescribir el paquete .\\Importar\\CP_SAT_CFDI33.XMZ"),
            std::string::npos)
      << log;
  EXPECT_EQ(test::ReadText(held), heldBytes);
  EXPECT_EQ(test::ReadText(readOnly).rfind("<?xml", 0), 0u);
  holder.Kill();
}

TEST(CompleteUpgrade, RunKilledAtAnyMomentAndRunAgainEndsAsOneRun) {
  std::vector<Stop> stops;
  for (const char* line :
       {"Mensaje: Presione ACEPTAR", "PACTUALIZASAT: inicio", "PCARGAVISTASPG: inicio",
        "PCARGACP_SAT: inicio", "PCARGADATOSDELSISTEMA: inicio", "U1315S1: inicio"}) {
    stops.push_back(AtLogLine(line));
  }
  ExpectStoppedRunsEndAsOneRun("sample", stops);
}

// The same on a generated store of a tenth of a large store's size, killed while its
// batches are being written.
TEST(CompleteUpgrade, RunKilledInTheMiddleOfLargePhasesEndsAsOneRun) {
  std::vector<Stop> stops;
  for (const char* line :
       {"PCARGACATCOLONIAS: inicio", "POBTFACSTIMBRE: inicio", "U1315S1: inicio"}) {
    stops.push_back(AtLogLine(line, std::chrono::milliseconds(150)));
  }
  ExpectStoppedRunsEndAsOneRun("plain@0.1", stops);
}

// The moments at which a run can be stopped on the way: the start of every step ...
std::vector<Stop> StepStarts() {
  std::vector<Stop> stops;
  for (const StepInfo& step : kStepTable) {
    stops.push_back(AtPoint(std::string("step:") + step.reportKey));
  }
  return stops;
}

// ... and the windows between two changes that belong together: views dropped and not yet
// created again, a package written whole and not yet renamed over the former one, a batch
// copied and not yet applied, applied and not yet committed. `batches` names the batch of
// each writer to stop at ("P13465:2": its second batch).
std::vector<Stop> Windows(const std::vector<std::string>& batches) {
  std::vector<Stop> stops;
  for (const char* views : {"EdoCtaFolios_View", "SQLPG.XMZ"}) {
    stops.push_back(AtPoint(std::string("views-dropped:") + views));
  }
  stops.push_back(AtPoint("statement-sent:schema:6"));  // both catalogue tables dropped
  for (const std::string& package : kPackages) stops.push_back(AtPoint("file-written:" + package));
  for (const char* moment : {"batch-copied:", "batch-applied:"}) {
    for (const std::string& batch : batches) stops.push_back(AtPoint(moment + batch));
  }
  return stops;
}

TEST(CompleteUpgrade, RunStoppedAtEveryFailurePointAndRunAgainEndsAsOneRun) {
#ifndef KALU_FAILURE_POINTS
  GTEST_SKIP() << "the failure points need a build with -DKALU_FAILURE_POINTS=ON";
#endif
  std::vector<Stop> stops = StepStarts();
  for (Stop& stop :
       Windows({"P13465:1", "P14944:1", "P15096:1", "kalu_facstimbre:1", "kalu_basesenvio:1"})) {
    stops.push_back(std::move(stop));
  }
  ExpectStoppedRunsEndAsOneRun("sample", stops);
}

// The same on a generated store, in two tests for their time: each writer is stopped at a
// batch after others were committed, where it has more than one.
const char* const kGeneratedStore = "plain@0.05";

TEST(CompleteUpgrade, GeneratedStoreStoppedAtEveryStepStartEndsAsOneRun) {
#ifndef KALU_FAILURE_POINTS
  GTEST_SKIP() << "the failure points need a build with -DKALU_FAILURE_POINTS=ON";
#endif
  ExpectStoppedRunsEndAsOneRun(kGeneratedStore, StepStarts());
}

TEST(CompleteUpgrade, GeneratedStoreStoppedInEveryWindowEndsAsOneRun) {
#ifndef KALU_FAILURE_POINTS
  GTEST_SKIP() << "the failure points need a build with -DKALU_FAILURE_POINTS=ON";
#endif
  ExpectStoppedRunsEndAsOneRun(
      kGeneratedStore,
      Windows({"P13465:1", "P14944:2", "P15096:1", "kalu_facstimbre:2", "kalu_basesenvio:2"}));
}

// --- The way back: the copy before the run, --rollback and the refusals -----------------

// The copies and failed databases kept of the store "kalu", by name.
std::vector<std::string> Kept(const TestDatabase& db) {
  return db.Rows(
      "SELECT datname FROM pg_database WHERE strpos(datname, 'kalu_antes_') = 1 OR "
      "strpos(datname, 'kalu_fallida_') = 1 ORDER BY datname");
}

bool Upgraded(const TestDatabase& db) {
  return db.Value("SELECT count(*) FROM pg_class WHERE relname = 'enviocfdi11'") == "1";
}

nlohmann::json JsonOf(const std::string& path) {
  return nlohmann::json::parse(test::ReadText(path), nullptr, false);
}

bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The line of `text` that holds `part`.
std::string LineWith(const std::string& text, const std::string& part) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (Holds(line, part)) return line;
  }
  return "";
}

TEST(WayBack, RollbackPutsTheStoreBackAsItWasBeforeTheRun) {
  FreshStore store("plain@0.01");
  const std::string before = store.db.Dump();
  auto run = test::RunProcess({Program(), "--unattended", "--report", "corrida.json"});
  ASSERT_EQ(run.status, 0) << run.output;

  // The copy, named in the report, the run log and the console's line of its step.
  EXPECT_EQ(test::JsonSchemaProblems("run-report.schema.json", "corrida.json"), "");
  const nlohmann::json report = JsonOf("corrida.json");
  const nlohmann::json& backup = report["backup"];
  ASSERT_EQ(backup["status"], "made") << report.dump(2);
  const std::string copy = backup["name"];
  EXPECT_EQ(copy.rfind("kalu_antes_24_03_20_", 0), 0u) << copy;
  EXPECT_GT(backup["size_bytes"].get<int64_t>(), 0);
  EXPECT_TRUE(backup["made_at"].is_string());
  EXPECT_EQ(report["steps"][0]["id"], "backup");
  EXPECT_EQ(report["steps"][0]["title"], "Respaldo");
  EXPECT_TRUE(Holds(test::ReadText("kalu-upgrade.log"), "Respaldo: copia " + copy + " de "));
  EXPECT_TRUE(Holds(LineWith(run.output, "Respaldo "), copy)) << run.output;
  EXPECT_EQ(Kept(store.db), std::vector<std::string>{copy});

  auto list = test::RunProcess({Program(), "--list-backups"});
  EXPECT_EQ(list.status, 0) << list.output;
  EXPECT_TRUE(Holds(LineWith(list.output, copy), "la restaura --rollback")) << list.output;

  auto back = test::RunProcess({Program(), "--rollback", "--report", "regreso.json"});
  ASSERT_EQ(back.status, 0) << back.output;
  EXPECT_EQ(store.db.Dump(), before);
  EXPECT_TRUE(Holds(back.output, "se restauró la copia " + copy + ", hecha el ")) << back.output;
  EXPECT_EQ(test::JsonSchemaProblems("rollback-report.schema.json", "regreso.json"), "");
  const nlohmann::json rolled = JsonOf("regreso.json");
  EXPECT_EQ(rolled["restored"]["name"], copy);
  const std::string failed = rolled["failed_database"];
  EXPECT_EQ(Kept(store.db), std::vector<std::string>{failed});

  // A second rollback finds no copy newer than the one it restored, and changes nothing.
  auto again = test::RunProcess({Program(), "--rollback"});
  EXPECT_EQ(again.status, 1) << again.output;
  EXPECT_TRUE(Holds(again.output,
                    "No hay una copia de la base kalu más reciente que la ya "
                    "restaurada: " +
                        copy))
      << again.output;
  EXPECT_EQ(store.db.Dump(), before);

  // The failed database is dropped when asked, and only what the program kept can be.
  auto wrong = test::RunProcess({Program(), "--drop-backup", "postgres"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_TRUE(Holds(wrong.output, "postgres no es una copia")) << wrong.output;
  auto drop = test::RunProcess({Program(), "--drop-backup", failed});
  EXPECT_EQ(drop.status, 0) << drop.output;
  EXPECT_TRUE(Kept(store.db).empty());
}

// One copy per upgrade: a run after a killed one makes none, and the rollback goes back to
// the store as it was before both.
TEST(WayBack, ARunAfterAKilledOneMakesNoCopyAndTheRollbackGoesBackBeforeBoth) {
  FreshStore store("plain@0.01");
  const std::string before = store.db.Dump();
  {
    test::BackgroundProcess run({Program(), "--unattended"});
    EXPECT_TRUE(WaitForLogLine(run, "PCARGACP_SAT: inicio")) << "the run ended before";
    EXPECT_EQ(run.Kill(), 128 + SIGKILL);
  }
  const std::vector<std::string> kept = Kept(store.db);
  ASSERT_EQ(kept.size(), 1u);
  auto again = test::RunProcess({Program(), "--unattended", "--report", "corrida.json"});
  ASSERT_EQ(again.status, 0) << again.output;
  EXPECT_EQ(Kept(store.db), kept);
  EXPECT_TRUE(
      Holds(test::ReadText("kalu-upgrade.log"), "Respaldo: la copia " + kept[0] + " (hecha el "));
  EXPECT_TRUE(Holds(test::ReadText("kalu-upgrade.log"), "cubre esta corrida"));
  EXPECT_EQ(JsonOf("corrida.json")["backup"]["status"], "covered");
  EXPECT_EQ(JsonOf("corrida.json")["backup"]["name"], kept[0]);

  auto back = test::RunProcess({Program(), "--rollback"});
  ASSERT_EQ(back.status, 0) << back.output;
  EXPECT_EQ(store.db.Dump(), before);
}

// The store's tables and columns and its customers, as every server version reads them
// (pg_dump reads only servers up to its own version).
std::string StoreState(const TestDatabase& db) {
  std::string state;
  for (const Section& section : Sections()) {
    if (section.title != "columnas" && section.title != "clientes") continue;
    for (const std::string& row : db.Rows(section.sql)) state += row + "\n";
  }
  return state;
}

// One copy per release: a run after a finished one makes none, and the rollback goes back
// to the store as it was before the release's first run.
TEST(WayBack, ASecondRunMakesNoCopyAndTheRollbackGoesBackBeforeTheRelease) {
  FreshStore store("sample");
  const std::string before = StoreState(store.db);
  ASSERT_EQ(test::RunProcess({Program(), "--unattended"}).status, 0);
  const std::vector<std::string> kept = Kept(store.db);
  ASSERT_EQ(kept.size(), 1u);
  auto again = test::RunProcess({Program(), "--unattended", "--report", "corrida.json"});
  ASSERT_EQ(again.status, 0) << again.output;
  EXPECT_EQ(Kept(store.db), kept);
  EXPECT_TRUE(Holds(test::ReadText("kalu-upgrade.log"),
                    "cubre esta corrida: la actualización a 24.03.20 ya se hizo"));
  EXPECT_EQ(JsonOf("corrida.json")["backup"]["status"], "covered");
  EXPECT_EQ(JsonOf("corrida.json")["backup"]["name"], kept[0]);

  auto wrong = test::RunProcess({Program(), "--rollback", "--to", "kalu_antes_nada"});
  EXPECT_EQ(wrong.status, 1) << wrong.output;
  EXPECT_TRUE(Holds(wrong.output, "kalu_antes_nada no es una copia completa")) << wrong.output;
  auto back = test::RunProcess({Program(), "--rollback", "--to", kept[0]});
  ASSERT_EQ(back.status, 0) << back.output;
  EXPECT_EQ(StoreState(store.db), before);
}

// The business done after the upgrade is never set aside silently: the rollback refuses,
// naming what changed, until it is told to set it aside, and then says where it is kept.
// The program's own second run is not such business.
TEST(WayBack, BusinessAfterTheUpgradeIsRolledBackOnlyWhenAskedAndIsKeptAside) {
  FreshStore store("sample");
  const std::string before = StoreState(store.db);
  ASSERT_EQ(test::RunProcess({Program(), "--unattended"}).status, 0);
  ASSERT_EQ(test::RunProcess({Program(), "--unattended"}).status, 0);
  auto unchanged = test::RunProcess({Program(), "--list-backups"});
  EXPECT_TRUE(Holds(unchanged.output, "sin cambios después de la actualización"))
      << unchanged.output;

  store.db.Exec(
      "UPDATE clientes SET ctenom = 'Venta del día' WHERE (regcve, unicve, almcve, cancve, "
      "ctecve) = (SELECT regcve, unicve, almcve, cancve, ctecve FROM clientes ORDER BY 1, 2, 3, "
      "4, 5 LIMIT 1)");
  const std::string changed = StoreState(store.db);
  const std::string said =
      "la base cambió después de la actualización a 24.03.20: clientes (1 fila)";
  auto refused = test::RunProcess({Program(), "--rollback", "--report", "regreso.json"});
  EXPECT_EQ(refused.status, 1) << refused.output;
  EXPECT_TRUE(Holds(refused.output, said)) << refused.output;
  EXPECT_TRUE(Holds(refused.output, "--rollback --discard-later-changes")) << refused.output;
  EXPECT_EQ(test::JsonSchemaProblems("rollback-report.schema.json", "regreso.json"), "");
  EXPECT_EQ(StoreState(store.db), changed);
  for (const std::vector<std::string>& shows :
       {std::vector<std::string>{"--list-backups"}, std::vector<std::string>{"--check"}}) {
    std::vector<std::string> args{Program()};
    args.insert(args.end(), shows.begin(), shows.end());
    auto shown = test::RunProcess(args);
    EXPECT_TRUE(Holds(shown.output, "clientes (1 fila)")) << shown.output;
  }

  auto forced = test::RunProcess(
      {Program(), "--rollback", "--discard-later-changes", "--report", "regreso.json"});
  ASSERT_EQ(forced.status, 0) << forced.output;
  EXPECT_EQ(StoreState(store.db), before);
  const nlohmann::json rolled = JsonOf("regreso.json");
  EXPECT_EQ(test::JsonSchemaProblems("rollback-report.schema.json", "regreso.json"), "");
  EXPECT_EQ(rolled["later_changes"],
            nlohmann::json::parse(R"([{"table": "clientes", "rows": 1}])"));
  const std::string failed = rolled["failed_database"];
  EXPECT_TRUE(Holds(forced.output, "quedó como " + failed +
                                       " para revisarla, con los cambios posteriores a la "
                                       "actualización que se apartaron: clientes (1 fila)"))
      << forced.output;
  auto kept = test::RunProcess({(test::SourceDir() / "scripts" / "pg-sandbox").string(), "psql",
                                test::SandboxDir().string(), failed, "-tAc",
                                "SELECT count(*) FROM clientes WHERE ctenom = 'Venta del día'"});
  EXPECT_EQ(kept.output, "1\n");
}

// Killed while it copies, the run leaves the store untouched; killed at any moment of a
// rollback, the store is either as it was before the rollback or wholly rolled back. A
// run or a rollback after it works.
TEST(WayBack, KilledWhileCopyingOrRollingBackTheStoreIsWholeEitherWay) {
  FreshStore store("plain@0.01");
  const std::string before = store.db.Dump();
  {
    test::BackgroundProcess run({Program(), "--unattended"});
    EXPECT_TRUE(WaitForLogLine(run, "Respaldo: copiando")) << "the run ended before";
    EXPECT_EQ(run.Kill(), 128 + SIGKILL);
  }
  EXPECT_FALSE(Holds(test::ReadText("kalu-upgrade.log"), "Respaldo: copia kalu_antes_"))
      << "the kill came after the copy";
  EXPECT_EQ(store.db.Dump(), before);

  for (const char* moment :
       {"Regreso: inicio", "Regreso: revisando las sesiones", "Regreso: renombrando"}) {
    SCOPED_TRACE(moment);
    if (!Upgraded(store.db)) {
      auto run = test::RunProcess({Program(), "--unattended"});
      ASSERT_EQ(run.status, 0) << run.output;
    }
    const std::string upgraded = store.db.Dump();
    {
      test::BackgroundProcess rollback({Program(), "--rollback"});
      EXPECT_TRUE(WaitForLogLine(rollback, moment)) << "the rollback ended before";
      rollback.Kill();
    }
    const std::string now = store.db.Dump();
    EXPECT_TRUE(now == upgraded || now == before);
  }
  if (Upgraded(store.db)) {
    auto back = test::RunProcess({Program(), "--rollback"});
    ASSERT_EQ(back.status, 0) << back.output;
  }
  EXPECT_EQ(store.db.Dump(), before);
}

// Each refusal names its cause and both remedies on its line, ends with status 1 and
// leaves the store as it was.
TEST(WayBack, EachRefusalIsNamedAndLeavesTheStoreAsItWas) {
  // A psql session on the store, held open by the test.
  auto holdSession = [] {
    return std::make_unique<test::BackgroundProcess>(std::vector<std::string>{
        (test::SourceDir() / "scripts" / "pg-sandbox").string(), "psql",
        test::SandboxDir().string(), "kalu", "-c", "SELECT pg_sleep(600)"});
  };
  struct Case {
    const char* refusal;
    bool upgradeFirst;  // the store upgraded (with its copy) before the refused command
    std::vector<std::string> args;
    std::vector<std::string> said;  // on the line of the refusal
  };
  const std::vector<Case> cases = {
      {"a session connected to the store",
       false,
       {"--unattended"},
       {"No se puede hacer la copia de respaldo de la base kalu: 1 sesión conectada",
        "«psql» del usuario zovizazir", "cierre esas sesiones", "use --no-backup"}},
      {"a session connected when rolling back",
       true,
       {"--rollback"},
       {"No se puede regresar la base kalu: 1 sesión conectada a kalu", "«psql»",
        "cierre esas sesiones y repita --rollback"}},
      {"no copy to restore",
       false,
       {"--rollback"},
       {"No hay copia de respaldo de la base kalu para regresarla"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refusal);
    FreshStore store("sample");
    if (c.upgradeFirst) {
      ASSERT_EQ(test::RunProcess({Program(), "--unattended"}).status, 0);
    }
    std::unique_ptr<test::BackgroundProcess> psql;
    if (Holds(c.refusal, "session")) {
      psql = holdSession();
      TestDatabase::WaitForSession("kalu", "psql");
    }
    const std::string was = store.db.Dump();
    const std::vector<std::string> kept = Kept(store.db);
    std::vector<std::string> args{Program()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto refused = test::RunProcess(args);
    EXPECT_EQ(refused.status, 1) << refused.output;
    for (const std::string& part : c.said) {
      EXPECT_TRUE(Holds(refused.output, part)) << part << "\n" << refused.output;
    }
    EXPECT_TRUE(Holds(test::ReadText("kalu-upgrade.log"), c.said[0]));
    psql.reset();
    EXPECT_EQ(store.db.Dump(), was);
    EXPECT_EQ(Kept(store.db), kept);
  }
}

// A store's role without CREATEDB, on a server of its own: the run refuses to go without a
// copy and says how to give the right or go without; --check says the same; with
// --no-backup the run goes on without a copy and says so.
TEST(WayBack, ARoleWithoutCreatedbIsToldBothRemedies) {
  test::WorkFolder wf;
  TestDatabase db("kalu");  // the services and packages of the sample store
  auto files = test::LayOutStore("sample", db);
  test::SecondServer server(test::BinaryDir() / "pg-nocreatedb");
  ASSERT_EQ(server.Admin("ALTER ROLE zovizazir NOCREATEDB"), "");
  std::ofstream("Kalu.dsn") << server.DsnText();

  auto refused = test::RunProcess({Program(), "--unattended", "--report", "corrida.json"});
  EXPECT_EQ(refused.status, 1) << refused.output;
  const std::string line = LineWith(refused.output, "le falta CREATEDB");
  EXPECT_TRUE(Holds(line, "el usuario zovizazir no puede crear bases de datos")) << refused.output;
  EXPECT_TRUE(Holds(refused.output, "conceda CREATEDB al usuario zovizazir")) << refused.output;
  EXPECT_TRUE(Holds(refused.output, "use --no-backup")) << refused.output;
  EXPECT_EQ(test::JsonSchemaProblems("run-report.schema.json", "corrida.json"), "");
  EXPECT_TRUE(Holds(JsonOf("corrida.json")["error"]["text"], "conceda CREATEDB"));
  EXPECT_EQ(server.Value("SELECT count(*) FROM pg_class WHERE relname = 'enviocfdi11'"), "0");
  EXPECT_EQ(server.Value("SELECT count(*) FROM pg_database WHERE datname LIKE 'kalu\\_antes\\_%'"),
            "0");

  // A role that may read the server's settings is told the free space of its disk.
  ASSERT_EQ(server.Admin("GRANT pg_read_all_settings TO zovizazir"), "");
  auto check = test::RunProcess({Program(), "--check"});
  EXPECT_EQ(check.status, 1);
  EXPECT_TRUE(Holds(LineWith(check.output, "Copia de respaldo: permiso"),
                    "problema  el usuario zovizazir no puede crear bases de datos"))
      << check.output;
  EXPECT_TRUE(std::regex_search(LineWith(check.output, "Copia de respaldo: espacio"),
                                std::regex("ok +la copia necesita [0-9.]+ MB y el disco de la "
                                           "base \\(/.+\\) tiene [0-9.]+ MB libres$")))
      << check.output;

  auto without =
      test::RunProcess({Program(), "--unattended", "--no-backup", "--report", "corrida.json"});
  EXPECT_EQ(without.status, 0) << without.output;
  EXPECT_EQ(JsonOf("corrida.json")["backup"]["status"], "none");
  EXPECT_TRUE(Holds(test::ReadText("kalu-upgrade.log"),
                    "Respaldo: sin copia de la base kalu (--no-backup)"));
  EXPECT_EQ(server.Value("SELECT count(*) FROM pg_class WHERE relname = 'enviocfdi11'"), "1");
}

// Small generated stores, each of a few hundred rows: packages with repeated postal codes
// and colonies and colonies of unknown codes; several stores in one database sharing
// documents, with submissions of another store; documents without lines, customers without
// history and invoices and submissions without documents; all of it together.
TEST(CompleteUpgrade, GeneratedStoresEndAsRecorded) {
  for (const char* shape : {"packages", "stores", "sparse", "mixed"}) {
    SCOPED_TRACE(shape);
    test::WorkFolder wf;
    TestDatabase db("kalu");
    auto store = test::LayOutStore(std::string(shape) + "@0.001", db);
    auto run = test::RunProcess({Program(), "--unattended"});
    ASSERT_EQ(run.status, 0) << run.output;
    ExpectDump(
        db, test::SourceDir() / "fixtures" / "expected" / "golden" / (std::string(shape) + ".txt"));
    // The store is left analysed: every table whose rows the run changed has statistics,
    // although the store was loaded and never analysed before the run.
    EXPECT_EQ(db.Rows("select relname from pg_stat_user_tables where n_tup_ins + n_tup_upd + "
                      "n_tup_del > 0 and last_analyze is null and last_autoanalyze is null "
                      "order by relname"),
              std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace kalu
