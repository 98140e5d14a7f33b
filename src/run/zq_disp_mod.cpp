#include "run/zq_disp_mod.h"

#include "database/session.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

void StartUp(Context& ctx, const std::string& programPath, const std::string& logname) {
  ctx.sequenceOnly.ReadFolders(programPath);

  std::string user = Trim(logname);
  ctx.sequenceOnly.userName = user.empty() ? "GUEST" : user;

  ctx.savedPointer = ctx.display.MousePointer();
  ctx.display.SetMousePointer(kPointerHourglass);

  ctx.session.Initialize();

  ctx.sequenceOnly.OpenDesktopDatabase();

  ctx.sequenceOnly.runningProgram = "AZT903114";
  ctx.display.ShowMainWindow();
}

bool AdjustRunCounter(Context& ctx, int16_t delta) {
  int32_t counter = static_cast<int32_t>(ctx.runCounter) + delta;
  if (counter < INT16_MIN || counter > INT16_MAX) RaiseOverflow();
  ctx.runCounter = static_cast<int16_t>(counter);
  return ctx.runCounter == 0;
}

void Shutdown(Context& ctx) {
  ctx.sequenceOnly.desktopDb.Close();
  ctx.session.End();
  ctx.display.HideWindows();
  // One period of the wait for the report viewer, which this program never opens.
  ctx.display.WaitForInput(800);
  ctx.display.PumpMessages();
}

void CloseMainWindow(Context& ctx) {
  ctx.sequenceOnly.desktopDb.Close();
  ctx.session.End();
}

}  // namespace kalu
