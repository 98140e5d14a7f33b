#include "upgrade/azt903114.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>

#include "database/bulk.h"
#include "database/session.h"
#include "database/store_views.h"
#include "packages/pcargacatcolonias.h"
#include "packages/pcargacp_sat.h"
#include "packages/pcargadatosdelsistema.h"
#include "packages/pcargavistaspg.h"
#include "packages/pconsultaspg.h"
#include "procedures/pactualizasat.h"
#include "procedures/pcardatosfiscal.h"
#include "procedures/pobtfacstimbre.h"
#include "run/message_pump.h"
#include "run/shown_failure.h"
#include "runtime/convert.h"
#include "runtime/failure_point.h"
#include "runtime/text.h"
#include "upgrade/schema_changes.h"

namespace kalu {

namespace {

constexpr std::array<const char*, 18> kViewLines = {
    "select regcve, unicve, almcve, cancve, ctecve, folio as documento, fecha, Saldo, movcve ",
    "from ( ",
    "    select ",
    "        s.Regcve, s.unicve, s.almcve, s.cancve, s.ctecve, s.grupo, ",
    "        min(CASE WHEN m.movcacte='C' and s.subgrp = 1 Then s.documento END) as Folio,",
    "        min(s.fecha) as fecha,",
    "        cast((sum(CASE WHEN m.movcacte='C' THEN s.cargo END)-sum(s.abono)) as "
    "numeric(11,2)) as Saldo,",
    "        min(CASE WHEN s.subgrp = 1 THEN s.movcve ELSE NULL::numeric END) AS movcve ",
    "     FROM edocta_view s join movimientos m ON (s.movcve=m.movcve) ",
    "     group by ",
    "        s.Regcve, s.unicve, s.almcve, s.cancve, s.ctecve, s.grupo ",
    "     having ",
    "        s.CanCve > 2 ",
    ") AS fac ",
    "where ",
    "     fac.saldo > 0 ",
    "order by ",
    "  fac.Regcve, fac.unicve, fac.almcve, fac.cancve, fac.ctecve,fac.fecha,fac.folio ",
};

constexpr const char* kStoreKeySql =
    " SELECT CtrAct, CtrAlm, CtrUni, CtrReg FROM CONTROL WHERE CtrAct = '*' ORDER BY CtrReg,   "
    "CtrUni, CtrAlm  ";
// The store's invoice rows of movements 51 and 52 after a given EnvioOrd, a thousand at a
// time in their order, each with whether its document (of movement 51 or 52) exists and
// the base sums of the document's supplied lines (NULL over no lines).
constexpr int kRowsPerRead = 1000;
// Each row's document and lines are looked up by key, so that a read costs its thousand
// rows whatever the size of the store.
constexpr const char* kInvoiceRowsSql =
    " SELECT e.EnvioMovCve, e.EnvioBasIEPS, e.EnvioBasIVA, e.EnvioFolio, e.EnvioSerie, "
    "e.EnvioOrd, e.AlmCve, e.UniCve, e.RegCve, coalesce(d.found, 0), l.ieps, l.iva FROM "
    "ENVIOCFDI e LEFT JOIN LATERAL (SELECT 1 AS found FROM DOCUMENTOS d WHERE d.RegCve = "
    "e.RegCve and d.UniCve = e.UniCve and d.AlmCve = e.AlmCve and d.DocOrd = e.EnvioOrd AND "
    "(d.MovCve = 51 or d.MovCve = 52) LIMIT 1) d ON true LEFT JOIN LATERAL (SELECT "
    "SUM(DocBasIEPS) AS ieps, SUM(DocBasIva) AS iva FROM DOCDETA x WHERE x.RegCve = e.RegCve "
    "and x.UniCve = e.UniCve and x.AlmCve = e.AlmCve and x.DocOrd = e.EnvioOrd and x.DocCanSur "
    "> 0) l ON true WHERE (e.RegCve = ? AND e.UniCve = ? AND e.AlmCve = ?) AND (e.EnvioMovCve "
    "= 51 or e.EnvioMovCve = 52) AND e.EnvioOrd > ?::bigint ORDER BY e.RegCve, e.UniCve, "
    "e.AlmCve, e.EnvioOrd LIMIT ? ";
// The tables the recalculation reads: the invoice rows the stamps have just added among
// them.
constexpr std::array<const char*, 3> kTaxBaseTablesRead = {"enviocfdi", "documentos", "docdeta"};
constexpr const char* kInvoiceRowCountSql =
    " SELECT count(*) FROM ENVIOCFDI WHERE (RegCve = ? AND UniCve = ? AND AlmCve = ?) AND "
    "(EnvioMovCve = 51 or EnvioMovCve = 52) ";
// The new bases of each row, written by batch.
constexpr const char* kBasesTable = "kalu_basesenvio";
constexpr const char* kBasesColumns =
    "regcve smallint, unicve smallint, almcve smallint, envioord integer, basieps numeric, "
    "basiva numeric";
constexpr const char* kApplyBasesSql =
    "UPDATE ENVIOCFDI e SET EnvioBasIEPS = t.basieps, EnvioBasIVA = t.basiva FROM "
    "{batch} t WHERE e.RegCve = t.regcve AND e.UniCve = t.unicve AND e.AlmCve = "
    "t.almcve AND e.EnvioOrd = t.envioord";

}  // namespace

const char* StoreKeyStatement() {
  return kStoreKeySql;
}

std::string EdoCtaFoliosViewStatement() {
  std::string sql = "CREATE OR REPLACE VIEW EdoCtaFolios_View AS ";
  for (size_t i = 0; i < kViewLines.size(); ++i) {
    sql += kViewLines[i];
    if (i + 1 < kViewLines.size()) sql += "\r\n";
  }
  return sql;
}

AZT903114::AZT903114(Context& ctx) : ctx_(ctx), pump_(ctx) {}

void AZT903114::zq_Init_all() {
  statementText_.clear();
  executionText_.clear();
  storeRegion_ = storeUnit_ = storeWarehouse_ = 0;
  storeActive_.clear();
  docOrd_ = 0;
  newIeps_ = newIva_ = Fixed4();
}

void AZT903114::Run() {
  zq_Init_all();
  ctx_.display.ShowMessage("Presione ACEPTAR para iniciar la REORGANIZACION");
  if (ctx_.onUpgradeStart) ctx_.onUpgradeStart();

  ApplySchemaChanges();
  RecreateFoliosView();
  RefreshCartaPorte();
  ApplyDataFixes();
  ReadStoreKey();
  ReloadStoredViews();
  LoadCatalogues();
  RepairCustomersAndInvoices();
  RecalculateTaxBases();
  AnalyzeChangedTables();
  Finish();
}

// The schema changes are one transaction, each statement under its savepoint: a run that
// ends among them (a failure, a kill, a power cut) leaves the store's tables as they were,
// never a table dropped and not yet created again.
void AZT903114::ApplySchemaChanges() {
  ctx_.steps.Begin(StepId::Schema);
  int64_t sent = 0;
  for (const SchemaChange& change : SchemaChanges()) {
    StatementStep(change.statement);
    FailurePoint("statement-sent", "schema", ++sent);
  }
  ctx_.session.Commit();
}

void AZT903114::RecreateFoliosView() {
  ctx_.steps.Begin(StepId::View);
  Progress(ctx_, "Borrando Consulta EdoCtaFolios_View ...");
  takenViews_ = ViewsDroppedWith(ctx_.session, "EdoCtaFolios_View");
  ctx_.session.Execute(kApp, " DROP VIEW EdoCtaFolios_View CASCADE ");
  // No commit until the view is created again: the next commit is the Carta Porte
  // refresh's, so a run that ends before it leaves the view as it was.
  FailurePoint("views-dropped", "EdoCtaFolios_View");

  Progress(ctx_, "Creando Consulta EdoCtaFolios_View ...");
  executionText_ = EdoCtaFoliosViewStatement();
  // A failure to create the view is shown to the operator before the run ends (U1115S1).
  ShowingDatabaseError(ctx_.display, [&] { ctx_.session.Execute(kApp, executionText_); });
}

void AZT903114::RefreshCartaPorte() {
  // The Carta Porte tables have just been emptied: their refresh runs now, whatever the
  // date of the last one, and records the business date as refreshed. Waiting for the
  // date to change would leave the store without its fleet after a second run.
  ctx_.steps.Begin(StepId::CartaPorte);
  Call("PACTUALIZASAT", [&] { PACTUALIZASAT(ctx_).RefreshAndRecord(); });
}

void AZT903114::ApplyDataFixes() {
  // The data fixes belong to the schema step, which resumes for them.
  ctx_.steps.Begin(StepId::Schema);
  for (const char* sql : DataFixStatements()) StatementStep(sql);
  ctx_.session.Commit();
}

void AZT903114::ReloadStoredViews() {
  ctx_.steps.Begin(StepId::StoredViews);
  Call("PCARGAVISTASPG", [&] { PCARGAVISTASPG(ctx_).Run(/*inPackageFolder=*/1); });
  // The drop pass and the create pass are one transaction, committed once the last view
  // is created again: a run that ends between them (a failure, a kill, a power cut) leaves
  // every view as it was, and the next run finds the views it builds on.
  auto apply = [&](const char* option) {
    Call(std::string("PCONSULTASPG ") + option, [&] {
      PCONSULTASPG views(ctx_);
      views.Run("SQLPG.XMZ", option);
      takenViews_.insert(takenViews_.end(), views.Taken().begin(), views.Taken().end());
    });
  };
  apply("B");
  FailurePoint("views-dropped", "SQLPG.XMZ");
  apply("C");
  std::vector<StoreView> lost = MissingViews(ctx_.session, takenViews_);
  ctx_.session.Commit();

  // The store's own views that depended on the package's views (or on the open-invoices
  // view, dropped at the start) are gone with them: each is named to the operator and
  // written to the run log as it was, so that the store can create it again.
  for (StoreView& view : lost) {
    std::string notice = "Vista de la tienda eliminada por la reorganización: " + view.name;
    ctx_.log.Line(notice + "\n" + CreateStatement(view));
    ctx_.steps.Notice(notice);
    ctx_.droppedViews.push_back(std::move(view));
  }
}

void AZT903114::LoadCatalogues() {
  ctx_.steps.Begin(StepId::PostalCodes);
  Call("PCARGACP_SAT", [&] { PCARGACP_SAT(ctx_).Run(/*inPackageFolder=*/1); });
  ctx_.steps.Begin(StepId::Colonies);
  Call("PCARGACATCOLONIAS", [&] { PCARGACATCOLONIAS(ctx_).Run(/*inPackageFolder=*/1); });
  ctx_.steps.Begin(StepId::SystemData);
  Call("PCARGADATOSDELSISTEMA", [&] { PCARGADATOSDELSISTEMA(ctx_).Run(/*inPackageFolder=*/1); });
}

void AZT903114::RepairCustomersAndInvoices() {
  ctx_.steps.Begin(StepId::Fiscal);
  Call("PCARDATOSFISCAL",
       [&] { PCARDATOSFISCAL(ctx_).Run(storeRegion_, storeUnit_, storeWarehouse_); });
  ctx_.steps.Begin(StepId::InvoiceStamps);
  Call("POBTFACSTIMBRE",
       [&] { POBTFACSTIMBRE(ctx_).Run(storeRegion_, storeUnit_, storeWarehouse_); });
}

void AZT903114::RecalculateTaxBases() {
  ctx_.steps.Begin(StepId::TaxBases);
  Call("U1315S1", [&] { RecalculateInvoiceBases(); });
  ctx_.steps.End();
}

void AZT903114::AnalyzeChangedTables() {
  // The store's own programs plan well the next morning: every table the run changed has
  // fresh statistics.
  std::vector<const char*> tables(ChangedTables().begin(), ChangedTables().end());
  for (const SchemaChange& change : SchemaChanges()) {
    if (change.LeavesFact() && std::ranges::none_of(tables, [&](const char* t) {
          return std::string_view(t) == change.table;
        })) {
      tables.push_back(change.table);
    }
  }
  ctx_.session.Analyze(tables);
  ctx_.session.Commit();
}

void AZT903114::Finish() {
  if (ctx_.onUpgradeEnd) ctx_.onUpgradeEnd();
  Progress(ctx_, "");
  ctx_.display.ShowMessage("Reorganización Versión ZIDEVURO 24.03.20 Terminada");
  ctx_.sequenceOnly.desktopDb.Idle(1);
  ctx_.session.Commit();
  ctx_.display.SetMousePointer(ctx_.savedPointer);
}

void AZT903114::StatementStep(std::string_view sql) {
  statementText_ = std::string(sql);
  executionText_ = statementText_;
  ctx_.session.Execute(kApp, executionText_);
  ctx_.steps.AddRows(ctx_.session.Library().RowsChanged());
}

void AZT903114::Call(std::string_view name, const std::function<void()>& procedure) {
  ctx_.log.Line(std::string(name) + ": inicio");
  // The rows the procedure adds to the running step, and the statements it sends.
  auto stepRows = [this] {
    int current = ctx_.steps.Current();
    return current < 0 ? int64_t{0} : ctx_.steps.All()[current].rows;
  };
  int64_t rowsBefore = stepRows();
  int64_t tripsBefore = ctx_.session.Library().RoundTrips();
  auto start = std::chrono::steady_clock::now();
  procedure();
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  ctx_.timings.push_back({std::string(name), elapsed.count(), stepRows() - rowsBefore,
                          ctx_.session.Library().RoundTrips() - tripsBefore});
  char text[64];
  std::snprintf(text, sizeof text, ": terminado en %.3f s", elapsed.count());
  ctx_.log.Line(std::string(name) + text);
}

Cursor AZT903114::DriverCursor(std::string_view id, std::string_view sql, CursorKind kind) {
  return Cursor(ctx_.session, kApp, id, sql, kind);
}

void AZT903114::ReadStoreKey() {
  Cursor p15042 = DriverCursor("P15042", kStoreKeySql, CursorKind::Read);
  for (bool row = p15042.FetchFirst(); row; row = p15042.FetchNext()) {
    storeActive_ = p15042.Text(1);
    storeWarehouse_ = p15042.Int16(2);
    storeUnit_ = p15042.Int16(3);
    storeRegion_ = p15042.Int16(4);
    pump_.EveryTenMs();
  }
}

void AZT903114::RecalculateInvoiceBases() {
  ctx_.session.Analyze(kTaxBaseTablesRead);
  Cursor count = DriverCursor("P15043N", kInvoiceRowCountSql, CursorKind::Read);
  count.SetInt16(1, storeRegion_).SetInt16(2, storeUnit_).SetInt16(3, storeWarehouse_);
  const int64_t total = count.FetchFirst() ? count.Int32(1) : 0;
  count.Close();
  int64_t done = 0;
  pump_.BeginWalk(total);

  BatchWriter bases(ctx_.session, kApp, kBasesTable, kBasesColumns,
                    std::string(kLookUpByKey) + kApplyBasesSql, kRowsPerKeyedBatch);
  // The rows are read a thousand at a time, each read going on after the last EnvioOrd of
  // the one before, so that the display keeps moving however many rows there are.
  int64_t after = int64_t{INT32_MIN} - 1;
  for (int read = kRowsPerRead; read == kRowsPerRead;) {
    Cursor p15043 = DriverCursor("P15043", kInvoiceRowsSql, CursorKind::Read);
    p15043.SetInt16(1, storeRegion_).SetInt16(2, storeUnit_).SetInt16(3, storeWarehouse_);
    p15043.SetInt64(4, after).SetInt32(5, kRowsPerRead);
    read = 0;
    for (bool row = p15043.FetchFirst(); row; row = p15043.FetchNext()) {
      int32_t folio = p15043.Int32(4);
      std::string serie = p15043.Text(5);
      int32_t envioOrd = p15043.Int32(6);
      int16_t alm = p15043.Int16(7), uni = p15043.Int16(8), reg = p15043.Int16(9);
      rowDocument_ = {p15043.Int16(10) == 1, p15043.Decimal(11), p15043.Decimal(12)};
      after = envioOrd;
      ++read;

      docOrd_ = envioOrd;
      newIeps_ = newIva_ = Fixed4();
      NewBasesOfRow();

      Progress(ctx_, "Actualizando Documento Serie: " + Trim(serie) +
                         ", Folio : " + Trim(NumberToText(folio, 10, 0)));

      bases.Int16(reg).Int16(uni).Int16(alm).Int32(envioOrd);
      bases.Decimal(newIeps_).Decimal(newIva_).EndRow();
      pump_.CountRows(1, ++done, total);
      pump_.EveryTenMs();
    }
  }
  bases.Flush();
  pump_.ReportRows();
  ctx_.session.Commit();
}

void AZT903114::NewBasesOfRow() {
  if (rowDocument_.exists) {
    // The document's supplied lines: a sum over none reads as 0.
    newIeps_ = rowDocument_.iepsBase;
    newIva_ = rowDocument_.ivaBase;
    ctx_.display.PumpMessages();
  }
}

}  // namespace kalu
