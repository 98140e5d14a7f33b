// The postal-code and colonies catalogue loads against a real PostgreSQL: the sample
// packages of the demo store, the edge cases of the walks, overflows, and damaged or
// missing packages.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "packages/package_format.h"
#include "packages/pcargacatcolonias.h"
#include "packages/pcargacp_sat.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;

// One postal-code row; an empty field is left out of the row.
std::string CpRow(const std::string& cp, const std::string& state, const std::string& mun,
                  const std::string& loc) {
  std::string row;
  auto field = [&](const char* name, const std::string& value) {
    if (!value.empty()) row += std::string("<") + name + ">" + value + "</" + name + ">";
  };
  field("c_CodigoPostal", cp);
  field("c_Estado", state);
  field("c_Municipio", mun);
  field("c_Localidad", loc);
  return row;
}

// A postal-code package with the state table inside the first row, ahead of its fields.
std::string CpDocument(const std::string& stateTable, const std::vector<std::string>& rows) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CP_SAT_CFDI33>\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    xml += "  <CP_CVEs>";
    if (i == 0) xml += "<EDO_Rel>" + stateTable + "</EDO_Rel>\n    ";
    xml += rows[i] + "</CP_CVEs>\n";
  }
  return xml + "</CP_SAT_CFDI33>\n";
}

std::string StatePair(int number, const std::string& alias) {
  return "<EdoCve>" + std::to_string(number) + "</EdoCve><EdoAlias>" + alias + "</EdoAlias>";
}

// One colony row; an empty name leaves "ColoniaNombre" out.
std::string ColonyRow(const std::string& cp, const std::string& colony, const std::string& name) {
  std::string row = "<RowColonia><CPCve>" + cp + "</CPCve><Colonia>" + colony + "</Colonia>";
  if (!name.empty()) row += "<ColoniaNombre>" + name + "</ColoniaNombre>";
  return row + "</RowColonia>\n";
}

std::string ColonyDocument(const std::vector<std::string>& rows) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CATCOLONIAS>\n";
  for (const auto& r : rows) xml += r;
  return xml + "</CATCOLONIAS>\n";
}

bool Shown(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void LoadPostalCodes(TestContext& t) {
  PCARGACP_SAT(*t).Run(/*inPackageFolder=*/1);
}

void LoadColonies(TestContext& t) {
  PCARGACATCOLONIAS(*t).Run(/*inPackageFolder=*/1);
}

// Postal codes from..to of one state, as package rows and as stored rows.
std::vector<std::string> CpRows(int from, int to) {
  std::vector<std::string> rows;
  for (int cp = from; cp <= to; ++cp) rows.push_back(CpRow(std::to_string(cp), "JAL", "39", "3"));
  return rows;
}
std::vector<std::string> StoredCps(int from, int to) {
  std::vector<std::string> rows;
  for (int cp = from; cp <= to; ++cp) rows.push_back(std::to_string(cp) + "|14|39|3");
  return rows;
}
std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr const char* kPostalCodes =
    "select cpcve, edocve, muncve, loccve from codigopostal order by cpcve";
constexpr const char* kColonies =
    "select cpcve, colonia, colonianombre from colonias order by cpcve, colonia";

struct CatalogTest : ::testing::Test {
  WorkFolder wf;
  TestDatabase db;
  void SetUp() override {
    db.UpgradeSchema();
    TestDatabase::WriteDsn();
  }
};

// The reference table of the states: "number|alias" per state.
std::vector<std::string> ReferenceStates() {
  std::vector<std::string> rows;
  std::istringstream in(
      test::ReadText(test::SourceDir() / "fixtures" / "reference" / "sat_estados.tsv"));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string number, alias;
    std::getline(fields, number, '\t');
    std::getline(fields, alias, '\t');
    rows.push_back(number + "|" + alias);
  }
  return rows;
}

