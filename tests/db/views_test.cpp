// Stored view definitions against a real PostgreSQL: the sample package of the demo store
// into VISTAPG, the drop and create passes over the server's views, the edge cases of the
// package's walk, and what a drop takes with it.

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

std::string View(const std::string& name, const std::string& body) {
  return "<SQL_PG><QUERY_NAME>" + name + "</QUERY_NAME><QUERY_BODY><![CDATA[" + body +
         "]]></QUERY_BODY></SQL_PG>\n";
}

std::string ViewDocument(const std::string& views) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SQLPG>\n" + views + "</SQLPG>\n";
}

// The views of the store's own schema, as the server lists them.
Rows StoreViews(const TestDatabase& db) {
  return db.Rows("select viewname from pg_views where schemaname = 'public' order by 1");
}

const Rows kSampleViews = {"clientesfiscal_view", "datosdelsistema_view", "edocta_view",
                           "edoctafolios_view",   "facturascfdi_view",    "saldosclientes_view"};

// The views of the template store besides the open-invoices view: the statement view and
// the store's own report on it.
const Rows kTemplateViews = {"edocta_view", "edoctafolios_view", "rpt_cargos_view"};

// Runs the three view steps of the upgrade: the load into VISTAPG, the drop pass and the
// create pass over the plain "SQLPG.XMZ" of the working folder, both passes committed
// together as the upgrade commits them. Returns the views the drops took.
std::vector<StoreView> RunViewSteps(Context& ctx) {
  PCARGAVISTASPG(ctx).Run(/*inPackageFolder=*/1);
  PCONSULTASPG dropPass(ctx);
  dropPass.Run("SQLPG.XMZ", "B");
  PCONSULTASPG(ctx).Run("SQLPG.XMZ", "C");
  ctx.session.Commit();
  return dropPass.Taken();
}

TEST(ViewsTest, SamplePackageFillsVistapgAndLeavesTheDatabaseWhole) {
  WorkFolder wf;
  TestDatabase db;
  db.UpgradeSchema();
  TestDatabase::WriteDsn();
  const std::string folios = db.Value("select pg_get_viewdef('edoctafolios_view')");
  wf.PutPackage("SQLPG.XMZ", test::PackageFixture("SQLPG.xml"));
  wf.Write("SQLPG.XMZ", test::PackageFixture("SQLPG.xml"));
  db.Exec(
      "CREATE VIEW resumen_local_view AS SELECT cancve, count(*) AS n FROM edoctafolios_view "
      "GROUP BY cancve");

  TestContext t(db.Name());
  std::vector<StoreView> taken = RunViewSteps(*t);

  // Every view has its row, numbered by the pass of the walk that completed it; the row
  // the package does not reach stays.
  EXPECT_EQ(db.Rows("select vistaid, rtrim(vistaname), vistadate from vistapg order by vistaid"),
            (Rows{"1|vista_antigua|2023-01-10", "3|edocta_view|2024-03-20",
                  "7|EdoCtaFolios_View|2024-03-20", "11|SaldosClientes_View|2024-03-20",
                  "15|ClientesFiscal_View|2024-03-20", "19|FacturasCFDI_View|2024-03-20",
                  "23|DatosDelSistema_View|2024-03-20"}));
  EXPECT_EQ(db.Value("select vistabody from vistapg where vistaid = 3"),
            "SELECT e.regcve, e.unicve, e.almcve, e.cancve, e.ctecve, e.grupo, e.subgrp, "
            "e.documento,\n       e.fecha, e.movcve, e.cargo, e.abono\n  FROM edocta e");

  // The drop pass took the local views that depended on them, read before each drop; every
  // view of the package is back, the open-invoices view exactly as the upgrade defines it.
  Rows takenNames, lostNames;
  for (const StoreView& view : taken) takenNames.push_back(view.name);
  for (const StoreView& view : MissingViews(t.session, taken)) lostNames.push_back(view.name);
  EXPECT_EQ(takenNames,
            (Rows{"edocta_view", "edoctafolios_view", "rpt_cargos_view", "resumen_local_view"}));
  EXPECT_EQ(lostNames, (Rows{"rpt_cargos_view", "resumen_local_view"}));
  EXPECT_EQ(StoreViews(db), kSampleViews);
  EXPECT_EQ(db.Value("select pg_get_viewdef('edoctafolios_view')"), folios);
  for (const std::string& view : kSampleViews) {
    EXPECT_EQ(db.Rows("select count(*) >= 0 from " + view), Rows{"t"}) << view;
  }
  EXPECT_EQ(db.Value("select count(*) from saldosclientes_view"),
            db.Value("select count(distinct (regcve, unicve, almcve, cancve, ctecve)) from "
                     "edoctafolios_view"));

  // The views never stand in the way of the upgrade's own schema changes when it runs
  // again: no view uses a table it drops or a column whose type it changes.
  for (const SchemaChange& change : SchemaChanges()) {
    std::string sql = change.statement;
    if (sql.starts_with("DROP TABLE") || sql.find("ALTER COLUMN") != std::string::npos) {
      db.Exec(sql);
    }
  }

  EXPECT_TRUE(t.display.messages.empty());
  const Rows& p = t.display.progress;
  for (const char* text :
       {"Actualización Catalogo de calidades...", "CARGANDO TABLA DE VISTAS...",
        "Borrando Consulta edocta_view ...", "Borrando Consulta DatosDelSistema_View ...",
        "Creando Consulta EdoCtaFolios_View ..."}) {
    EXPECT_NE(std::find(p.begin(), p.end(), text), p.end()) << text;
  }
  EXPECT_EQ(t.display.LastProgress(), "");
}

