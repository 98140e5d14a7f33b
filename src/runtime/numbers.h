#pragma once
// Checked number types of the runtime: 16- and 32-bit integers converted with
// rounding half to even and error 6 on overflow, and the four-decimal fixed point.

#include <cstdint>
#include <string>
#include <string_view>

namespace kalu {

// Rounds half to even and converts; raises error 6 "Overflow" when out of range
// (also for NaN and infinities).
int16_t ToInt16(double value);
int32_t ToInt32(double value);

// The leading numeric value of a text: optional blanks, sign, digits, decimal point,
// exponent, as far as they form a number; 0 when the text does not start with one.
double LeadingNumericValue(std::string_view text);

// A fixed-point number with four decimals (currency): a 64-bit integer scaled by 10,000.
class Fixed4 {
 public:
  constexpr Fixed4() = default;
  static constexpr Fixed4 FromRaw(int64_t raw) {
    Fixed4 f;
    f.raw_ = raw;
    return f;
  }
  // Nearest 1/10000, halves to even; error 6 when out of range.
  static Fixed4 FromDouble(double value);
  // Parses decimal text exactly ("-12.3456"); digits past the fourth decimal are rounded
  // half to even. Text without a number gives 0.
  static Fixed4 FromText(std::string_view text);

  constexpr int64_t Raw() const { return raw_; }
  double ToDouble() const { return static_cast<double>(raw_) / 10000.0; }
  // Exact decimal text without trailing zeros beyond the point ("12.5", "-3", "0.0001").
  std::string ToText() const;

  friend constexpr Fixed4 operator+(Fixed4 a, Fixed4 b) { return FromRaw(a.raw_ + b.raw_); }
  friend constexpr Fixed4 operator-(Fixed4 a, Fixed4 b) { return FromRaw(a.raw_ - b.raw_); }
  friend constexpr auto operator<=>(Fixed4 a, Fixed4 b) = default;

 private:
  int64_t raw_ = 0;
};

}  // namespace kalu
