#pragma once
// Stored view definitions: copies every view of "SQLPG.XMZ" into VISTAPG.

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class PCARGAVISTASPG {
 public:
  explicit PCARGAVISTASPG(Context& ctx) : ctx_(ctx) {}
  void Run(int16_t& AV17Local);

 private:
  Context& ctx_;
};

}  // namespace kalu
