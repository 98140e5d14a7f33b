#pragma once
// The message a procedure shows before a database failure ends the run, where its
// description asks for one: "Error:" with the native code as number text of length 5, a
// space and the error text.

#include <functional>

#include "platform/display.h"

namespace kalu {

// Runs `work`; a DatabaseError raised in it is shown to the operator, then goes on.
void ShowingDatabaseError(Display& display, const std::function<void()>& work);

}  // namespace kalu
