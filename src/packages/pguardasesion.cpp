#include "packages/pguardasesion.h"

#include "packages/preadadmsys.h"
#include "packages/preglogsys.h"

namespace kalu {

void PGUARDASESION::Run(std::string& AV8Usuario, DateValue& AV9Fecha, DateValue& AV10Hora,
                        std::string& AV11Objeto, std::string& AV12Modo) {
  std::string object = AV11Objeto;
  std::string mode = AV12Modo;

  std::string userPath = "Administracion\\UserLogin";
  PREADADMSYS(ctx_).Run(userPath, AV8Usuario);

  const DateValue now = ctx_.clock.Now();
  AV9Fecha = TodayThroughPicture(now);
  AV10Hora = now;

  PREGLOGSYS(ctx_).Run(AV8Usuario, AV9Fecha, AV10Hora, object, mode);
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

}  // namespace kalu
