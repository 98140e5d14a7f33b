#include "run/shown_failure.h"

#include "database/session.h"
#include "runtime/convert.h"

namespace kalu {

void ShowingDatabaseError(Display& display, const std::function<void()>& work) {
  try {
    work();
  } catch (const DatabaseError& e) {
    display.ShowMessage("Error:" + NumberToText(e.NativeCode(), 5, 0) + " " + e.ErrorText());
    throw;
  }
}

}  // namespace kalu