TEST(ViewsTest, WalkOfTheViewPackage) {
  struct Case {
    const char* what;
    std::string views;
    Rows rows;  // VISTAPG rows besides the sample store's own
    std::string before = "";
  };
  const Case cases[] = {
      {"two views",
       View("a_view", "select 1") + View("b_view", "select 2"),
       {"3|a_view|select 1|2024-03-20", "7|b_view|select 2|2024-03-20"}},
      {"line ends of a body written on Windows or an old Mac",
       View("a_view", "select 1\r\nfrom t\rwhere x"),
       {"3|a_view|select 1\nfrom t\nwhere x|2024-03-20"}},
      {"query text trimmed in VISTAPG",
       View("a_view", "   select 1   "),
       {"3|a_view|select 1|2024-03-20"}},
      {"a view whose body node is missing",
       "<SQL_PG><QUERY_NAME>a_view</QUERY_NAME><QUERY_BODY/></SQL_PG>\n" +
           View("b_view", "select 2"),
       {"6|b_view|select 2|2024-03-20"}},
      {"a body as plain text, not a separate node",
       "<SQL_PG><QUERY_NAME>a_view</QUERY_NAME><QUERY_BODY>select 1</QUERY_BODY></SQL_PG>\n",
       {}},
      {"the next name replaces a name without body",
       "<SQL_PG><QUERY_NAME>a_view</QUERY_NAME><QUERY_NAME>b_view</QUERY_NAME>"
       "<QUERY_BODY><![CDATA[select 2]]></QUERY_BODY></SQL_PG>\n",
       {"4|b_view|select 2|2024-03-20"}},
      {"a row of the same number is updated",
       "<QUERY_NAME>a_view</QUERY_NAME><QUERY_BODY><![CDATA[select 1]]></QUERY_BODY>",
       {"2|a_view|select 1|2024-03-20"},
       "INSERT INTO vistapg VALUES (2, 'vieja_view', 'select 0', '2023-01-10')"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WorkFolder wf;
    TestDatabase db;
    TestDatabase::WriteDsn();
    if (!c.before.empty()) db.Exec(c.before);
    wf.PutPackage("SQLPG.XMZ", ViewDocument(c.views));
    TestContext t(db.Name());
    PCARGAVISTASPG(*t).Run(/*inPackageFolder=*/1);
    Rows rows = db.Rows(
        "select vistaid, rtrim(vistaname), vistabody, vistadate from vistapg where vistaname <> "
        "'vista_antigua' order by vistaid");
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(t.display.progress.back(), "");
  }
}

TEST(ViewsTest, ADocumentWhoseFirstReadFailsLoadsNothing) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  wf.PutPackage("SQLPG.XMZ", "this is not XML");
  TestContext t(db.Name());
  PCARGAVISTASPG(*t).Run(/*inPackageFolder=*/1);
  EXPECT_EQ(db.Rows("select vistaid, rtrim(vistaname) from vistapg"), Rows{"1|vista_antigua"});
  EXPECT_EQ(t.display.progress, (Rows{"Actualización Catalogo de calidades...", "", ""}));
}

