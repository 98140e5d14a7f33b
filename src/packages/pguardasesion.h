#pragma once
// PGUARDASESION: the user logged in to the store's login system, today's date and the
// current time, with an entry in the system log for the object and mode given.

#include <string>

#include "run/context.h"
#include "runtime/convert.h"

namespace kalu {

class PGUARDASESION {
 public:
  explicit PGUARDASESION(Context& ctx) : ctx_(ctx) {}
  // AV8Usuario, AV9Fecha (the date without time) and AV10Hora (date and time) come back;
  // AV11Objeto is what was done ("CargaDatosDelSistema"), AV12Modo how ("IMP").
  void Run(std::string& AV8Usuario, DateValue& AV9Fecha, DateValue& AV10Hora,
           std::string& AV11Objeto, std::string& AV12Modo);

 private:
  Context& ctx_;
};

}  // namespace kalu
