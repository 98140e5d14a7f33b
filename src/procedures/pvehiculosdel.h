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

  // `what` kVehicle deletes the external vehicle with plates `plates`,
  // kOperator the external operator with RFC `rfc`; any other value deletes
  // nothing. Commits in every case.
  void Run(const std::string& plates, const std::string& rfc, int16_t what);

 private:
  Context& ctx_;
};

}  // namespace kalu
