// The complete upgrade of the sample store, run as the operator runs it: every table and
// view the upgrade changes is compared with the expected result kept in
// fixtures/expected/store_after.txt (dates of the day, load times and the workstation's
// name masked). Set KALU_UPDATE_EXPECTED=1 to write that file anew from a run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/process.h"
#include "support/sample_store.h"
#include "support/test_support.h"

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

std::string Dump(const TestDatabase& db, const std::vector<std::string>& skip = {}) {
  std::string out;
  for (const auto& section : Sections()) {
    if (std::find(skip.begin(), skip.end(), section.title) != skip.end()) continue;
    out += "## " + section.title + "\n";
    for (const auto& row : db.Rows(section.sql)) out += row + "\n";
  }
  return out;
}

// Drops the sections named in `skip` from a dump.
std::string Without(const std::string& dump, const std::vector<std::string>& skip) {
  std::istringstream in(dump);
  std::string line, out;
  bool keep = true;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) {
      keep = std::find(skip.begin(), skip.end(), line.substr(3)) == skip.end();
    }
    if (keep) out += line + "\n";
  }
  return out;
}

TEST(CompleteUpgrade, SampleStoreEndsAsExpectedAndASecondRunKeepsIt) {
  test::WorkFolder wf;
  TestDatabase db("kalu");
  test::SampleStore store;
  const std::string program = (test::BinaryDir() / "kalu-upgrade").string();
  const auto expectedPath = test::SourceDir() / "fixtures" / "expected" / "store_after.txt";

  auto first = test::RunProcess({program, "--unattended"});
  ASSERT_EQ(first.status, 0) << first.output;
  std::string after = Dump(db);
  if (const char* update = std::getenv("KALU_UPDATE_EXPECTED"); update && *update == '1') {
    std::ofstream(expectedPath) << after;
  }
  EXPECT_EQ(after, test::ReadText(expectedPath));

  // The second run passes over what is in place. It empties the Carta Porte tables again,
  // and their refresh is due only when the store's business date changes.
  EXPECT_TRUE(store.Services().Requested());
  store.Services().ForgetRequests();
  auto second = test::RunProcess({program, "--unattended"});
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_FALSE(store.Services().Requested());
  const std::vector<std::string> refreshed = {"vehiculos", "operadorveh"};
  EXPECT_EQ(Dump(db, refreshed), Without(test::ReadText(expectedPath), refreshed));
  EXPECT_EQ(db.Value("select count(*) from vehiculos"), "0");
  EXPECT_EQ(db.Value("select count(*) from operadorveh"), "0");

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
  // The summary gives each phase its time, rows, rows per second and round trips.
  for (const char* phase : {"PCARGACP_SAT", "PCARGACATCOLONIAS", "PCARDATOSFISCAL"}) {
    const std::regex line(std::string(" {2}") + phase +
                          " +[0-9]+\\.[0-9]{3} s +[1-9][0-9]* filas +[0-9]+ filas/s +[1-9][0-9]* "
                          "viajes\n");
    EXPECT_TRUE(std::regex_search(log, line)) << phase;
  }
}

}  // namespace
}  // namespace kalu
