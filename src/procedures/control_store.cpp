#include "procedures/control_store.h"

#include "database/cursor.h"

namespace kalu {

void ReadLastControlRegionAndUnit(Context& ctx, std::string_view app, std::string_view cursorId,
                                  int16_t& region, int16_t& unit) {
  Cursor control(ctx.session, app, cursorId,
                 "SELECT CtrReg, CtrUni, CtrAlm FROM CONTROL ORDER BY CtrReg, CtrUni, CtrAlm",
                 CursorKind::Read);
  for (bool row = control.FetchFirst(); row; row = control.FetchNext()) {
    region = control.Int16(1);
    unit = control.Int16(2);
  }
}

}  // namespace kalu
