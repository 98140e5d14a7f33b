#pragma once
// Form check of a fiscal stamp identifier (UUID of an electronic invoice): 36 characters,
// hexadecimal digits in groups of 8, 4, 4, 4 and 12 joined by "-". Only the form counts:
// the all-zero identifier of a paper invoice is valid.

#include <cstdint>
#include <string>

#include "run/context.h"

namespace kalu {

class PVALIDAUUID {
 public:
  static constexpr const char* kApp = "PVALIDAUUID";

  explicit PVALIDAUUID(Context& ctx) : ctx_(ctx) {}

  // True when `stampId`, without surrounding blanks, is well
  // formed. Each character that passes shows itself followed by " ok" in the progress
  // display; the first that fails blanks it. A text whose length is not 36 leaves the
  // display alone. Touches no table.
  bool Run(const std::string& stampId);

 private:
  Context& ctx_;
};

}  // namespace kalu