TEST_F(CatalogTest, SamplePackagesLoadOnceAndASecondLoadChangesNothing) {
  // The aliases the store had before the release: Ciudad de México still as "DF".
  db.Exec(
      "UPDATE estados SET edoalias = NULL; UPDATE estados SET edoalias = 'DF' WHERE "
      "edocve = 9");
  {
    wf.PutPackage("CP_SAT_CFDI33.XMZ", test::PackageFixture("CP_SAT_CFDI33.xml"));
    wf.PutPackage("CATCOLONIAS.XMZ", test::PackageFixture("CATCOLONIAS.xml"));
    TestContext t(db.Name());
    LoadPostalCodes(t);
    LoadColonies(t);
    EXPECT_TRUE(t.display.messages.empty());
    EXPECT_EQ(t.display.progress.front(), "Actualización de Códigos Postales...");
    EXPECT_TRUE(
        Shown(t.display.progress, "Creando Còdigo Postal a Edo 9, Mun 15, Loc 1, C.P. 6700"));
    EXPECT_TRUE(Shown(t.display.progress, "Creando Còdigo Postal a 44100 San Juan de Dios"));
    EXPECT_EQ(t.display.progress.back(), "");
  }
  EXPECT_EQ(db.Rows("select edocve, edoalias from estados order by edocve"), ReferenceStates());
  EXPECT_EQ(db.Value("select edoalias from estados where edocve = 9"), "CMX");
  EXPECT_EQ(db.Value("select count(*) || '|' || count(distinct cpcve) from codigopostal"), "55|55");
  EXPECT_EQ(db.Rows("select cpcve, edocve, muncve, loccve from codigopostal where cpcve in "
                    "(44100, 45010, 6700, 58000) order by cpcve"),
            (std::vector<std::string>{"6700|9|15|1", "44100|14|39|3", "45010|14|120|10",
                                      "58000|16|53|6"}));
  EXPECT_EQ(db.Value("select count(*) from codigopostal where cpcve = 99999"), "0");
  EXPECT_EQ(db.Value("select count(*) || '|' || count(distinct (cpcve, colonia)) from colonias"),
            "39|39");
  EXPECT_EQ(db.Rows("select cpcve, colonia, colonianombre from colonias where cpcve in (44100, "
                    "6700) order by cpcve, colonia"),
            (std::vector<std::string>{"6700|1|Roma Norte", "6700|2|Hipódromo",
                                      "44100|1|Guadalajara Centro", "44100|2|Analco",
                                      "44100|3|San Juan de Dios"}));

  // The packages are written again from their sources; a colony renamed by the store
  // keeps the store's name.
  db.Exec(
      "UPDATE colonias SET colonianombre = 'Centro Histórico' WHERE cpcve = 44100 AND "
      "colonia = 1");
  const auto postalCodes = db.Rows(kPostalCodes);
  const auto colonies = db.Rows(kColonies);
  wf.PutPackage("CP_SAT_CFDI33.XMZ", test::PackageFixture("CP_SAT_CFDI33.xml"));
  wf.PutPackage("CATCOLONIAS.XMZ", test::PackageFixture("CATCOLONIAS.xml"));
  TestContext t(db.Name());
  LoadPostalCodes(t);
  LoadColonies(t);
  EXPECT_EQ(db.Rows(kPostalCodes), postalCodes);
  EXPECT_EQ(db.Rows(kColonies), colonies);
  EXPECT_EQ(db.Value("select colonianombre from colonias where cpcve = 44100 and colonia = 1"),
            "Centro Histórico");
}

