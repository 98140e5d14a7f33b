#include "packages/preglogsys.h"

#include "database/cursor.h"
#include "platform/process.h"

namespace kalu {

void PREGLOGSYS::Run(const std::string& user, DateValue date, DateValue time,
                     const std::string& object, const std::string& mode) {
  const std::string workstation = WorkstationName(254);
  Cursor p01283(ctx_.session, kApp, "P01283",
                " INSERT INTO LOGSYSTEM (LogUser, LogDate, LogTime, LogObjName, LogMode, LogPC) "
                "SELECT ?, CAST(? AS date), CAST(? AS timestamp), ?, ?, ? WHERE NOT EXISTS "
                "(SELECT 1 FROM LOGSYSTEM WHERE LogUser = ? AND LogDate = ? AND LogTime = ?) ",
                CursorKind::Update);
  p01283.SetText(1, user, 10).SetDate(2, date).SetDateTime(3, time);
  p01283.SetText(4, object, 40).SetText(5, mode, 3).SetText(6, workstation, 50);
  p01283.SetText(7, user, 10).SetDate(8, date).SetDateTime(9, time);
  p01283.Execute();
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

}  // namespace kalu
