#include "procedures/pvehiculosdel.h"

#include "database/cursor.h"

namespace kalu {

void PVEHICULOSDEL::Run(std::string& AV8Placas, std::string& AV9Emprfc, int16_t& AV10Act) {
  auto remove = [&](std::string_view id, std::string_view sql, const std::string& key, int width) {
    Cursor cursor(ctx_.session, kApp, id, sql, CursorKind::Update);
    cursor.SetText(1, key, width);
    cursor.Execute();
  };
  if (AV10Act == kVehicle) {
    remove("P15242", "DELETE FROM VEHICULOS  WHERE (VehPlacas = ?) AND (VehLocal = 0)", AV8Placas,
           7);
  }
  if (AV10Act == kOperator) {
    remove("P15243", "DELETE FROM OPERADORVEH  WHERE (OpeVRFC = ?) AND (OpeVLocal = 0)", AV9Emprfc,
           13);
  }
  ProcedureEpilogue(ctx_, /*commit=*/true);
}

}  // namespace kalu
