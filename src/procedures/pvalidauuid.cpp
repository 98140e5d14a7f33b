#include "procedures/pvalidauuid.h"

#include "runtime/convert.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kHexDigits = "abcdef0123456789ABCDEF";

bool IsHyphenPosition(int16_t i) {
  return i == 9 || i == 14 || i == 19 || i == 24;
}

}  // namespace

bool PVALIDAUUID::Run(const std::string& stampId) {
  bool wellFormed = false;
  const std::string t = Trim(stampId);
  if (CharLength(t) == 36) {
    // A character outside ASCII is neither a digit nor "-", so it fails before any
    // position after it is looked at: walking bytes walks characters up to there.
    bool passed = true;
    for (int16_t i = 1; i <= 36 && passed; ++i) {
      const std::string c(1, t[static_cast<size_t>(i - 1)]);
      passed = IsHyphenPosition(i) ? c == "-" : FindText(kHexDigits, c, 1) > 0;
      Progress(ctx_, passed ? c + " ok" : std::string());
    }
    wellFormed = passed;
  }
  ProcedureEpilogue(ctx_, /*commit=*/false);
  return wellFormed;
}

}  // namespace kalu
