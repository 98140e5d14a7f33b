#pragma once
// Invoice stamp records: paper invoices get the all-zero identifier and their submission row.

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class POBTFACSTIMBRE {
 public:
  explicit POBTFACSTIMBRE(Context& ctx) : ctx_(ctx) {}
  void Run(int16_t& AV8Regcve, int16_t& AV9Unicve, int16_t& AV10Almcve);

 private:
  Context& ctx_;
};

}  // namespace kalu
