#pragma once
// Carta Porte refresh: vehicles and operators from the central transport system.

#include <cstdint>
#include <string>

#include "startup/context.h"

namespace kalu {

class PACTUALIZASAT {
 public:
  explicit PACTUALIZASAT(Context& ctx) : ctx_(ctx) {}
  void Run(int16_t& AV13Opc);

 private:
  Context& ctx_;
};

}  // namespace kalu
