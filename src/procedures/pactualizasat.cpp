#include "procedures/pactualizasat.h"

#include "database/cursor.h"
#include "database/session.h"
#include "procedures/poperadoraddp.h"
#include "procedures/pvehiculosaddp.h"

namespace kalu {

namespace {

constexpr int16_t kOwnStore = 2;
constexpr int16_t kRefreshOne = 3;

}  // namespace

void PACTUALIZASAT::zq_Init_all() {
  businessDate_ = refreshDate_ = kEmptyDate;
  ctrReg_ = ctrUni_ = ctrAlm_ = 0;
  placas_.clear();
  rfc_.clear();
}

void PACTUALIZASAT::Run(int16_t option) {
  zq_Init_all();
  ReadDates();
  if (option == kRefreshNow) ImportAll();
  if (option == kRefreshWhenDue && businessDate_ != refreshDate_) {
    ImportAll();
    RecordRefresh();
  }
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

void PACTUALIZASAT::RefreshAndRecord() {
  zq_Init_all();
  ReadDates();
  ImportAll();
  RecordRefresh();
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

void PACTUALIZASAT::ReadDates() {
  // The dates of the last CONTROL row in key order.
  Cursor p14722(ctx_.session, kApp, "P14722",
                "SELECT CtrFec, CtrFecSat, CtrReg, CtrUni, CtrAlm FROM CONTROL ORDER BY CtrReg, "
                "CtrUni, CtrAlm",
                CursorKind::Read);
  for (bool row = p14722.FetchFirst(); row; row = p14722.FetchNext()) {
    businessDate_ = p14722.Date(1);
    refreshDate_ = p14722.Date(2);
  }
}

void PACTUALIZASAT::RecordRefresh() {
  // Every CONTROL row records the business date as refreshed.
  Cursor p14723(ctx_.session, kApp, "P14723",
                "SELECT CtrFecSat, CtrReg, CtrUni, CtrAlm FROM CONTROL ORDER BY CtrReg, "
                "CtrUni, CtrAlm FOR UPDATE OF CONTROL",
                CursorKind::Update);
  Cursor p14724(ctx_.session, kApp, "P14724",
                "UPDATE CONTROL SET CtrFecSat=? WHERE CtrReg = ? AND CtrUni = ? AND CtrAlm = ?",
                CursorKind::Update);
  for (bool row = p14723.FetchFirst(); row; row = p14723.FetchNext()) {
    ctrReg_ = p14723.Int16(2);
    ctrUni_ = p14723.Int16(3);
    ctrAlm_ = p14723.Int16(4);
    p14724.SetDate(1, businessDate_).SetInt16(2, ctrReg_).SetInt16(3, ctrUni_).SetInt16(4, ctrAlm_);
    p14724.Execute();
    p14724.Close();
  }
  p14723.Close();
  ctx_.session.Commit();
}

void PACTUALIZASAT::ImportAll() {
  std::string blank = " ";
  POPERADORADDP(ctx_, soap_).Run(blank, kOwnStore);
  blank = " ";
  PVEHICULOSADDP(ctx_, soap_).Run(blank, kOwnStore);
  ctx_.session.Commit();
  RefreshExternal();
}

void PACTUALIZASAT::RefreshExternal() {
  RefreshEach(
      "P14725", "SELECT VehLocal, VehPlacas FROM VEHICULOS WHERE VehLocal = 0 ORDER BY VehPlacas",
      placas_,
      [&](std::string& plates, int16_t act) { PVEHICULOSADDP(ctx_, soap_).Run(plates, act); });
  RefreshEach(
      "P14726", "SELECT OpeVLocal, OpeVRFC FROM OPERADORVEH WHERE OpeVLocal = 0 ORDER BY OpeVRFC",
      rfc_, [&](std::string& rfc, int16_t act) { POPERADORADDP(ctx_, soap_).Run(rfc, act); });
}

void PACTUALIZASAT::RefreshEach(std::string_view cursorId, std::string_view sql, std::string& key,
                                const std::function<void(std::string&, int16_t)>& import) {
  Cursor external(ctx_.session, kApp, cursorId, sql, CursorKind::Read);
  for (bool row = external.FetchFirst(); row; row = external.FetchNext()) {
    key = external.Text(2);
    import(key, kRefreshOne);
  }
  external.Close();
  ctx_.session.Commit();
}

}  // namespace kalu
