// The upgrade driver against a real PostgreSQL: the store key, the tax base recalculation
// and the whole sequence of statements, twice.

#include <gtest/gtest.h>

#include "procedures/pobtfacstimbre.h"
#include "runtime/errors.h"
#include "support/sample_store.h"
#include "support/test_support.h"
#include "upgrade/azt903114.h"

namespace kalu {
namespace {

using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;

struct DriverTest : ::testing::Test {
  WorkFolder wf;
  TestDatabase db;
  void SetUp() override { TestDatabase::WriteDsn(); }
};

TEST_F(DriverTest, StoreKeyIsTheLastActiveControlRow) {
  struct Case {
    const char* setup;
    int16_t reg, uni, alm;
  } cases[] = {
      {"", 12, 1, 5},
      {"INSERT INTO control (ctrreg, ctruni, ctralm, ctract) VALUES (3, 1, 1, '*'), "
       "(12, 2, 1, '*'), (12, 1, 9, ' ')",
       12, 2, 1},
      {"UPDATE control SET ctract = ' '", 0, 0, 0},
  };
  for (const auto& c : cases) {
    if (*c.setup) db.Exec(c.setup);
    TestContext t(db.Name());
    AZT903114 driver(*t);
    driver.ReadStoreKey();
    EXPECT_EQ(driver.StoreRegion(), c.reg) << c.setup;
    EXPECT_EQ(driver.StoreUnit(), c.uni) << c.setup;
    EXPECT_EQ(driver.StoreWarehouse(), c.alm) << c.setup;
  }
}

TEST_F(DriverTest, TaxBasesOfTheStoresInvoiceRows) {
  db.UpgradeSchema();
  // A document whose lines were all not supplied, and a row of movement 52 whose bases
  // were already set to something else.
  db.Exec(
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, envioserie, "
      "enviofolio, enviobasieps, enviobasiva) VALUES (12, 1, 5, 107, 51, 'GDA  ', 1234, 9, 9)");
  TestContext t(db.Name());
  AZT903114 driver(*t);
  driver.ReadStoreKey();
  driver.RecalculateInvoiceBases();

  // Worked by hand from the sample lines (DocCanSur > 0 only):
  //  103: two lines of IVA base 100.00 -> 200.00, IEPS 0
  //  104: one line of 500.00 -> 500.00
  //  106: 1000.00
  //  107: its only line has DocCanSur 0 -> a sum over no lines: 0, 0
  //  109: DocCanSur 1.5 -> IVA 75.00, IEPS 80.00
  //  110: no document -> 0, 0
  //  111: movement 53, and the other store's row: untouched (NULL)
  EXPECT_EQ(
      db.Rows("select regcve, envioord, enviobasieps, enviobasiva from enviocfdi "
              "order by regcve, envioord"),
      (std::vector<std::string>{"7|101|<null>|<null>", "12|103|0.00|200.00", "12|104|0.00|500.00",
                                "12|106|0.00|1000.00", "12|107|0.00|0.00", "12|109|80.00|75.00",
                                "12|110|0.00|0.00", "12|111|<null>|<null>"}));
  EXPECT_NE(std::find(t.display.progress.begin(), t.display.progress.end(),
                      "Actualizando Documento Serie: GDA, Folio : 1234"),
            t.display.progress.end());
}

// A generated store of `n` invoices in each of three stores (12-1-6 shares the active
// store's invoice numbers, 7-2-3 its document orders): paid, part-paid and doubled invoices,
// an invoice without a folio, invoices without documents or with two, documents without
// lines or with lines not supplied, blank, missing, malformed and well-formed keys, and
// submissions stamped, unstamped, blank, of other stores or without a document.
std::string GeneratedStoreSql(int n) {
  const std::string stores =
      "(VALUES (12, 1, 5, 0), (7, 2, 3, 1), (12, 1, 6, 0)) s(reg, uni, alm, k), "
      "generate_series(1, " +
      std::to_string(n) + ") i";
  const std::string channel = "(ARRAY[5, 7, 49, 50, 60, 1])[1 + (i + s.k) % 6]";
  const std::string movement = "CASE WHEN i % 17 = 0 THEN 60 ELSE 51 + i % 2 END";
  const std::string fecha = "date '2024-01-01' + i % 90";
  const std::string uuid = "'a1b2c3d4-e5f6-4711-8899-' || lpad(i::text, 12, '0')";
  return
      // first rows of each invoice; an invoice whose first row is not a charge has no folio
      "INSERT INTO edocta (regcve, unicve, almcve, cancve, ctecve, grupo, subgrp, documento, "
      "fecha, movcve, cargo, abono) SELECT s.reg, s.uni, s.alm, " +
      channel +
      ", 1 + i % 7, "
      "1000 + i, 1, 20000 + i, " +
      fecha + ", " + movement +
      ", CASE WHEN i % 17 = 0 THEN 0 ELSE 100 + "
      "i % 50 + 0.25 * (i % 4) END, 0 FROM " +
      stores +
      ";"
      // payments: every fourth paid in full
      "INSERT INTO edocta SELECT s.reg, s.uni, s.alm, " +
      channel +
      ", 1 + i % 7, 1000 + i, 2, "
      "30000 + i, " +
      fecha +
      " + 5, 60, 0, CASE WHEN i % 4 = 0 THEN 100 + i % 50 + 0.25 * "
      "(i % 4) ELSE 10 + i % 3 END FROM " +
      stores +
      " WHERE i % 3 = 0;"
      "INSERT INTO edocta SELECT s.reg, s.uni, s.alm, " +
      channel +
      ", 1 + i % 7, 1000 + i, 3, "
      "40000 + i, " +
      fecha + ", 51, 80, 0 FROM " + stores +
      " WHERE i % 17 = 0;"
      // the same invoice twice, with another balance
      "INSERT INTO edocta SELECT s.reg, s.uni, s.alm, " +
      channel +
      ", 1 + i % 7, 100000 + "
      "i, 1, 20000 + i, " +
      fecha + ", " + movement + ", 55.5, 0 FROM " + stores +
      " WHERE i % 13 = 0;"
      "INSERT INTO documentos (regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, "
      "cancve, ctecve, dockey, docseriefiscal) SELECT s.reg, s.uni, s.alm, 10000 + i, " +
      movement + ", CASE WHEN i % 17 = 0 THEN 0 ELSE 20000 + i END, " + fecha + ", " + channel +
      ", 1 + i % 7, CASE i % 6 WHEN 0 THEN '' WHEN 1 THEN NULL WHEN 2 THEN "
      "'PENDIENTE' WHEN 3 THEN " +
      uuid + " WHEN 4 THEN ' ' || upper(" + uuid +
      ") ELSE "
      "replace(" +
      uuid +
      ", '-8899-', '_8899-') END, (ARRAY['GDA', 'GDB  ', NULL, 'X'])[1 + "
      "i % 4] FROM " +
      stores +
      " WHERE i % 11 <> 0;"
      "INSERT INTO documentos (regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, "
      "cancve, ctecve, dockey) SELECT s.reg, s.uni, s.alm, 50000 + i, " +
      movement +
      ", 20000 "
      "+ i, " +
      fecha + ", " + channel + ", 1 + i % 7, '' FROM " + stores +
      " WHERE i % 19 = 0;"
      "INSERT INTO docdeta (regcve, unicve, almcve, docord, docren, doccansur, docpagar, "
      "docimpiva, docimpieps, docbasiva, docbasieps) SELECT d.regcve, d.unicve, d.almcve, "
      "d.docord, r, ((r + d.docord) % 3) * 0.5, CASE WHEN d.docord % 23 = 0 THEN NULL ELSE "
      "10 * r + d.docord % 10 + 0.37 END, 1.6 * r, (d.docord % 5) * 0.8, 8.5 * r, CASE WHEN "
      "r = 2 AND d.docord % 7 = 0 THEN NULL ELSE (d.docord % 3) * 1.25 END FROM documentos d, "
      "generate_series(1, 3) r WHERE d.docord >= 10000 AND r <= d.docord % 4;"
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, envioserie, "
      "enviofolio, enviotimbre, enviook, envioxml, enviosubtotal, enviobasieps) SELECT 12, 1, "
      "5, 10000 + i, 51 + i % 3, 'GDA', 20000 + i, CASE i % 5 WHEN 3 THEN '  ' WHEN 4 THEN "
      "'NOPE' ELSE " +
      uuid +
      " END, CASE WHEN i % 5 = 2 THEN 0 ELSE 1 END, '<cfdi/>', 1, "
      "CASE WHEN i % 2 = 0 THEN 9 END FROM generate_series(1, " +
      std::to_string(n) +
      ") i WHERE i % 5 <> 0;"
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, enviotimbre, "
      "enviook, envioxml) SELECT 7, 2, 3, 10000 + i, 51, " +
      uuid +
      ", 1, '<cfdi/>' FROM "
      "generate_series(1, " +
      std::to_string(n) +
      ") i WHERE i % 10 = 7;"
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, envioserie, "
      "enviofolio) SELECT 12, 1, 5, 90000 + i, 52, 'SIN', i FROM generate_series(1, 20) i;"
      "ANALYZE edocta; ANALYZE documentos; ANALYZE docdeta; ANALYZE enviocfdi;";
}

// The tables the invoice phases write, digested.
std::string InvoiceTablesDigest(const TestDatabase& gdb) {
  const std::string digest =
      "select count(*) || ' ' || md5(string_agg(t::text, ',' order by t::text)) from ";
  return gdb.Value(digest + "documentos t") + " " + gdb.Value(digest + "enviocfdi t");
}

// The stamp records of the active store's open invoices, then its tax bases; the rows each
// step counted.
struct PhaseRows {
  int64_t stamps = 0, bases = 0;
};
PhaseRows RunInvoicePhases(const TestDatabase& gdb, bool stamps = true, bool bases = true) {
  TestContext t(gdb.Name());
  AZT903114 driver(*t);
  driver.ReadStoreKey();
  int16_t reg = driver.StoreRegion(), uni = driver.StoreUnit(), alm = driver.StoreWarehouse();
  t->steps.Begin(StepId::InvoiceStamps);
  if (stamps) POBTFACSTIMBRE(*t).Run(reg, uni, alm);
  t->steps.Begin(StepId::TaxBases);
  if (bases) driver.RecalculateInvoiceBases();
  t->steps.End();
  return {t->steps.Get(StepId::InvoiceStamps).rows, t->steps.Get(StepId::TaxBases).rows};
}

// The invoice stamp records and the tax bases of generated stores of several sizes, twice:
// the tables they write, digested, are those the program has always produced.
TEST_F(DriverTest, InvoicePhasesOfGeneratedStores) {
  struct Shape {
    int invoices;
    const char* digest;
  } shapes[] = {
      {60, "183 4fb82ea7260cff7e07ae723c886bc5d2 91 4fe4fb340a77be0aa6b106b090f3e88b"},
      {700, "2028 a3533868b0ffb907fd1354296fcd84b3 739 230cbfe971299043b5d1db1a020634e4"},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.invoices);
    TestDatabase gdb;
    gdb.UpgradeSchema();
    gdb.Exec(GeneratedStoreSql(shape.invoices));
    for (int run = 1; run <= 2; ++run) {
      PhaseRows rows = RunInvoicePhases(gdb);
      EXPECT_EQ(InvoiceTablesDigest(gdb), shape.digest) << "run " << run;
      // Each step counts the open invoices it walked and the invoice rows it recomputed.
      EXPECT_EQ(std::to_string(rows.stamps),
                gdb.Value("select count(*) from edoctafolios_view where regcve = 12 and "
                          "unicve = 1 and almcve = 5"));
      EXPECT_EQ(std::to_string(rows.bases),
                gdb.Value("select count(*) from enviocfdi where regcve = 12 and unicve = 1 and "
                          "almcve = 5 and enviomovcve in (51, 52)"));
    }
  }
}

// A database failure in the middle of each invoice phase ends the run with the fatal
// database error and keeps the batches committed before it; once the cause is mended, a
// second run ends in the database of one uninterrupted run.
TEST_F(DriverTest, InvoicePhasesFailedMidwayEndLikeOneRun) {
  constexpr int kInvoices = 3000;  // more rows than one batch in either phase
  TestDatabase whole, failed;
  for (const TestDatabase* gdb : {&whole, &failed}) {
    gdb->UpgradeSchema();
    gdb->Exec(GeneratedStoreSql(kInvoices));
  }
  RunInvoicePhases(whole);
  EXPECT_EQ(whole.Value("select count(*) from enviocfdi where regcve = 12 and unicve = 1 and "
                        "almcve = 5 and enviomovcve in (51, 52) and enviobasiva is null"),
            "0")
      << "every invoice row gets its bases, however many reads it takes";

  // The customers of channel 60 come last in the walk over the open invoices, the rows
  // from DocOrd 12500 on last in the tax bases.
  failed.Exec(
      "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION "
      "'fuera de servicio'; END $$;"
      "CREATE TRIGGER refuse BEFORE UPDATE ON documentos FOR EACH ROW WHEN (NEW.cancve = 60 "
      "AND NEW.regcve = 12 AND NEW.almcve = 5) EXECUTE PROCEDURE refuse();"
      "CREATE TRIGGER refuse BEFORE UPDATE ON enviocfdi FOR EACH ROW WHEN (NEW.envioord >= "
      "12500) EXECUTE PROCEDURE refuse();");
  const std::string paper =
      "select count(*) from enviocfdi where enviotimbre = '00000000-0000-0000-0000-000000000000'";
  const std::string bases =
      "select count(*) from enviocfdi where enviobasiva is not null and envioxml is distinct "
      "from '<SIN TIMBRE FISCAL POR FACTURA EN PAPEL>'";
  struct Phase {
    const char* name;
    bool stamps, bases;
    const char* trigger;
    std::string committed;
  } phases[] = {{"stamps", true, false, "documentos", paper},
                {"bases", false, true, "enviocfdi", bases}};
  for (const auto& phase : phases) {
    SCOPED_TRACE(phase.name);
    try {
      RunInvoicePhases(failed, phase.stamps, phase.bases);
      ADD_FAILURE() << "the run goes on after the failure";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), 1060);
      EXPECT_NE(e.Description().find("fuera de servicio"), std::string::npos) << e.what();
    }
    const int committed = std::stoi(failed.Value(phase.committed));
    EXPECT_GT(committed, 0) << "the first batch stays";
    EXPECT_LT(committed, std::stoi(whole.Value(phase.committed)));
    failed.Exec("DROP TRIGGER refuse ON " + std::string(phase.trigger));
  }
  RunInvoicePhases(failed);
  EXPECT_EQ(InvoiceTablesDigest(failed), InvoiceTablesDigest(whole));
}

