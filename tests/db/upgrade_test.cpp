// The upgrade driver against a real PostgreSQL: the store key, the tax base recalculation
// and the whole sequence of statements, twice.

#include <gtest/gtest.h>

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
    driver.U1215S1();
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
  driver.U1215S1();
  driver.U1315S1();

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
