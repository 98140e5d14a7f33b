#include "runtime/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "runtime/errors.h"

namespace kalu {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Rounds to the nearest whole number, halves to the even neighbour.
double RoundHalfEven(double value) {
  double lower = std::floor(value);
  double rest = value - lower;
  if (rest > 0.5) return lower + 1;
  if (rest < 0.5) return lower;
  return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

template <typename Int>
Int ToCheckedInt(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
  double rounded = RoundHalfEven(value);
  if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max()) {
    RaiseOverflow();
  }
  return static_cast<Int>(rounded);
}

// The number at the start of a text, split into its parts: value = digits * 10^exponent.
struct LeadingNumber {
  std::string_view text;  // the characters that form the number, sign included
  bool negative = false;
  std::string digits;    // mantissa digits without the decimal point
  int64_t exponent = 0;  // power of ten of the last digit
};

std::optional<LeadingNumber> ScanLeadingNumber(std::string_view text) {
  LeadingNumber number;
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.negative = text[i++] == '-';
  bool anyDigit = false;
  for (; i < text.size() && IsDigit(text[i]); ++i, anyDigit = true) number.digits += text[i];
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && IsDigit(text[i]); ++i, anyDigit = true) {
      number.digits += text[i];
      --number.exponent;
    }
  }
  if (!anyDigit) return std::nullopt;
  // An exponent counts only when at least one digit follows the letter (and its sign).
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) negativeExponent = text[j++] == '-';
    if (j < text.size() && IsDigit(text[j])) {
      int64_t power = 0;
      for (; j < text.size() && IsDigit(text[j]); ++j) {
        if (power < 100000) power = power * 10 + (text[j] - '0');
      }
      number.exponent += negativeExponent ? -power : power;
      i = j;
    }
  }
  number.text = text.substr(start, i - start);
  return number;
}

// The magnitude of digits * 10^(exponent + 4) rounded half to even to a whole number,
// or nothing when it does not fit in 63 bits (plus one for a negative value).
std::optional<uint64_t> ScaledMagnitude(const LeadingNumber& number) {
  int64_t shift = number.exponent + 4;
  std::string kept = number.digits;
  bool roundUp = false;
  if (shift >= 0) {
    if (shift > 40) shift = 40;  // any non-zero digit then overflows anyway
    kept.append(static_cast<std::size_t>(shift), '0');
  } else {
    std::size_t cut = static_cast<std::size_t>(-shift);
    std::string dropped = cut >= kept.size() ? std::string(cut - kept.size(), '0') + kept
                                             : kept.substr(kept.size() - cut);
    kept = cut >= kept.size() ? std::string() : kept.substr(0, kept.size() - cut);
    bool restNonZero = dropped.find_first_not_of('0', 1) != std::string::npos;
    bool lastKeptOdd = !kept.empty() && (kept.back() - '0') % 2 == 1;
    roundUp = dropped[0] > '5' || (dropped[0] == '5' && (restNonZero || lastKeptOdd));
  }
  uint64_t limit =
      static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (number.negative ? 1 : 0);
  uint64_t magnitude = 0;
  for (char c : kept) {
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (roundUp) {
    if (magnitude == limit) return std::nullopt;
    ++magnitude;
  }
  return magnitude;
}

Fixed4 Fixed4FromNumber(const LeadingNumber& number) {
  std::optional<uint64_t> magnitude = ScaledMagnitude(number);
  if (!magnitude) RaiseOverflow();
  int64_t raw =
      number.negative ? static_cast<int64_t>(0 - *magnitude) : static_cast<int64_t>(*magnitude);
  return Fixed4::FromRaw(raw);
}

}  // namespace

int16_t ToInt16(double value) {
  return ToCheckedInt<int16_t>(value);
}
int32_t ToInt32(double value) {
  return ToCheckedInt<int32_t>(value);
}

double LeadingNumericValue(std::string_view text) {
  std::optional<LeadingNumber> number = ScanLeadingNumber(text);
  if (!number) return 0;
  std::string_view digits = number->text;
  if (digits.front() == '+') digits.remove_prefix(1);  // from_chars takes no plus sign
  double value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too small gives zero; too large is the overflow of the conversion.
    if (static_cast<int64_t>(number->digits.size()) + number->exponent < 0) return 0;
    RaiseOverflow();
  }
  return value;
}

Fixed4 Fixed4::FromDouble(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
  // The shortest text that reads back to the value, so 0.1 is one tenth and not the
  // binary neighbour of it; that text is then rounded exactly.
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::optional<LeadingNumber> number = ScanLeadingNumber(std::string_view(buffer, end - buffer));
  return Fixed4FromNumber(*number);
}

Fixed4 Fixed4::FromText(std::string_view text) {
  std::optional<LeadingNumber> number = ScanLeadingNumber(text);
  if (!number) return Fixed4();
  return Fixed4FromNumber(*number);
}

std::string Fixed4::ToText() const {
  uint64_t magnitude = raw_ < 0 ? 0 - static_cast<uint64_t>(raw_) : static_cast<uint64_t>(raw_);
  std::string text = raw_ < 0 ? "-" : "";
  text += std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  fraction.erase(fraction.find_last_not_of('0') + 1);
  if (!fraction.empty()) text += "." + fraction;
  return text;
}

}  // namespace kalu