TEST_F(DriverTest, WholeSequenceRunsAndRunsAgain) {
  test::SampleStore store;
  // The store's daily refresh already ran today: the upgrade refreshes all the same, and
  // so does its second run, for it empties the fleet each time.
  db.Exec("UPDATE control SET ctrfecsat = ctrfec");
  for (int run = 1; run <= 2; ++run) {
    store.WritePackages();
    TestContext t(db.Name());
    AZT903114(*t).Run();
    EXPECT_EQ(t.display.messages,
              (std::vector<std::string>{"Presione ACEPTAR para iniciar la REORGANIZACION",
                                        "Reorganización Versión ZIDEVURO 24.03.20 Terminada"}))
        << "run " << run;
    EXPECT_EQ(t.display.LastProgress(), "") << "run " << run;
    EXPECT_EQ(db.Value("select count(*) from vehiculos where vehlocal = 1"), "5") << "run " << run;
    EXPECT_EQ(db.Value("select count(*) from operadorveh where opevlocal = 1"), "6")
        << "run " << run;
    EXPECT_EQ(db.Rows("select ctrfecsat from control order by ctrreg"),
              (std::vector<std::string>{"2024-03-20", "2024-03-20"}))
        << "run " << run;
  }
  // Every schema change is in place and the data fixes are done.
  EXPECT_EQ(db.Value("select count(*) from information_schema.columns where "
                     "(table_name, column_name) in (('clientes','cteregfisdat'),"
                     "('clientes','cteregfiscve'),('histcli','ctecolonia'),"
                     "('enviocfdi1','envioecbaseieps'),('enviocfdi1','envioecbaseiva'),"
                     "('enviocfdi','enviobasieps'),('enviocfdi','enviobasiva'),"
                     "('operadorveh','opevlocal'),('vehiculos','vehlocal'),"
                     "('colonias','colonianombre'),('codigopostal','loccve'))"),
            "11");
  EXPECT_EQ(db.Value("select numeric_precision || ',' || numeric_scale from "
                     "information_schema.columns where table_name = 'enviocfdi' and "
                     "column_name = 'envioiva'"),
            "16,6");
  EXPECT_EQ(db.Value("select count(*) from enviocfdi11"), "0");
  EXPECT_EQ(db.Value("select count(*) from clientes where cteregfisdat <> 'RegiFiscal'"), "0");
  EXPECT_EQ(db.Value("select edoalias from estados where edocve = 9"), "CMX");
  EXPECT_EQ(db.Rows("select cancve, rtrim(canrfc), canforpagcve, canmetpagcve from canales "
                    "where cancve in (5, 54, 57) order by cancve"),
            (std::vector<std::string>{"5||0|0", "54|XAXX010101000|99|3", "57|XAXX010101000|99|3"}));
  EXPECT_EQ(db.Value("select count(*) from clientes where cancve in (54, 57) and "
                     "(cteforpagcve <> 99 or ctemetpagcve <> 3)"),
            "0");
  // The open invoices of the new view: only channels above 2 with a positive balance.
  EXPECT_EQ(
      db.Rows("select cancve, ctecve, documento, saldo, movcve from edoctafolios_view "
              "where regcve = 12 order by cancve, ctecve, fecha, documento"),
      (std::vector<std::string>{"5|1|1008|4640.00|52", "7|1|1001|50.00|51", "7|1|1002|121.00|52",
                                "7|2|1003|232.00|51", "50|1|1005|348.00|51", "60|1|1006|1000.00|52",
                                "60|1|1007|58.00|51"}));
}

}  // namespace
}  // namespace kalu