TEST(ViewsTest, TheNodeCounterOverflowsAt32767Nodes) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  std::string filler;
  for (int i = 0; i < 32800; ++i) filler += "<X/>";
  wf.PutPackage("SQLPG.XMZ", ViewDocument(View("a_view", "select 1") + filler));
  TestContext t(db.Name());
  try {
    PCARGAVISTASPG(*t).Run(/*inPackageFolder=*/1);
    ADD_FAILURE() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
    EXPECT_EQ(e.Description(), "Overflow");
  }
  // Nothing of the load was committed.
  EXPECT_EQ(db.Rows("select vistaid, rtrim(vistaname) from vistapg"), Rows{"1|vista_antigua"});
}

TEST(ViewsTest, OptionCCreatesAnyOtherOptionDrops) {
  struct Case {
    const char* option;
    bool viewBefore;
    bool viewAfter;
    const char* progress;
  };
  const Case cases[] = {
      {"C", false, true, "Creando Consulta reporte_view ..."},
      {"C   ", false, true, "Creando Consulta reporte_view ..."},
      {"c", true, false, "Borrando Consulta reporte_view ..."},
      {"B", true, false, "Borrando Consulta reporte_view ..."},
      {"", true, false, "Borrando Consulta reporte_view ..."},
      {" C", true, false, "Borrando Consulta reporte_view ..."},
      {"B", false, false, "Borrando Consulta reporte_view ..."},  // nothing to drop: passed over
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("option \"") + c.option + "\"");
    WorkFolder wf;
    TestDatabase db;
    TestDatabase::WriteDsn();
    if (c.viewBefore) {
      db.Exec(
          "CREATE VIEW reporte_view AS SELECT 0 AS uno; "
          "CREATE VIEW mi_reporte_view AS SELECT uno + 1 AS dos FROM reporte_view");
    }
    wf.Write("SQLPG.XMZ", ViewDocument(View("reporte_view", "\n  select 1 as uno\n")));
    TestContext t(db.Name());
    std::string file = "SQLPG.XMZ", option = c.option;
    PCONSULTASPG views(*t);
    views.Run(file, option);
    // The procedure commits nothing: its caller does.
    EXPECT_EQ(db.Value("select count(*) from pg_views where viewname = 'reporte_view'"),
              c.viewBefore ? "1" : "0");
    t.session.Commit();
    EXPECT_EQ(db.Value("select count(*) from pg_views where viewname = 'reporte_view'"),
              c.viewAfter ? "1" : "0");
    Rows taken;
    for (const StoreView& view : views.Taken()) taken.push_back(view.name);
    EXPECT_EQ(taken, (c.viewBefore ? Rows{"reporte_view", "mi_reporte_view"} : Rows{}));
    EXPECT_EQ(t.display.progress, (Rows{c.progress, ""}));
    EXPECT_TRUE(t.display.messages.empty());
  }
}

