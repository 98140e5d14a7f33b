#include "packages/pguardasesion.h"

#include "packages/preadadmsys.h"
#include "packages/preglogsys.h"

namespace kalu {

PGUARDASESION::Login PGUARDASESION::Run(const std::string& object, const std::string& mode) {
  Login login;
  login.user = PREADADMSYS(ctx_).Run("Administracion\\UserLogin");

  const DateValue now = ctx_.clock.Now();
  login.date = TodayThroughPicture(now);
  login.time = now;

  PREGLOGSYS(ctx_).Run(login.user, login.date, login.time, object, mode);
  ProcedureEpilogue(ctx_, /*commit=*/false);
  return login;
}

}  // namespace kalu
