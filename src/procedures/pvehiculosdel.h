#pragma once
// Removal of one centrally supplied (external) vehicle by its plates, or one external
// operator by RFC. Rows of the store's own fleet (VehLocal / OpeVLocal 1) are never
// removed here.

#include <cstdint>
#include <string>

#include "run/context.h"

namespace kalu {

class PVEHICULOSDEL {
 public:
  static constexpr const char* kApp = "PVEHICULOSDEL";
  static constexpr int16_t kVehicle = 1;
  static constexpr int16_t kOperator = 2;

  explicit PVEHICULOSDEL(Context& ctx) : ctx_(ctx) {}

  // AV10Act 1 deletes the external vehicle with plates AV8Placas, 2 the external operator
  // with RFC AV9Emprfc; any other value deletes nothing. Commits in every case. Neither
  // text is changed.
  void Run(std::string& AV8Placas, std::string& AV9Emprfc, int16_t& AV10Act);

 private:
  Context& ctx_;
};

}  // namespace kalu
