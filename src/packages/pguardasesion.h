#pragma once
// PGUARDASESION: the user logged in to the store's login system, today's date and the
// current time, with an entry in the system log for the object and mode given.

#include <string>

#include "run/context.h"
#include "runtime/convert.h"

namespace kalu {

class PGUARDASESION {
 public:
  // Who logged in, and when.
  struct Login {
    std::string user;
    DateValue date = kEmptyDate;  // the date without time
    DateValue time = kEmptyDate;  // date and time
  };

  explicit PGUARDASESION(Context& ctx) : ctx_(ctx) {}
  // `object` is what was done ("CargaDatosDelSistema"), `mode` how
  // ("IMP").
  Login Run(const std::string& object, const std::string& mode);

 private:
  Context& ctx_;
};

}  // namespace kalu
