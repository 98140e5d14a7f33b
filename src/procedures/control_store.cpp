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

std::map<std::string, int16_t> ReadStoredLocals(Context& ctx, std::string_view app,
                                                std::string_view cursorId, std::string_view sql,
                                                std::span<const std::string> keys, int width) {
  std::map<std::string, int16_t> stored;
  if (keys.empty()) return stored;
  Cursor rows(ctx.session, app, cursorId, sql, CursorKind::Read);
  rows.SetTextList(1, keys, width);
  for (bool row = rows.FetchFirst(); row; row = rows.FetchNext()) {
    stored[CharKey(rows.Text(1), width)] = rows.Int16(2);
  }
  return stored;
}

}  // namespace kalu
