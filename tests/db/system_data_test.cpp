// The system data catalogues against a real PostgreSQL: the sample package of the demo
// store, a second load, the shapes of the document and the log rows of the load.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "database/store_views.h"
#include "packages/package_format.h"
#include "packages/pcargadatosdelsistema.h"
#include "packages/pcargavistaspg.h"
#include "packages/pconsultaspg.h"
#include "packages/pguardasesion.h"
#include "packages/preadadmsys.h"
#include "packages/view_package.h"
#include "platform/process.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "support/sample_store.h"
#include "support/test_support.h"
#include "upgrade/azt903114.h"
#include "upgrade/schema_changes.h"

namespace kalu {
namespace {

using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;
using Rows = std::vector<std::string>;

std::string DatosDocument(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DATOS>\n" + body + "</DATOS>\n";
}

std::string Campo(const std::string& number, const std::string& description) {
  return "<CAMPO><DatNoCa>" + number + "</DatNoCa><DatDesCa>" + description +
         "</DatDesCa></CAMPO>\n";
}

std::string Dato(const std::string& number, const std::string& code,
                 const std::string& description) {
  return "<DATO><DatNoCa>" + number + "</DatNoCa><DatCve>" + code + "</DatCve><DatDes>" +
         description + "</DatDes></DATO>\n";
}

std::string Table(const std::string& name, const std::string& rows) {
  return "<" + name + ">\n" + rows + "</" + name + ">\n";
}

constexpr const char* kDatosSql =
    "select trim(datnoca), trim(datdesca), trim(datuser), datdate, dattime from datos order by 1";
constexpr const char* kDatos1Sql =
    "select trim(datnoca), datcve, trim(datdes), datduser, datddate, datdtime "
    "from datos1 order by 1, 2";

void RunDatos(Context& ctx) {
  PCARGADATOSDELSISTEMA(ctx).Run(/*inPackageFolder=*/1);
}

TEST(SystemDataTest, SamplePackageLoadsCataloguesEntriesAndTheLog) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  test::PutLoginRegistry(wf, "CAJERO01");
  wf.PutPackage("DATOS.XMZ", test::PackageFixture("DATOS.xml"));
  TestContext t(db.Name());
  RunDatos(*t);

  const std::string stamp = "CAJERO01|2024-03-20|2024-03-20 13:05:09";
  EXPECT_EQ(db.Rows(kDatosSql),
            (Rows{"1|Formas de pago|" + stamp, "2|Métodos de pago|" + stamp,
                  "3|Usos de CFDI|" + stamp, "4|Regímenes fiscales|" + stamp, "5|Monedas|" + stamp,
                  "99|Catálogo local|ADMIN|2023-01-10|2023-01-10 08:00:00"}));
  EXPECT_EQ(db.Value("select count(*) from datos1"), "43");
  EXPECT_EQ(db.Rows("select trim(datdes) from datos1 where datnoca = '4' and datcve in (601, 626) "
                    "order by datcve"),
            (Rows{"General de Ley Personas Morales", "Régimen Simplificado de Confianza"}));
  // An existing entry gets the new description and keeps its user and date columns.
  EXPECT_EQ(db.Rows("select trim(datdes), trim(datduser), datddate from datos1 where datnoca = "
                    "'1' and datcve in (1, 3) order by datcve"),
            (Rows{"Efectivo|ADMIN|2023-01-10", "Transferencia electrónica de fondos||0001-01-01"}));
  EXPECT_EQ(db.Rows("select trim(datduser), datdtime from datos1 where datnoca = '2' and "
                    "datcve = 1"),
            (Rows{"|0001-01-01 00:00:00"}));

