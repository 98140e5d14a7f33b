#pragma once
// Postal-code catalogue load: state aliases and missing postal codes from "CP_SAT_CFDI33.XMZ".

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class PCARGACP_SAT {
 public:
  explicit PCARGACP_SAT(Context& ctx) : ctx_(ctx) {}
  void Run(int16_t& AV26Local);

 private:
  Context& ctx_;
};

}  // namespace kalu