TEST_F(CatalogTest, PostalCodeWalkEdgeCases) {
  const std::string states = StatePair(9, "CMX") + StatePair(14, "JAL") + StatePair(16, "MIC");
  struct Case {
    const char* what;
    std::string setup;
    std::string document;
    std::vector<std::string> postalCodes;
    std::string progress;  // a text that must have been shown
  } cases[] = {
      {"two states with one alias: the higher number wins",
       "",
       CpDocument(StatePair(14, "JAL") + StatePair(16, "JAL"), {CpRow("44100", "JAL", "39", "3")}),
       {"44100|16|39|3"},
       "Creando Còdigo Postal a Edo 16, Mun 39, Loc 3, C.P. 44100"},
      {"a row without c_Estado takes the last alias of the state table, then the previous "
       "row's",
       "",
       CpDocument(states, {CpRow("58000", "", "53", "6"), CpRow("6700", "CMX", "15", "1"),
                           CpRow("6760", "", "15", "1")}),
       {"6700|9|15|1", "6760|9|15|1", "58000|16|53|6"},
       "Creando Còdigo Postal a Edo 9, Mun 15, Loc 1, C.P. 6760"},
      {"an alias that ESTADOS lacks gives state 0",
       "",
       CpDocument(states, {CpRow("99000", "XXX", "1", "1")}),
       {"99000|0|1|1"},
       "Creando Còdigo Postal a Edo 0, Mun 1, Loc 1, C.P. 99000"},
      {"a row without c_CodigoPostal reuses the previous postal code and inserts nothing",
       "",
       CpDocument(states, {CpRow("44100", "JAL", "39", "3"), CpRow("", "JAL", "120", "10")}),
       {"44100|14|39|3"},
       "Creando Còdigo Postal a Edo 14, Mun 120, Loc 10, C.P. 44100"},
      {"a postal code with leading zeros is stored and shown without them",
       "",
       CpDocument(states, {CpRow("06700", "CMX", "015", "01")}),
       {"6700|9|15|1"},
       "Creando Còdigo Postal a Edo 9, Mun 15, Loc 1, C.P. 6700"},
      {"a postal code given twice keeps its first row",
       "",
       CpDocument(states, {CpRow("44100", "JAL", "39", "3"), CpRow("44100", "CMX", "1", "1")}),
       {"44100|14|39|3"},
       "Creando Còdigo Postal a Edo 9, Mun 1, Loc 1, C.P. 44100"},
      {"a postal code given again many rows later keeps its first row", "",
       CpDocument(states, Concat(CpRows(20000, 27000), {CpRow("20000", "CMX", "1", "1")})),
       StoredCps(20000, 27000), "Creando Còdigo Postal a Edo 9, Mun 1, Loc 1, C.P. 20000"},
      {"a postal code already present keeps its values",
       "INSERT INTO codigopostal (cpcve, edocve, muncve, loccve) VALUES (44100, 9, 1, 1)",
       CpDocument(states, {CpRow("44100", "JAL", "39", "3"), CpRow("44130", "JAL", "39", "3")}),
       {"44100|9|1|1", "44130|14|39|3"},
       "Creando Còdigo Postal a Edo 14, Mun 39, Loc 3, C.P. 44100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestDatabase caseDb;
    caseDb.UpgradeSchema();
    if (!c.setup.empty()) caseDb.Exec(c.setup);
    wf.PutPackage("CP_SAT_CFDI33.XMZ", c.document);
    TestContext t(caseDb.Name());
    LoadPostalCodes(t);
    EXPECT_EQ(caseDb.Rows(kPostalCodes), c.postalCodes);
    EXPECT_TRUE(Shown(t.display.progress, c.progress));
    EXPECT_TRUE(t.display.messages.empty());
  }
}

TEST_F(CatalogTest, EveryStateAliasOfTheTableIsSet) {
  // The state table alone, with one row after it; a state ESTADOS lacks is passed over.
  db.Exec("UPDATE estados SET edoalias = NULL");
  wf.PutPackage("CP_SAT_CFDI33.XMZ",
                CpDocument(StatePair(14, "JAL") + StatePair(40, "ZZZ") + StatePair(9, "CMX"),
                           {CpRow("44100", "JAL", "39", "3")}));
  TestContext t(db.Name());
  LoadPostalCodes(t);
  EXPECT_EQ(db.Rows("select edocve, edoalias from estados where edoalias is not null order by "
                    "edocve"),
            (std::vector<std::string>{"9|CMX", "14|JAL"}));
  EXPECT_EQ(db.Value("select count(*) from estados"), "32");
}

TEST_F(CatalogTest, ColonyWalkEdgeCases) {
  const std::string longName =
      "Fraccionamiento Residencial Jardín de las Bugambilias y Rincón "
      "del Ángel Segunda Sección Ampliación";
  struct Case {
    const char* what;
    std::string setup;
    std::vector<std::string> rows;
    std::vector<std::string> colonies;
    std::string progress;
  } cases[] = {
      {"a colony already present keeps its name",
       "INSERT INTO colonias (cpcve, colonia, colonianombre) VALUES (44100, 1, 'Centro')",
       {ColonyRow("44100", "1", "Guadalajara Centro"), ColonyRow("44100", "2", "Analco")},
       {"44100|1|Centro", "44100|2|Analco"},
       "Creando Còdigo Postal a 44100 Guadalajara Centro"},
      {"a row without ColoniaNombre takes the previous row's name (the first an empty one)",
       "",
       {ColonyRow("44100", "3", ""), ColonyRow("44100", "2", "Analco"),
        ColonyRow("44130", "1", "")},
       {"44100|2|Analco", "44100|3|", "44130|1|Analco"},
       "Creando Còdigo Postal a 44130 Analco"},
      {"a colony given twice keeps its first row",
       "",
       {ColonyRow("44100", "1", "Guadalajara Centro"), ColonyRow("44100", "1", "Otra")},
       {"44100|1|Guadalajara Centro"},
       "Creando Còdigo Postal a 44100 Otra"},
      {"a name is stored without leading and trailing blanks",
       "",
       {ColonyRow("44100", "3", "   San Juan de Dios  ")},
       {"44100|3|San Juan de Dios"},
       "Creando Còdigo Postal a 44100 San Juan de Dios"},
      {"a postal code with leading zeros, and one CODIGOPOSTAL lacks",
       "",
       {ColonyRow("06700", "2", "Hipódromo"), ColonyRow("99000", "1", "Sin Código")},
       {"6700|2|Hipódromo", "99000|1|Sin Código"},
       "Creando Còdigo Postal a 6700 Hipódromo"},
      {"a name longer than the column is cut to 80 characters",
       "",
       {ColonyRow("58000", "1", longName)},
       {"58000|1|" + CutToChars(longName, 80)},
       "Creando Còdigo Postal a 58000 " + longName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestDatabase caseDb;
    caseDb.UpgradeSchema();
    if (!c.setup.empty()) caseDb.Exec(c.setup);
    wf.PutPackage("CATCOLONIAS.XMZ", ColonyDocument(c.rows));
    TestContext t(caseDb.Name());
    LoadColonies(t);
    EXPECT_EQ(caseDb.Rows(kColonies), c.colonies);
    EXPECT_TRUE(Shown(t.display.progress, c.progress));
    EXPECT_EQ(t.display.progress.front(), "Actualización de Códigos Postales...");
    EXPECT_EQ(t.display.progress.back(), "");
  }
}

TEST_F(CatalogTest, TextsCutToTheColumnAreNotedOncePerColumn) {
  const std::string longName(100, 'x');
  wf.PutPackage("CATCOLONIAS.XMZ", ColonyDocument({ColonyRow("44100", "1", longName),
                                                   ColonyRow("44100", "2", longName)}));
  wf.PutPackage("CP_SAT_CFDI33.XMZ",
                CpDocument(StatePair(14, "JALISCO"), {CpRow("44100", "JALISCO", "39", "3"),
                                                      CpRow("44130", "JALISCO", "39", "3")}));
  TestContext t(db.Name());
  std::vector<std::string> notes;
  t.session.Library().SetNoteSink([&](std::string_view note) { notes.emplace_back(note); });
  LoadPostalCodes(t);
  LoadColonies(t);
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "Texto recortado a 3 caracteres: PCARGACP_SAT, cursor P13463, parametro 1",
                       "Texto recortado a 3 caracteres: PCARGACP_SAT, cursor P13466, parametro 1",
                       "Texto recortado a 80 caracteres: PCARGACATCOLONIAS, cursor P14944, "
                       "parametro 3"}));
  EXPECT_EQ(db.Value("select edoalias from estados where edocve = 14"), "JAL");
  EXPECT_EQ(db.Rows(kPostalCodes), (std::vector<std::string>{"44100|14|39|3", "44130|14|39|3"}));
  EXPECT_EQ(db.Rows("select colonia, length(colonianombre) from colonias order by colonia"),
            (std::vector<std::string>{"1|80", "2|80"}));
}

