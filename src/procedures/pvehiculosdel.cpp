#include "procedures/pvehiculosdel.h"

#include "database/cursor.h"

namespace kalu {

void PVEHICULOSDEL::Run(const std::string& plates, const std::string& rfc, int16_t what) {
  auto remove = [&](std::string_view id, std::string_view sql, const std::string& key, int width) {
    Cursor cursor(ctx_.session, kApp, id, sql, CursorKind::Update);
    cursor.SetText(1, key, width);
    cursor.Execute();
  };
  if (what == kVehicle) {
    remove("P15242", "DELETE FROM VEHICULOS  WHERE (VehPlacas = ?) AND (VehLocal = 0)", plates, 7);
  }
  if (what == kOperator) {
    remove("P15243", "DELETE FROM OPERADORVEH  WHERE (OpeVRFC = ?) AND (OpeVLocal = 0)", rfc, 13);
  }
  ProcedureEpilogue(ctx_, /*commit=*/true);
}

}  // namespace kalu
