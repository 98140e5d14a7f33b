#pragma once
// Customer fiscal data repair: colony of the current address and fiscal regime.

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class PCARDATOSFISCAL {
 public:
  explicit PCARDATOSFISCAL(Context& ctx) : ctx_(ctx) {}
  void Run(int16_t& A52RegCve, int16_t& A54UniCve, int16_t& A56AlmCve);

 private:
  Context& ctx_;
};

}  // namespace kalu
