// The runtime conversions on any numbers and texts. What must hold:
//  - NumberToText is always exactly its width (none for a width below 1);
//  - a date read from a text, written and read again is the same date, and so is a
//    date and time; a calendar date written as ISO text reads back as itself;
//  - a fixed-point value read from a text, written and read again is the same;
//  - a date read with a picture is the empty date whenever the error flag is set.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "check.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/text.h"
#include "soap/records.h"

namespace {

using kalu::fuzz::Check;

bool SameDate(kalu::DateValue a, kalu::DateValue b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const double value = in.ConsumeFloatingPoint<double>();
  const auto length = in.ConsumeIntegralInRange<int16_t>(-4, 400);
  const auto decimals = in.ConsumeIntegralInRange<int16_t>(-4, 40);
  const auto year = in.ConsumeIntegral<int16_t>();
  const auto month = in.ConsumeIntegral<int16_t>();
  const auto day = in.ConsumeIntegral<int16_t>();
  const auto hour = in.ConsumeIntegralInRange<int16_t>(0, 23);
  const auto minute = in.ConsumeIntegralInRange<int16_t>(0, 59);
  const auto second = in.ConsumeIntegralInRange<int16_t>(0, 59);
  const std::string picture = in.ConsumeRandomLengthString(16);
  const std::string text = in.ConsumeRemainingBytesAsString();

  double leading = 0;
  try {
    leading = kalu::LeadingNumericValue(text);
  } catch (const kalu::RuntimeError& e) {
    Check(e.Number() == kalu::kErrOverflow, "a number too big to read is an overflow");
  }
  for (double number : {value, leading}) {
    const std::string fixed = kalu::NumberToText(number, length, decimals);
    Check(kalu::CharLength(fixed) == static_cast<std::size_t>(length < 0 ? 0 : length),
          "NumberToText is exactly its width");
    try {
      (void)kalu::ToInt16(number);
      (void)kalu::ToInt32(number);
      (void)kalu::Fixed4::FromDouble(number);
    } catch (const kalu::RuntimeError& e) {
      Check(e.Number() == kalu::kErrOverflow, "an out-of-range number is an overflow");
    }
  }

  const kalu::DateValue read = kalu::SoapDateFromText(text);
  const std::string written = kalu::SoapDateText(read);
  Check(written.size() == 10, "a date text has ten characters");
  Check(SameDate(kalu::SoapDateFromText(written), read), "a date written reads back the same");

  const kalu::DateValue date = kalu::DateFromParts(year, month, day);
  const kalu::DateParts parts = kalu::SplitDate(date);
  if (date != kalu::kEmptyDate && parts.year >= 100 && parts.year <= 9999) {
    Check(SameDate(kalu::DateFromIsoText(kalu::FormatIsoDate(date)), date),
          "an ISO date reads back the same");
    const kalu::DateValue stamp = kalu::DateTimeFromParts(year, month, day, hour, minute, second);
    Check(SameDate(kalu::DateTimeFromIsoText(kalu::FormatIsoDateTime(stamp)), stamp),
          "an ISO date and time reads back the same");
  }

  try {
    const kalu::Fixed4 amount = kalu::Fixed4::FromText(text);
    Check(kalu::Fixed4::FromText(amount.ToText()) == amount,
          "a fixed-point value written reads back the same");
  } catch (const kalu::RuntimeError& e) {
    Check(e.Number() == kalu::kErrOverflow, "a fixed-point value too big is an overflow");
  }

  bool error = false;
  const kalu::DateValue typed = kalu::DateTimeFromPicture(text, picture, read, error);
  if (error) Check(typed == kalu::kEmptyDate, "a rejected date is the empty date");
  return 0;
}