  // Every call falls in the same second of the same user: one log row.
  EXPECT_EQ(db.Rows("select trim(loguser), logdate, logtime, trim(logobjname), logmode, "
                    "trim(logpc) from logsystem"),
            (Rows{"CAJERO01|2024-03-20|2024-03-20 13:05:09|CargaDatosDelSistema|IMP|" +
                  test::LogStation()}));
  EXPECT_EQ(t.display.progress, (Rows{"Cargando Actualización de Datos del Sistema...", " "}));
}

TEST(SystemDataTest, ASecondLoadChangesOnlyUserDateAndTimeOfTheCatalogues) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  test::PutLoginRegistry(wf, "CAJERO01");
  wf.PutPackage("DATOS.XMZ", test::PackageFixture("DATOS.xml"));
  {
    TestContext t(db.Name());
    RunDatos(*t);
  }
  const Rows datos1 = db.Rows(kDatos1Sql);
  const Rows descriptions = db.Rows("select datnoca, datdesca from datos order by 1");

  test::PutLoginRegistry(wf, "GERENTE");
  wf.PutPackage("DATOS.XMZ", test::PackageFixture("DATOS.xml"));
  TestContext t(db.Name());
  t.clock.Set(MakeDate(2024, 3, 21, 9, 30, 0));
  RunDatos(*t);

  EXPECT_EQ(db.Rows(kDatos1Sql), datos1);
  EXPECT_EQ(db.Rows("select datnoca, datdesca from datos order by 1"), descriptions);
  EXPECT_EQ(
      db.Rows("select trim(datnoca), trim(datuser), datdate, dattime from datos where "
              "datnoca <> '99' order by 1"),
      (Rows{"1|GERENTE|2024-03-21|2024-03-21 09:30:00", "2|GERENTE|2024-03-21|2024-03-21 09:30:00",
            "3|GERENTE|2024-03-21|2024-03-21 09:30:00", "4|GERENTE|2024-03-21|2024-03-21 09:30:00",
            "5|GERENTE|2024-03-21|2024-03-21 09:30:00"}));
  EXPECT_EQ(db.Rows("select trim(loguser), logtime from logsystem order by logtime"),
            (Rows{"CAJERO01|2024-03-20 13:05:09", "GERENTE|2024-03-21 09:30:00"}));
}

