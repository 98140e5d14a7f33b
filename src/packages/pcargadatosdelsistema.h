#pragma once
// System data catalogue load: DATOS and DATOS1 from "DATOS.XMZ".

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class PCARGADATOSDELSISTEMA {
 public:
  explicit PCARGADATOSDELSISTEMA(Context& ctx) : ctx_(ctx) {}
  void Run(int16_t& AV18Local);

 private:
  Context& ctx_;
};

}  // namespace kalu
