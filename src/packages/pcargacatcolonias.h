#pragma once
// Colonies catalogue load: missing colonies from "CATCOLONIAS.XMZ".

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class PCARGACATCOLONIAS {
 public:
  explicit PCARGACATCOLONIAS(Context& ctx) : ctx_(ctx) {}
  void Run(int16_t& AV26Local);

 private:
  Context& ctx_;
};

}  // namespace kalu
