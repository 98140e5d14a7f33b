#include "packages/preglogsys.h"

#include "database/cursor.h"
#include "platform/process.h"

namespace kalu {

void PREGLOGSYS::Run(std::string& AV8Usuario, DateValue& AV9Fecha, DateValue& AV10Hora,
                     std::string& AV11Objeto, std::string& AV12Modo) {
  const std::string workstation = WorkstationName(254);
  Cursor p01283(ctx_.session, kApp, "P01283",
                " INSERT INTO LOGSYSTEM (LogUser, LogDate, LogTime, LogObjName, LogMode, LogPC) "
                "SELECT ?, CAST(? AS date), CAST(? AS timestamp), ?, ?, ? WHERE NOT EXISTS "
                "(SELECT 1 FROM LOGSYSTEM WHERE LogUser = ? AND LogDate = ? AND LogTime = ?) ",
                CursorKind::Update);
  p01283.SetText(1, AV8Usuario, 10).SetDate(2, AV9Fecha).SetDateTime(3, AV10Hora);
  p01283.SetText(4, AV11Objeto, 40).SetText(5, AV12Modo, 3).SetText(6, workstation, 50);
  p01283.SetText(7, AV8Usuario, 10).SetDate(8, AV9Fecha).SetDateTime(9, AV10Hora);
  p01283.Execute();
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

}  // namespace kalu
