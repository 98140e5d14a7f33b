#include "procedures/pcardatosfiscal.h"

#include "procedures/message_pump.h"
#include "runtime/text.h"
#include "startup/cursor.h"
#include "startup/session.h"

namespace kalu {

namespace {

constexpr const char* kCustomersSql =
    "SELECT RegCve, UniCve, AlmCve, CteCve, CanCve, CteUltHist, CteRegFisDat, CteRegFisCve "
    "FROM CLIENTES WHERE RegCve = ? AND UniCve = ? AND AlmCve = ? ORDER BY RegCve, UniCve, "
    "AlmCve, CanCve, CteCve FOR UPDATE OF CLIENTES";
constexpr const char* kChannelSql = "SELECT CanRFC FROM CANALES WHERE CanCve = ?";
constexpr const char* kHistorySql =
    "SELECT RegCve, UniCve, AlmCve, CanCve, CteCve, CteCP, CteColonia, CteRfc, CteHist FROM "
    "HISTCLI WHERE RegCve = ? AND UniCve = ? AND AlmCve = ? AND CanCve = ? AND CteCve = ? AND "
    "CteHist = ? FOR UPDATE OF HISTCLI";
constexpr const char* kColoniesSql =
    "SELECT Colonia, CPCve FROM COLONIAS WHERE CPCve = ? ORDER BY CPCve, Colonia";
constexpr const char* kUpdateColonySql =
    "UPDATE HISTCLI SET CteColonia=? WHERE RegCve = ? AND UniCve = ? AND AlmCve = ? AND "
    "CanCve = ? AND CteCve = ? AND CteHist = ?";
constexpr const char* kUpdateCustomerSql =
    "UPDATE CLIENTES SET CteRegFisDat=?, CteRegFisCve=? WHERE RegCve = ? AND UniCve = ? AND "
    "AlmCve = ? AND CanCve = ? AND CteCve = ?";

constexpr const char* kFiscalDataMark = "RegiFiscal";

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

void PCARDATOSFISCAL::Run(int16_t& A52RegCve, int16_t& A54UniCve, int16_t& A56AlmCve) {
  zq_Init_all();
  regCve_ = A52RegCve;
  uniCve_ = A54UniCve;
  almCve_ = A56AlmCve;

  MessagePump pump(ctx_);
  Cursor p15092(ctx_.session, kApp, "P15092", kCustomersSql, CursorKind::Update);
  Cursor p15093(ctx_.session, kApp, "P15093", kChannelSql, CursorKind::Read);
  p15092.SetInt16(1, regCve_).SetInt16(2, uniCve_).SetInt16(3, almCve_);
  for (bool row = p15092.FetchFirst(); row; row = p15092.FetchNext()) {
    cteCve_ = p15092.Int32(4);
    canCve_ = p15092.Int16(5);
    cteUltHist_ = p15092.Int16(6);
    // A channel without a row has no RFC.
    canRfc_ = p15093.SetInt16(1, canCve_).FetchFirst() ? p15093.Text(1) : std::string();

    Cursor p15094(ctx_.session, kApp, "P15094", kHistorySql, CursorKind::Update);
    p15094.SetInt16(1, regCve_).SetInt16(2, uniCve_).SetInt16(3, almCve_);
    p15094.SetInt16(4, canCve_).SetInt32(5, cteCve_).SetInt16(6, cteUltHist_);
    if (p15094.FetchFirst()) {
      cteCP_ = p15094.Int32(6);
      cteRfc_ = p15094.Text(8);
      cteHist_ = p15094.Int16(9);
      U1115X3();
      regimeCode_ = RegimeCode(ChosenRfc(canRfc_, cteRfc_), canCve_);

      Cursor p15095(ctx_.session, kApp, "P15095", kUpdateColonySql, CursorKind::Update);
      p15095.SetInt16(1, colonia_).SetInt16(2, regCve_).SetInt16(3, uniCve_);
      p15095.SetInt16(4, almCve_).SetInt16(5, canCve_).SetInt32(6, cteCve_);
      p15095.SetInt16(7, cteHist_);
      p15095.Execute();
      p15095.Close();
      ctx_.session.Commit();
    } else {
      // Without a current address the customer's own data is its channel alone; the
      // code of the previous customer must not be carried over to it.
      regimeCode_ = RegimeCode(ChosenRfc(canRfc_, ""), canCve_);
    }
    p15094.Close();

    Cursor p15096(ctx_.session, kApp, "P15096", kUpdateCustomerSql, CursorKind::Update);
    p15096.SetText(1, kFiscalDataMark, 10).SetInt16(2, regimeCode_);
    p15096.SetInt16(3, regCve_).SetInt16(4, uniCve_).SetInt16(5, almCve_);
    p15096.SetInt16(6, canCve_).SetInt32(7, cteCve_);
    p15096.Execute();
    p15096.Close();
    pump.EveryTenMs();
  }
  p15092.Close();
  p15093.Close();

  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void PCARDATOSFISCAL::U1115X3() {
  Cursor p15097(ctx_.session, kApp, "P15097", kColoniesSql, CursorKind::Read);
  p15097.SetInt32(1, cteCP_);
  colonia_ = p15097.FetchFirst() ? p15097.Int16(1) : 0;
  p15097.Close();
}

}  // namespace kalu
