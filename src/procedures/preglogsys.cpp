#include "procedures/preglogsys.h"

#include "database/cursor.h"
#include "platform/process.h"

namespace kalu {

void PREGLOGSYS::Run(std::string& AV8Usuario, DateValue& AV9Fecha, DateValue& AV10Hora,
                     std::string& AV11Objeto, std::string& AV12Modo) {
  errorCode_ = 0;
  errorMessage_.clear();
  const std::string workstation = WorkstationName(254);

  Cursor p01282(ctx_.session, kApp, "P01282",
                " SELECT LogUser, LogDate, LogTime FROM LOGSYSTEM WHERE LogUser = ? AND LogDate "
                "= ?   AND LogTime = ?  ",
                CursorKind::Read);
  p01282.SetText(1, AV8Usuario, 10).SetDate(2, AV9Fecha).SetDateTime(3, AV10Hora);
  if (!p01282.FetchFirst()) {
    Cursor p01283(ctx_.session, kApp, "P01283",
                  " INSERT INTO LOGSYSTEM (LogUser, LogDate, LogTime, LogObjName, LogMode, LogPC) "
                  "VALUES   (?, ?, ?, ?, ?, ?) ",
                  CursorKind::Update);
    p01283.SetText(1, AV8Usuario, 10).SetDate(2, AV9Fecha).SetDateTime(3, AV10Hora);
    p01283.SetText(4, AV11Objeto, 40).SetText(5, AV12Modo, 3).SetText(6, workstation, 50);
    p01283.Execute();
  } else {
    errorCode_ = 1;
    errorMessage_ = "Ya existe el registro";
  }
  p01282.Close();
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

}  // namespace kalu