TEST_F(CatalogTest, NumbersOutOfRangeRaiseOverflowAndKeepWhatWasStored) {
  const std::string states = StatePair(14, "JAL");
  struct Case {
    const char* what;
    const char* package;
    std::string document;
    const char* query;
    std::vector<std::string> rows;
  } cases[] = {
      {"municipality past 16 bits",
       "CP_SAT_CFDI33.XMZ",
       CpDocument(states, {CpRow("44100", "JAL", "39", "3"), CpRow("44130", "JAL", "40000", "3")}),
       kPostalCodes,
       {"44100|14|39|3"}},
      {"postal code past 32 bits",
       "CP_SAT_CFDI33.XMZ",
       CpDocument(states, {CpRow("44100", "JAL", "39", "3"), CpRow("3000000000", "JAL", "1", "1")}),
       kPostalCodes,
       {"44100|14|39|3"}},
      {"state number past 16 bits",
       "CP_SAT_CFDI33.XMZ",
       CpDocument(StatePair(40000, "JAL"), {CpRow("44100", "JAL", "39", "3")}),
       kPostalCodes,
       {}},
      {"colony number past 16 bits",
       "CATCOLONIAS.XMZ",
       ColonyDocument(
           {ColonyRow("44100", "1", "Guadalajara Centro"), ColonyRow("44100", "32768", "Analco")}),
       kColonies,
       {"44100|1|Guadalajara Centro"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestDatabase caseDb;
    caseDb.UpgradeSchema();
    wf.PutPackage(c.package, c.document);
    TestContext t(caseDb.Name());
    int32_t number = 0;
    try {
      if (std::string(c.package) == "CATCOLONIAS.XMZ") {
        PCARGACATCOLONIAS(*t).Run(/*inPackageFolder=*/1);
      } else {
        PCARGACP_SAT(*t).Run(/*inPackageFolder=*/1);
      }
    } catch (const RuntimeError& e) {
      number = e.Number();
    }
    EXPECT_EQ(number, kErrOverflow);
    EXPECT_EQ(caseDb.Rows(c.query), c.rows);
  }
}

TEST_F(CatalogTest, DamagedPackageShowsTheMessageAndLosesNothing) {
  db.Exec(
      "INSERT INTO codigopostal (cpcve, edocve, muncve, loccve) VALUES (44100, 14, 39, 3);"
      "INSERT INTO colonias (cpcve, colonia, colonianombre) VALUES (44100, 1, 'Centro')");
  const auto states = db.Rows("select edocve, edoalias from estados order by edocve");
  // A size field of 1000 followed by bytes that are no zlib stream.
  const std::string damaged = std::string("\xe8\x03\0\0", 4) + "esto no es un paquete";
  wf.Write("Importar/CP_SAT_CFDI33.XMZ", damaged);
  wf.Write("Importar/CATCOLONIAS.XMZ", damaged);
  TestContext t(db.Name());
  LoadPostalCodes(t);
  LoadColonies(t);
  const std::string message =
      "ERROR -3: Se tratara de desencriptar el archivo, pero esta incorrecto el formato ";
  EXPECT_EQ(t.display.messages, (std::vector<std::string>{message, message}));
  EXPECT_EQ(db.Rows(kPostalCodes), (std::vector<std::string>{"44100|14|39|3"}));
  EXPECT_EQ(db.Rows(kColonies), (std::vector<std::string>{"44100|1|Centro"}));
  EXPECT_EQ(db.Rows("select edocve, edoalias from estados order by edocve"), states);
}

TEST_F(CatalogTest, MissingPackageFailsBeforeAnyDatabaseWork) {
  for (bool colonies : {false, true}) {
    TestContext t(db.Name());
    int32_t number = 0;
    try {
      colonies ? LoadColonies(t) : LoadPostalCodes(t);
    } catch (const RuntimeError& e) {
      number = e.Number();
    }
    EXPECT_EQ(number, kErrFileNotFound);
    EXPECT_FALSE(t.session.IsConnected());
    EXPECT_TRUE(t.display.progress.empty());
  }
}

TEST_F(CatalogTest, FailedDownloadReadsNothing) {
  // No preferences file: no server to download from.
  for (bool colonies : {false, true}) {
    TestContext t(db.Name());
    if (colonies) {
      PCARGACATCOLONIAS(*t).Run(/*inPackageFolder=*/0);
    } else {
      PCARGACP_SAT(*t).Run(/*inPackageFolder=*/0);
    }
    EXPECT_TRUE(
        Shown(t.display.messages, "Error: No se pudo completar la descarga, intente mas tarde"));
    EXPECT_FALSE(Shown(t.display.progress, "Actualización de Códigos Postales..."));
  }
  EXPECT_TRUE(db.Rows(kPostalCodes).empty());
  EXPECT_TRUE(db.Rows(kColonies).empty());
}

}  // namespace
}  // namespace kalu