TEST(SystemDataTest, DocumentShapes) {
  struct Case {
    const char* what;
    std::string document;
    Rows datos;   // number|description
    Rows datos1;  // number|code|description
  };
  const Rows untouchedDatos = {"1|Formas de pago", "99|Catálogo local"};
  const Case cases[] = {
      {"merge: rows missing from the package stay",
       "<Modo>0</Modo>" + Table("TABLA_DATOS", Campo("2", "Métodos de pago")) +
           Table("TABLA_DATOS1", Dato("2", "1", "PUE")),
       {"1|Formas de pago", "2|Métodos de pago", "99|Catálogo local"},
       {"1|1|Efectivo", "2|1|PUE", "77|1|Huérfana", "99|1|Entrada local"}},
      {"mode 1 purges catalogues and their entries; orphan entries survive",
       "<Modo>1</Modo>" + Table("TABLA_DATOS", Campo("2", "Métodos de pago")) +
           Table("TABLA_DATOS1", Dato("2", "1", "PUE")),
       {"2|Métodos de pago"},
       {"2|1|PUE", "77|1|Huérfana"}},
      {"mode read by its leading number",
       "<Modo> 1.4 veces</Modo>" + Table("TABLA_DATOS", "") + Table("TABLA_DATOS1", ""),
       {},
       {"77|1|Huérfana"}},
      {"TABLA_DATOS before Modo: catalogues not loaded, entries loaded",
       Table("TABLA_DATOS", Campo("2", "Métodos de pago")) + "<Modo>1</Modo>" +
           Table("TABLA_DATOS1", Dato("2", "1", "PUE")),
       {},
       {"2|1|PUE", "77|1|Huérfana"}},
      {"TABLA_DATOS1 found before everything else by the second pass",
       Table("TABLA_DATOS1", Dato("1", "2", "Cheque")) + "<Modo>0</Modo>" +
           Table("TABLA_DATOS", Campo("1", "Formas de pago SAT")),
       {"1|Formas de pago SAT", "99|Catálogo local"},
       {"1|1|Efectivo", "1|2|Cheque", "77|1|Huérfana", "99|1|Entrada local"}},
      {"entry codes by their leading number",
       "<Modo>0</Modo>" +
           Table("TABLA_DATOS1",
                 Dato("5", "12abc", "Doce") + Dato("5", "abc", "Cero") + Dato("5", "2.5", "Dos")),
       untouchedDatos,
       {"1|1|Efectivo", "5|0|Cero", "5|2|Dos", "5|12|Doce", "77|1|Huérfana", "99|1|Entrada local"}},
      {"texts taken as they stand",
       "<Modo>0</Modo>" + Table("TABLA_DATOS", Campo("6", "  Con blancos")) +
           Table("TABLA_DATOS1", Dato("6", "1", "  Con blancos")),
       {"1|Formas de pago", "6|  Con blancos", "99|Catálogo local"},
       {"1|1|Efectivo", "6|1|  Con blancos", "77|1|Huérfana", "99|1|Entrada local"}},
      {"no elements at all",
       "<Otro/>",
       untouchedDatos,
       {"1|1|Efectivo", "77|1|Huérfana", "99|1|Entrada local"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WorkFolder wf;
    TestDatabase db;
    TestDatabase::WriteDsn();
    db.Exec(
        "INSERT INTO datos1 VALUES ('77', 1, 'Huérfana', 'ADMIN', '2023-01-10', "
        "'2023-01-10 08:00:00')");
    test::PutLoginRegistry(wf, "CAJERO01");
    wf.PutPackage("DATOS.XMZ", DatosDocument(c.document));
    TestContext t(db.Name());
    RunDatos(*t);
    EXPECT_EQ(db.Rows("select trim(datnoca), rtrim(datdesca) from datos order by 1"), c.datos);
    EXPECT_EQ(db.Rows("select trim(datnoca), datcve, rtrim(datdes) from datos1 order by 1, 2"),
              c.datos1);
  }
}

// A clock one second further at every reading: each PGUARDASESION call has its own
// second and so its own log row.
class SteppingClock : public Clock {
 public:
  DateValue Now() const override {
    return MakeDate(2024, 3, 20, 13, 0, 0) + (seconds_++) / 86400.0;
  }
  int64_t TickCount() const override { return 0; }

 private:
  mutable int seconds_ = 0;
};

TEST(SystemDataTest, OneLogEntryForTheCataloguesAndOneOrTwoPerEntry) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  test::PutLoginRegistry(wf, "CAJERO01");
  // Three catalogues (one log call), entry 1/1 exists (two calls), 1/2 and 2/1 are new
  // (one call each).
  wf.PutPackage(
      "DATOS.XMZ",
      DatosDocument(
          "<Modo>0</Modo>" +
          Table("TABLA_DATOS", Campo("1", "Formas") + Campo("2", "Métodos") + Campo("3", "Usos")) +
          Table("TABLA_DATOS1",
                Dato("1", "1", "Efectivo") + Dato("1", "2", "Cheque") + Dato("2", "1", "PUE"))));
  TestContext t(db.Name());
  SteppingClock clock;
  Context ctx(t.display, t.session, clock, t.log);
  RunDatos(ctx);
  EXPECT_EQ(db.Value("select count(*) from logsystem"), "5");
  EXPECT_EQ(db.Rows("select distinct dattime from datos where datnoca in ('1','2','3')"),
            Rows{"2024-03-20 13:00:00"});
}

TEST(SystemDataTest, AnEntryCodeBeyond16BitsFailsTheLoadWithNothingCommitted) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  test::PutLoginRegistry(wf, "CAJERO01");
  wf.PutPackage("DATOS.XMZ",
                DatosDocument("<Modo>1</Modo>" + Table("TABLA_DATOS", Campo("2", "Métodos")) +
                              Table("TABLA_DATOS1", Dato("2", "40000", "Fuera de rango"))));
  TestContext t(db.Name());
  try {
    RunDatos(*t);
    ADD_FAILURE() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
  }
  EXPECT_EQ(db.Rows("select trim(datnoca) from datos order by 1"), (Rows{"1", "99"}));
  EXPECT_EQ(db.Value("select count(*) from logsystem"), "0");
}

}  // namespace
}  // namespace kalu