TEST(ViewsTest, ViewNamesThatAreNotPlainNamesAreSkipped) {
  struct Case {
    const char* name;
    bool plain;
  };
  const Case cases[] = {
      {"edocta_view", true},
      {"EdoCtaFolios_View", true},
      {"reportes.ventas_view", true},
      {"_v$1", true},
      {"vista_año", true},
      {"1vista", false},
      {"$vista", false},
      {"a.b.c", false},
      {"a.", false},
      {".a", false},
      {"a..b", false},
      {"a b", false},
      {"a;b", false},
      {"\"a\"", false},
      {"a-b", false},
      {"edocta_view CASCADE --", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlainViewName(c.name), c.plain) << c.name;

  WorkFolder wf;
  TestDatabase db;
  db.UpgradeSchema();
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  RunLog log("run.log");
  Context ctx(t.display, t.session, t.clock, log);

  // Drop pass: a name that would carry more SQL is left out, and nothing reaches the server.
  wf.Write("SQLPG.XMZ", ViewDocument(View("edocta_view CASCADE --", "select 1") +
                                     View("datos; DROP TABLE datos1", "select 1")));
  t.session.EnsureConnected();
  const int64_t before = t.session.Library().RoundTrips();
  std::string file = "SQLPG.XMZ", drop = "B", create = "C";
  PCONSULTASPG(ctx).Run(file, drop);
  EXPECT_EQ(t.session.Library().RoundTrips(), before);
  EXPECT_EQ(StoreViews(db), kTemplateViews);

  // Create pass: the bad name is left out, the good one after it is created.
  wf.Write("SQLPG.XMZ", ViewDocument(View("x AS SELECT 1; DROP TABLE datos1; --", "select 1") +
                                     View("bueno_view", "select 1 as uno")));
  PCONSULTASPG(ctx).Run(file, create);
  t.session.Commit();
  EXPECT_EQ(StoreViews(db),
            (Rows{"bueno_view", "edocta_view", "edoctafolios_view", "rpt_cargos_view"}));
  EXPECT_EQ(db.Value("select count(*) from datos1"), "2");
  EXPECT_EQ(t.display.progress, (Rows{"", "Creando Consulta bueno_view ...", ""}));

  std::string text = test::ReadText(wf.Path() / "run.log");
  for (const char* line :
       {"PCONSULTASPG: se omite la consulta de nombre no válido \"edocta_view CASCADE --\"\n",
        "PCONSULTASPG: se omite la consulta de nombre no válido \"datos; DROP TABLE datos1\"\n",
        "PCONSULTASPG: se omite la consulta de nombre no válido \"x AS SELECT 1; DROP TABLE "
        "datos1; --\"\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
  }
}

TEST(ViewsTest, AFileThatCannotBeReadShowsTheReadersErrorAndChangesNothing) {
  std::vector<uint8_t> packed = PackDocument(test::PackageFixture("SQLPG.xml"));
  struct Case {
    const char* what;
    std::string content;  // of "SQLPG.XMZ" in the working folder; empty: no such file
    const char* code;     // the reader's error code as the message shows it, or empty
  };
  const Case cases[] = {
      {"missing: only the package in Importar", "", "      1549"},
      {"still compressed: not XML", std::string(packed.begin(), packed.end()), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WorkFolder wf;
    TestDatabase db;
    db.UpgradeSchema();
    TestDatabase::WriteDsn();
    wf.PutPackage("SQLPG.XMZ", test::PackageFixture("SQLPG.xml"));
    if (!c.content.empty()) wf.Write("SQLPG.XMZ", c.content);
    TestContext t(db.Name());
    for (std::string option : {"B", "C"}) {
      SCOPED_TRACE(option);
      t.display.messages.clear();
      std::string file = "SQLPG.XMZ";
      PCONSULTASPG(*t).Run(file, option);
      ASSERT_EQ(t.display.messages.size(), 1u);
      const std::string& message = t.display.messages[0];
      EXPECT_EQ(message.substr(0, 6), "Error:");
      if (*c.code) {
        EXPECT_EQ(message.substr(6, 10), c.code) << message;
        EXPECT_NE(message.find("SQLPG.XMZ"), std::string::npos) << message;
      }
    }
    EXPECT_FALSE(t.session.IsConnected());
    EXPECT_EQ(StoreViews(db), kTemplateViews);
  }
}

// A view that cannot be created ends the run with the server's error shown first; the
// drop pass and the create pass are one transaction, so every view stands as before the
// passes, none of the package's half made.
TEST(ViewsTest, AFailingCreateIsShownThenEndsTheRunWithEveryViewAsBefore) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  wf.Write("SQLPG.XMZ", ViewDocument(View("edocta_view", "select * from edocta") +
                                     View("primera_view", "select 1 as uno") +
                                     View("rota_view", "select * from no_existe") +
                                     View("tercera_view", "select 3 as tres")));
  TestContext t(db.Name());
  std::string file = "SQLPG.XMZ", drop = "B", create = "C";
  try {
    PCONSULTASPG(*t).Run(file, drop);
    PCONSULTASPG(*t).Run(file, create);
    ADD_FAILURE() << "no fatal error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kErrFatalDatabase);
    EXPECT_EQ(e.Description().substr(0, 16), "Error code:  42 ") << e.Description();
  }
  ASSERT_EQ(t.display.messages.size(), 1u);
  EXPECT_EQ(t.display.messages[0].substr(0, 33), "Error:   42 SQLSTATE 42P01: relat")
      << t.display.messages[0];
  EXPECT_EQ(StoreViews(db), kTemplateViews);
}

// What a drop takes with it, read from the catalog before the drop: the view, then the
// views on it however deep, each after those it uses, so that their statements create
// them all again in that order; a view in another schema or with a quoted name is named
// as the server names it.
TEST(ViewsTest, TheViewsADropTakesAreReadWithTheStatementsThatCreateThemAgain) {
  TestDatabase db;
  TestDatabase::WriteDsn();
  db.Exec(
      "CREATE VIEW base_v AS SELECT 1 AS a; "
      "CREATE VIEW mid_v AS SELECT a FROM base_v; "
      "CREATE VIEW \"Mixto_V\" AS SELECT a FROM mid_v; "
      "CREATE SCHEMA reportes; "
      "CREATE VIEW reportes.top_v AS SELECT m.a FROM mid_v m JOIN base_v b ON b.a = m.a; "
      "CREATE MATERIALIZED VIEW mat_v AS SELECT a FROM base_v; "
      "CREATE VIEW otra_v AS SELECT 2 AS b");
  TestContext t(db.Name());
  std::vector<StoreView> taken = ViewsDroppedWith(t.session, "Base_V");
  Rows names;
  for (const StoreView& view : taken) names.push_back(view.name);
  EXPECT_EQ(names, (Rows{"base_v", "mat_v", "mid_v", "\"Mixto_V\"", "reportes.top_v"}));
  EXPECT_TRUE(ViewsDroppedWith(t.session, "no_existe_v").empty());
  EXPECT_TRUE(ViewsDroppedWith(t.session, "edocta").empty());  // a table, not a view

  t.session.Library().ZQ_DB_ExecImm(t.session.Handle(), "PRUEBA", "DROP VIEW base_v CASCADE");
  EXPECT_EQ(MissingViews(t.session, taken).size(), taken.size());
  for (const StoreView& view : taken) {
    EXPECT_NO_THROW(t.session.Execute("PRUEBA", CreateStatement(view))) << CreateStatement(view);
  }
  EXPECT_TRUE(MissingViews(t.session, taken).empty());
  t.session.Commit();
  EXPECT_EQ(db.Value("select a from reportes.top_v"), "1");
  EXPECT_EQ(db.Value("select count(*) from pg_matviews where matviewname = 'mat_v'"), "1");
}

}  // namespace
}  // namespace kalu
