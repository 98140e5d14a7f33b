#include "procedures/pvehiculosaddp.h"

#include <vector>

#include "database/cursor.h"
#include "procedures/control_store.h"
#include "procedures/pvehiculosdel.h"
#include "runtime/numbers.h"
#include "runtime/text.h"
#include "soap/proxies.h"
#include "soap/records.h"

namespace kalu {

namespace {

constexpr int16_t kFetchOne = 1;
constexpr int16_t kOwnFleet = 2;
constexpr int16_t kRefreshOne = 3;
constexpr int kPlatesWidth = 7;  // VehPlacas

}  // namespace

void PVEHICULOSADDP::zq_Init_all() {
  succve_ = unicve_ = almcve_ = 0;
  numeco_ = 0;
  vehicles_ = ZQSCollection(&ctx_.display);
  processed_ = false;
  record_ = Vehicle();
  row_ = Vehicle();
  stored_.clear();
}

void PVEHICULOSADDP::Run(std::string& plates, int16_t action) {
  zq_Init_all();
  st2cartapor proxy(soap_, &ctx_.display);

  if (action == kOwnFleet) {
    ReadLastControlRegionAndUnit(ctx_, kApp, "P15152", succve_, unicve_);
    almcve_ = 0;
  }
  if (action == kFetchOne || action == kRefreshOne) {
    succve_ = unicve_ = 0;
    numeco_ = 0;
  }

  vehicles_ = proxy.execute(succve_, unicve_, almcve_, Fixed4::FromDouble(numeco_), plates);

  // The reply's vehicles already in the store, read at once; each vehicle is then an insert
  // or an update sent without waiting.
  std::vector<std::string> replyPlates;
  for (int32_t i = 1; i <= vehicles_.Count(); ++i) {
    replyPlates.push_back(vehicles_.ItemAs<st1Etd_vcpv>(static_cast<int16_t>(i)).plates);
  }
  stored_ = ReadStoredLocals(ctx_, kApp, "P15154_ALL",
                             "SELECT VehPlacas, VehLocal FROM VEHICULOS WHERE VehPlacas = ANY "
                             "(CAST(? AS bpchar[]))",
                             replyPlates, kPlatesWidth);
  WritesBehind writes(ctx_.session);
  // The count is asked on every pass; the index is wider than a position so that a full
  // collection (32767 items) ends the loop.
  for (int32_t i = 1; i <= vehicles_.Count(); ++i) {
    const auto& item = vehicles_.ItemAs<st1Etd_vcpv>(static_cast<int16_t>(i));
    record_.placas = item.plates;
    record_.numeco = ToInt32(item.economicNumber.ToDouble());
    record_.tipoVehSct = item.sctType;
    record_.modelo = ToInt16(item.modelYear);
    record_.tipoVehCve = ToInt16(item.vehicleType);
    record_.tipoVehDes = item.vehicleTypeName;
    record_.numPoliza = item.policyNumber;
    record_.nomAseguradora = item.insurer;
    record_.fechVigencia = item.policyValidUntil;
    record_.statusCve = ToInt16(item.status);
    record_.statusDes = item.statusName;
    plates = record_.placas;
    processed_ = true;
    StoreVehicle(plates, action);
    Progress(ctx_, "Actualizacion de Vehiculos,  Placas:  " + plates);
  }

  // An external vehicle the service no longer returns is removed. A reply that was not
  // read to its end without error (a location that does not cancel on errors) says
  // nothing about the vehicle, so it removes nothing.
  if (action == kRefreshOne && !processed_ && soap_.LastErrorNumber() == 0) {
    PVEHICULOSDEL(ctx_).Run(plates, "", PVEHICULOSDEL::kVehicle);
  }
  Progress(ctx_, std::string(47, ' '));
  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void PVEHICULOSADDP::SetRowFromRecord(const std::string& plates, int16_t action) {
  const int16_t local = row_.local;
  row_ = record_;
  row_.placas = plates;
  row_.local = action == kOwnFleet ? 1 : action == kFetchOne ? 0 : local;
}

void PVEHICULOSADDP::BindColumns(Cursor& cursor, int first) const {
  cursor.SetInt32(first, row_.numeco)
      .SetText(first + 1, row_.tipoVehSct, 6)
      .SetInt16(first + 2, row_.modelo)
      .SetInt16(first + 3, row_.tipoVehCve)
      .SetText(first + 4, row_.tipoVehDes, 60)
      .SetText(first + 5, row_.numPoliza, 500)
      .SetText(first + 6, row_.nomAseguradora, 500)
      .SetText(first + 7, row_.fechVigencia, 10)
      .SetInt16(first + 8, row_.statusCve)
      .SetText(first + 9, row_.statusDes, 60)
      .SetInt16(first + 10, row_.local);
}

void PVEHICULOSADDP::StoreVehicle(const std::string& plates, int16_t action) {
  if (RTrim(record_.statusDes) == kInOperation) {
    SetRowFromRecord(plates, action);
    const auto stored = stored_.find(CharKey(row_.placas, kPlatesWidth));
    if (stored == stored_.end()) {
      Cursor p15156(ctx_.session, kApp, "P15156",
                    "INSERT INTO VEHICULOS (VehPlacas, VehNumeco, VehTipoVehSct, Vehmodelo, "
                    "VehTipoVehcve, VehTipoVehDes, VehNnumpoliza, VehNomAseguradora, "
                    "VehFechVigencia, VehStatuscve, VehStatusDes, VehLocal) VALUES (?, ?, ?, ?, "
                    "?, ?, ?, ?, ?, ?, ?, ?)",
                    CursorKind::Update);
      p15156.SetText(1, row_.placas, kPlatesWidth);
      BindColumns(p15156, 2);
      p15156.Execute();
      stored_.emplace(CharKey(row_.placas, kPlatesWidth), row_.local);
    } else {
      // Of the stored row only VehLocal outlives the record's values (action 3).
      row_.local = stored->second;
      SetRowFromRecord(plates, action);
      Cursor p15155(ctx_.session, kApp, "P15155",
                    "UPDATE VEHICULOS SET VehNumeco=?, VehTipoVehSct=?, Vehmodelo=?, "
                    "VehTipoVehcve=?, VehTipoVehDes=?, VehNnumpoliza=?, VehNomAseguradora=?, "
                    "VehFechVigencia=?, VehStatuscve=?, VehStatusDes=?, VehLocal=? WHERE "
                    "VehPlacas = ?",
                    CursorKind::Update);
      BindColumns(p15155, 1);
      p15155.SetText(12, row_.placas, kPlatesWidth);
      p15155.Execute();
      stored->second = row_.local;
    }
    ctx_.steps.AddRows(1);
  }
  if (action == kFetchOne) {
    ctx_.display.ShowMessage("Se ha Agregado y/o Actualizado exitosamente las Placas externas:  " +
                             plates);
  }
}

}  // namespace kalu
