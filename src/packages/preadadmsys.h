#pragma once
// PREADADMSYS: one setting of the store's login system from the registry of the current
// user. The login system names the back-office system's own key in the value "Sistema" of
// "Software\Tellmark\Administracion"; its settings live below "Software\<system>\".

#include <string>

#include "run/context.h"

namespace kalu {

class PREADADMSYS {
 public:
  explicit PREADADMSYS(Context& ctx) : ctx_(ctx) {}
  // The value at the relative path `path` ("Administracion\UserLogin")
  // of the login system, or empty.
  std::string Run(const std::string& path);

 private:
  Context& ctx_;
};

}  // namespace kalu
