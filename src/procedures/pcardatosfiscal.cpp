#include "procedures/pcardatosfiscal.h"

#include <array>

#include "database/bulk.h"
#include "database/cursor.h"
#include "database/session.h"
#include "run/message_pump.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// Each customer of the store in key order with what its repair needs: the channel's RFC,
// whether it has its latest history row, that row and the first colony of its postal code.
// The tables the repair reads in bulk: the planner knows them before the read.
constexpr std::array<const char*, 4> kTablesRead = {"clientes", "histcli", "canales", "colonias"};
constexpr const char* kCustomersSql =
    "SELECT c.RegCve, c.UniCve, c.AlmCve, c.CteCve, c.CanCve, c.CteUltHist, k.CanRFC, "
    "CASE WHEN h.CteHist IS NULL THEN 0 ELSE 1 END, h.CteHist, h.CteCP, h.CteRfc, (SELECT "
    "l.Colonia FROM COLONIAS l WHERE l.CPCve = "
    "COALESCE(h.CteCP, 0) ORDER BY l.CPCve, l.Colonia LIMIT 1) "
    "FROM CLIENTES c LEFT JOIN CANALES k ON k.CanCve = c.CanCve "
    "LEFT JOIN HISTCLI h ON h.RegCve = c.RegCve AND h.UniCve = c.UniCve AND h.AlmCve = "
    "c.AlmCve AND h.CanCve = c.CanCve AND h.CteCve = c.CteCve AND h.CteHist = c.CteUltHist "
    "WHERE c.RegCve = ? AND c.UniCve = ? AND c.AlmCve = ? "
    "ORDER BY c.RegCve, c.UniCve, c.AlmCve, c.CanCve, c.CteCve";
// The repaired customers: the colony of the history row (ctehist NULL: no history row) and
// the regime code.
constexpr const char* kRepairColumns =
    "regcve smallint, unicve smallint, almcve smallint, cancve smallint, ctecve integer, "
    "ctehist smallint, colonia smallint, regimen smallint";
constexpr const char* kApplyRepairSql =
    "UPDATE HISTCLI h SET CteColonia = b.colonia FROM {batch} b WHERE h.RegCve = b.regcve AND "
    "h.UniCve = b.unicve AND h.AlmCve = b.almcve AND h.CanCve = b.cancve AND h.CteCve = "
    "b.ctecve AND h.CteHist = b.ctehist; "
    "UPDATE CLIENTES c SET CteRegFisDat = 'RegiFiscal', CteRegFisCve = b.regimen FROM {batch} b "
    "WHERE c.RegCve = b.regcve AND c.UniCve = b.unicve AND c.AlmCve = b.almcve AND c.CanCve = "
    "b.cancve AND c.CteCve = b.ctecve";

// Each batch's updates join the whole of CLIENTES and HISTCLI: batches as large as a big
// store's customers keep the phase growing with the store, not with its square.
constexpr size_t kRepairsPerBatch = 50000;

constexpr const char* kColoniesSql =
    "SELECT Colonia, CPCve FROM COLONIAS WHERE CPCve = ? ORDER BY CPCve, Colonia";

}  // namespace

void PCARDATOSFISCAL::zq_Init_all() {
  regCve_ = uniCve_ = almCve_ = canCve_ = cteUltHist_ = cteHist_ = 0;
  cteCve_ = cteCP_ = 0;
  canRfc_.clear();
  cteRfc_.clear();
  colonia_ = 0;
  regimeCode_ = 0;
}

std::string PCARDATOSFISCAL::ChosenRfc(std::string_view canRfc, std::string_view cteRfc) {
  if (!Trim(canRfc).empty()) return std::string(canRfc);
  if (Trim(cteRfc).empty()) return kGenericRfc;
  return std::string(cteRfc);
}

int16_t PCARDATOSFISCAL::RegimeCode(std::string_view rfc, int16_t canCve) {
  if (RTrim(rfc) == kGenericRfc) return 616;
  if (CharLength(Trim(rfc)) == 12) return canCve == 5 || canCve == 49 || canCve == 50 ? 601 : 603;
  return 612;
}

void PCARDATOSFISCAL::Run(int16_t region, int16_t unit, int16_t warehouse) {
  zq_Init_all();
  regCve_ = region;
  uniCve_ = unit;
  almCve_ = warehouse;
  ctx_.session.Analyze(kTablesRead);

  MessagePump pump(ctx_);
  BatchWriter repaired(ctx_.session, kApp, "P15096", kRepairColumns, kApplyRepairSql,
                       kRepairsPerBatch);
  Cursor p15092(ctx_.session, kApp, "P15092", kCustomersSql, CursorKind::Read);
  p15092.SetInt16(1, regCve_).SetInt16(2, uniCve_).SetInt16(3, almCve_);
  int64_t done = 0;
  for (bool row = p15092.FetchFirst(); row; row = p15092.FetchNext()) {
    cteCve_ = p15092.Int32(4);
    canCve_ = p15092.Int16(5);
    cteUltHist_ = p15092.Int16(6);
    // A channel without a row has no RFC.
    canRfc_ = p15092.Text(7);

    repaired.Int16(regCve_).Int16(uniCve_).Int16(almCve_).Int16(canCve_).Int32(cteCve_);
    if (p15092.Int16(8) != 0) {
      cteHist_ = p15092.Int16(9);
      cteCP_ = p15092.Int32(10);
      cteRfc_ = p15092.Text(11);
      colonia_ = p15092.Int16(12);  // as FirstColonyOfPostalCode: 0 without a colony
      regimeCode_ = RegimeCode(ChosenRfc(canRfc_, cteRfc_), canCve_);
      repaired.Int16(cteHist_).Int16(colonia_);
    } else {
      // Without a current address the customer's own data is its channel alone; the
      // code of the previous customer must not be carried over to it.
      regimeCode_ = RegimeCode(ChosenRfc(canRfc_, ""), canCve_);
      repaired.Null().Null();
    }
    repaired.Int16(regimeCode_).EndRow();
    pump.CountRows(1, ++done, p15092.RowCount());
    pump.EveryTenMs();
  }
  p15092.Close();
  repaired.Flush();
  pump.ReportRows();

  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void PCARDATOSFISCAL::FirstColonyOfPostalCode() {
  Cursor p15097(ctx_.session, kApp, "P15097", kColoniesSql, CursorKind::Read);
  p15097.SetInt32(1, cteCP_);
  colonia_ = p15097.FetchFirst() ? p15097.Int16(1) : 0;
}

}  // namespace kalu
