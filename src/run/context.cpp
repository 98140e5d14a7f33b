#include "run/context.h"

#include "database/session.h"

namespace kalu {

void ProcedureEpilogue(Context& ctx, bool commit) {
  ctx.sequenceOnly.desktopDb.Idle(1);  // free locks
  if (commit) ctx.session.Commit();
  ctx.display.SetMousePointer(ctx.savedPointer);
}

}  // namespace kalu
