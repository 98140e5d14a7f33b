#include "procedures/poperadoraddp.h"

#include <vector>

#include "database/cursor.h"
#include "procedures/control_store.h"
#include "procedures/pvehiculosdel.h"
#include "runtime/numbers.h"
#include "soap/proxies.h"
#include "soap/records.h"

namespace kalu {

namespace {

constexpr int16_t kFetchOne = 1;
constexpr int16_t kOwnStore = 2;
constexpr int16_t kRefreshOne = 3;
constexpr int kRfcWidth = 13;  // OpeVRFC

}  // namespace

void POPERADORADDP::zq_Init_all() {
  succve_ = unicve_ = almcve_ = emptipo_ = 0;
  empnum_ = 0;
  operators_ = ZQSCollection(&ctx_.display);
  processed_ = false;
  record_ = Operator();
  row_ = Operator();
  stored_.clear();
}

void POPERADORADDP::Run(std::string& rfc, int16_t action) {
  zq_Init_all();
  st1cartapor proxy(soap_, &ctx_.display);

  if (action == kOwnStore) {
    ReadLastControlRegionAndUnit(ctx_, kApp, "P15122", succve_, unicve_);
    almcve_ = 0;
  }
  if (action == kFetchOne || action == kRefreshOne) {
    succve_ = unicve_ = emptipo_ = 0;
    empnum_ = 0;
  }

  operators_ = proxy.execute(succve_, unicve_, almcve_, emptipo_, Fixed4::FromDouble(empnum_), rfc);

  // The reply's operators already in the store, read at once; each operator is then an
  // insert or an update sent without waiting.
  std::vector<std::string> rfcs;
  for (int32_t i = 1; i <= operators_.Count(); ++i) {
    rfcs.push_back(operators_.ItemAs<st2cportev2>(static_cast<int16_t>(i)).rfc);
  }
  stored_ = ReadStoredLocals(ctx_, kApp, "P15124_ALL",
                             "SELECT OpeVRFC, OpeVLocal FROM OPERADORVEH WHERE OpeVRFC = ANY "
                             "(CAST(? AS bpchar[]))",
                             rfcs, kRfcWidth);
  WritesBehind writes(ctx_.session);

  // The count is asked on every pass; the index is wider than a position so that a full
  // collection (32767 items) ends the loop.
  for (int32_t i = 1; i <= operators_.Count(); ++i) {
    const auto& item = operators_.ItemAs<st2cportev2>(static_cast<int16_t>(i));
    record_.tipo = item.type;
    record_.num = ToInt32(item.number.ToDouble());
    record_.rfc = item.rfc;
    record_.nombre = item.name;
    record_.licencia = item.license;
    record_.status = item.status;
    record_.statusLic = item.licenseStatus;
    rfc = record_.rfc;
    processed_ = true;
    StoreOperator(rfc, action);
    Progress(ctx_, "Actualizando Operadores Vehiculares, RFC:  " + rfc);
  }

  // An external operator the service no longer returns is removed. A reply that was not
  // read to its end without error (a location that does not cancel on errors) says
  // nothing about the operator, so it removes nothing.
  if (action == kRefreshOne && !processed_ && soap_.LastErrorNumber() == 0) {
    PVEHICULOSDEL(ctx_).Run("", rfc, PVEHICULOSDEL::kOperator);
  }
  Progress(ctx_, std::string(47, ' '));
  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void POPERADORADDP::SetRowFromRecord(const std::string& rfc, int16_t action) {
  const int16_t local = row_.local;
  row_ = record_;
  row_.rfc = rfc;
  row_.local = action == kOwnStore ? 1 : action == kFetchOne ? 0 : local;
}

void POPERADORADDP::StoreOperator(const std::string& rfc, int16_t action) {
  SetRowFromRecord(rfc, action);
  const auto stored = stored_.find(CharKey(row_.rfc, kRfcWidth));
  if (stored == stored_.end()) {
    // The insert lists OpeVStatus before OpeVStatusLic, the update the other way round.
    Cursor p15126(ctx_.session, kApp, "P15126",
                  "INSERT INTO OPERADORVEH (OpeVRFC, OpeVNombre, OpeVLicencia, OpeVTtipo, "
                  "OpeVNum, OpeVStatus, OpeVStatusLic, OpeVLocal) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                  CursorKind::Update);
    p15126.SetText(1, row_.rfc, kRfcWidth)
        .SetText(2, row_.nombre, 80)
        .SetText(3, row_.licencia, 15)
        .SetInt16(4, row_.tipo)
        .SetInt32(5, row_.num)
        .SetInt16(6, row_.status)
        .SetText(7, row_.statusLic, 25)
        .SetInt16(8, row_.local);
    p15126.Execute();
    stored_.emplace(CharKey(row_.rfc, kRfcWidth), row_.local);
  } else {
    // Of the stored row only OpeVLocal outlives the record's values (action 3).
    row_.local = stored->second;
    SetRowFromRecord(rfc, action);
    Cursor p15125(ctx_.session, kApp, "P15125",
                  "UPDATE OPERADORVEH SET OpeVNombre=?, OpeVLicencia=?, OpeVTtipo=?, "
                  "OpeVNum=?, OpeVStatusLic=?, OpeVStatus=?, OpeVLocal=? WHERE OpeVRFC = ?",
                  CursorKind::Update);
    p15125.SetText(1, row_.nombre, 80)
        .SetText(2, row_.licencia, 15)
        .SetInt16(3, row_.tipo)
        .SetInt32(4, row_.num)
        .SetText(5, row_.statusLic, 25)
        .SetInt16(6, row_.status)
        .SetInt16(7, row_.local)
        .SetText(8, row_.rfc, kRfcWidth);
    p15125.Execute();
    stored->second = row_.local;
  }
  ctx_.steps.AddRows(1);
  if (action == kFetchOne) {
    ctx_.display.ShowMessage(
        "Se ha Agregado y/o Actualizado  exitosamente, tu operador Vehicular externo: " + rfc);
  }
}

}  // namespace kalu
