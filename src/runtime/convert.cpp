#include "runtime/convert.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Day 0 of the date values, 1899-12-30, counted from 1970-01-01.
constexpr int64_t kDayZeroFromUnixEpoch = -25569;
// The last day the date values hold, 9999-12-31.
constexpr double kLastDay = 2958465.0;

// Days since 1970-01-01 of a proleptic Gregorian date; days past the end of the month
// run on into the next one.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year += (month - 1) >= 0 ? (month - 1) / 12 : -((12 - month) / 12);
  month = ((month - 1) % 12 + 12) % 12 + 1;
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// A date value as seconds on a straight time line from day 0 (the fraction of a negative
// value counts away from zero, so -1.25 is 1899-12-29 06:00).
int64_t LinearSeconds(DateValue date) {
  if (!std::isfinite(date) || std::fabs(date) > kLastDay + 1) date = kEmptyDate;
  double day = std::trunc(date);
  double fraction = std::fabs(date - day);
  return static_cast<int64_t>(day) * kSecondsPerDay +
         std::llround(fraction * static_cast<double>(kSecondsPerDay));
}

DateValue FromLinearSeconds(int64_t seconds) {
  int64_t day = FloorDiv(seconds, kSecondsPerDay);
  double fraction =
      static_cast<double>(seconds - day * kSecondsPerDay) / static_cast<double>(kSecondsPerDay);
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

DateValue AddSeconds(DateValue date, int64_t seconds) {
  return FromLinearSeconds(LinearSeconds(date) + seconds);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsCalendarDate(int year, int month, int day) {
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

// A year from 0 to 99 is read as 2000-2079 below 80 and as 1980-1999 from 80 on.
int FullYear(int year) {
  if (year < 0 || year > 99) return year;
  return year < 80 ? 2000 + year : 1900 + year;
}

bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

std::string RemoveChars(std::string_view text, std::string_view chars) {
  std::string result;
  for (char c : text) {
    if (!Contains(chars, std::string_view(&c, 1))) result += c;
  }
  return result;
}

// The plain text form of a number as the runtime writes it: up to 15 significant digits,
// no trailing zeros, exponent form from 1e15 and below 1e-4.
std::string PlainText(double value) {
  if (value == 0) value = 0;  // no "-0"
  char buffer[64];
  auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15).ptr;
  return std::string(buffer, end);
}

std::size_t DecimalDigitsOf(std::string_view plain) {
  std::size_t point = plain.find('.');
  if (point == std::string_view::npos) return 0;
  std::size_t exponent = plain.find_first_of("eE", point);
  return (exponent == std::string_view::npos ? plain.size() : exponent) - point - 1;
}

// The value with exactly `decimals` decimals, "." as separator, no grouping, no "-" on zero.
std::string FixedText(double value, int decimals) {
  // Room for the 309 integer digits of the largest double, sign, point and decimals.
  std::string buffer(320 + static_cast<std::size_t>(decimals), '\0');
  auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                           std::chars_format::fixed, decimals)
                 .ptr;
  std::string text(buffer.data(), end);
  if (text.front() == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
  return text;
}

// A whole number written as digits with optional blanks around and a sign; nothing when
// the text is not such a number.
std::optional<int> WholeNumber(std::string_view text) {
  std::string field = Trim(text);
  std::string_view digits = field;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

std::string_view Mid(std::string_view text, std::size_t position, std::size_t count) {
  return position - 1 < text.size() ? text.substr(position - 1, count) : std::string_view();
}

// Reads the ISO text's numbers at the given 1-based positions (the first 4 characters
// wide, the others 2); nothing when one of them is not a number.
std::optional<DateParts> IsoParts(std::string_view text, int count) {
  static constexpr std::size_t kPositions[] = {1, 6, 9, 12, 15, 18};
  int values[6] = {};
  for (int i = 0; i < count; ++i) {
    std::optional<int> value = WholeNumber(Mid(text, kPositions[i], i == 0 ? 4 : 2));
    if (!value || *value < INT16_MIN || *value > INT16_MAX) return std::nullopt;
    values[i] = *value;
  }
  return DateParts{values[0], values[1], values[2], values[3], values[4], values[5]};
}

// The ISO text cut to `width` characters, with the database's empty date "0001-01-01"
// read as the system's empty date 0100-01-01.
std::string IsoPrefix(std::string_view text, std::size_t width) {
  std::string prefix(text.substr(0, width));
  if (prefix.starts_with("0001-01-01")) prefix.replace(0, 4, "0100");
  return prefix;
}

// Each field between separators shorter than two characters gets a leading "0", then the
// separators go: "5/3/24" becomes "050324".
std::string PadTypedFields(std::string_view text) {
  constexpr std::string_view kFieldSeparators = "/-.:";
  std::string result;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find_first_of(kFieldSeparators, start);
    std::string_view field = text.substr(start, end == std::string_view::npos ? end : end - start);
    if (field.size() < 2) result += '0';
    result += field;
    if (end == std::string_view::npos) return result;
    start = end + 1;
  }
}

}  // namespace

std::string NumberToText(double value, int16_t length, int16_t decimals) {
  const int width = std::max<int>(length, 0);
  const std::string all = PlainText(value);
  const std::string whole = PlainText(std::trunc(value));
  if (!std::isfinite(value) || width < static_cast<int>(whole.size())) {
    return std::string(width, '*');
  }
  int places = std::max<int>(decimals, 0);
  const int present = static_cast<int>(DecimalDigitsOf(all));
  if (width < static_cast<int>(all.size()) - present + places) {
    places =
        width < static_cast<int>(whole.size()) + 2 ? 0 : width - static_cast<int>(whole.size()) - 1;
  }
  std::string text = FixedText(RoundHalfUp(value, static_cast<int16_t>(places)), places);
  // Rounding can carry into one more integer digit (999.6 in 3 places becomes 1000); a text
  // whose integer digits do not fit is an overflow like any other, never a cut-off number.
  if (static_cast<int>(std::min(text.find('.'), text.size())) > width) {
    return std::string(width, '*');
  }
  if (static_cast<int>(text.size()) > width) return text.substr(0, width);
  return std::string(width - text.size(), ' ') + text;
}

std::string NumberToText(std::string_view text, int16_t, int16_t) {
  return std::string(text);
}

double RoundHalfUp(double value, int16_t decimals) {
  if (!std::isfinite(value) || value == 0) return value;
  // The value as a decimal of 15 significant digits, mantissa * 10^(exponent - 14).
  char buffer[64];
  auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14).ptr;
  std::string_view text(buffer, end - buffer);
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t e = text.find('e');
  std::string mantissaDigits = RemoveChars(text.substr(0, e), ".");
  int exponent = 0;
  std::string_view exponentText = text.substr(e + 1);
  if (exponentText.front() == '+') exponentText.remove_prefix(1);
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  uint64_t mantissa = std::stoull(mantissaDigits);

  // Floor of value * 10^decimals + 0.5, done on the digits.
  int scale = exponent - 14;
  const int cut = -(scale + decimals);
  if (cut > 0) {
    uint64_t kept = 0;
    bool roundsAway = false;
    if (cut <= 15) {
      uint64_t power = 1;
      for (int i = 0; i < cut; ++i) power *= 10;
      kept = mantissa / power;
      uint64_t twiceRest = 2 * (mantissa % power);
      roundsAway = negative ? twiceRest > power : twiceRest >= power;
    }
    mantissa = kept + (roundsAway ? 1 : 0);
    scale = -decimals;
  }
  if (mantissa == 0) return 0;
  std::string result = std::to_string(mantissa) + "e" + std::to_string(scale);
  double rounded = 0;
  std::from_chars(result.data(), result.data() + result.size(), rounded);
  return negative ? -rounded : rounded;
}

DateValue MakeDate(int year, int month, int day, int hour, int minute, int second) {
  int64_t days = DaysFromCivil(year, month, day) - kDayZeroFromUnixEpoch;
  return FromLinearSeconds(days * kSecondsPerDay + int64_t{hour} * 3600 + int64_t{minute} * 60 +
                           second);
}

DateParts SplitDate(DateValue date) {
  int64_t seconds = LinearSeconds(date);
  int64_t days = FloorDiv(seconds, kSecondsPerDay);
  int64_t timeOfDay = seconds - days * kSecondsPerDay;
  DateParts parts;
  CivilFromDays(days + kDayZeroFromUnixEpoch, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(timeOfDay / 3600);
  parts.minute = static_cast<int>(timeOfDay / 60 % 60);
  parts.second = static_cast<int>(timeOfDay % 60);
  return parts;
}

std::string FormatIsoDate(DateValue date) {
  DateParts p = SplitDate(date);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.year, p.month, p.day);
  return buffer;
}

std::string FormatIsoDateTime(DateValue date) {
  DateParts p = SplitDate(date);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                p.hour, p.minute, p.second);
  return buffer;
}

std::string SqlDateText(DateValue date) {
  return date == kEmptyDate ? "0001-01-01" : FormatIsoDate(date);
}

std::string SqlDateTimeText(DateValue date) {
  if (date == kEmptyDate) return "0001-01-01 00:00:00";
  if (date >= 0) return FormatIsoDateTime(date);
  return "0001-01-01 " + FormatIsoDateTime(date).substr(11);
}

DateValue DateFromParts(int16_t year, int16_t month, int16_t day) {
  bool invalid = day <= 0 || month <= 0 || day > 31 || month > 12 || (month == 2 && day > 29) ||
                 ((month == 4 || month == 6 || month == 9 || month == 11) && day > 30);
  int fullYear = FullYear(year);
  // Years outside 100-9999 have no date value either.
  if (invalid || fullYear < 100 || fullYear > 9999) return kEmptyDate;
  return MakeDate(fullYear, month, day);  // 29 February of a common year runs on to 1 March
}

DateValue DateTimeFromParts(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute,
                            int16_t second) {
  return AddSeconds(DateFromParts(year, month, day),
                    int64_t{hour} * 3600 + int64_t{minute} * 60 + second);
}

DateValue DateFromIsoText(std::string_view text) {
  std::optional<DateParts> p = IsoParts(IsoPrefix(text, 10), 3);
  if (!p) return 0;
  return DateFromParts(static_cast<int16_t>(p->year), static_cast<int16_t>(p->month),
                       static_cast<int16_t>(p->day));
}

DateValue DateTimeFromIsoText(std::string_view text) {
  std::optional<DateParts> p = IsoParts(IsoPrefix(text, 19), 6);
  if (!p) return 0;
  return DateTimeFromParts(static_cast<int16_t>(p->year), static_cast<int16_t>(p->month),
                           static_cast<int16_t>(p->day), static_cast<int16_t>(p->hour),
                           static_cast<int16_t>(p->minute), static_cast<int16_t>(p->second));
}

int16_t MonthOf(DateValue date) {
  if (std::trunc(date) == kEmptyDate) return 0;
  return static_cast<int16_t>(SplitDate(date).month);
}

DateValue DateTimeFromPicture(std::string_view text, std::string_view picture, DateValue reference,
                              bool& error) {
  constexpr std::string_view kSeparators = "/-.: ";
  if (text.find_first_not_of(kSeparators) == std::string_view::npos) {
    error = false;
    return kEmptyDate;
  }
  const std::string pic = RemoveChars(ToUpper(Trim(picture)), kSeparators);
  const std::string typed = PadTypedFields(RemoveChars(ToUpper(Trim(text)), " "));
  if (typed.size() == pic.size() + 2 && Contains(pic, "YY") && !Contains(pic, "YYYY")) {
    error = true;
    return kEmptyDate;
  }

  // The number typed where the picture has `token`, or nothing when it has no such token.
  auto field = [&](std::string_view token) -> std::optional<int> {
    std::size_t at = pic.find(token);
    if (at == std::string::npos) return std::nullopt;
    std::string_view digits =
        at < typed.size() ? std::string_view(typed).substr(at, token.size()) : std::string_view();
    return static_cast<int>(std::clamp(LeadingNumericValue(digits), -1e6, 1e6));
  };

  DateValue date = 0;
  std::optional<int> day = field("DD"), month = field("MM");
  std::optional<int> year = Contains(pic, "YYYY") ? field("YYYY") : field("YY");
  if (day && month && year) {
    const bool twoDigitYear = *year < 100;
    int fullYear = FullYear(*year);
    if (*day >= 32 || *month > 12 ||
        !(IsCalendarDate(fullYear, *month, *day) || IsCalendarDate(fullYear, *day, *month))) {
      error = true;
    } else {
      DateParts ref = SplitDate(reference);
      if (twoDigitYear && reference != kEmptyDate && ref.year % 100 == *year &&
          ref.month == *month && ref.day == *day) {
        fullYear = ref.year;
      }
      date = MakeDate(fullYear, *month, *day);
      error = false;
    }
  }

  int64_t timeOfDay = 0;
  if (std::optional<int> hour = field("HH")) {
    const int minute = field("NN").value_or(0), second = field("SS").value_or(0);
    if (*hour > 23 || minute >= 60 || second >= 60) {
      error = true;
    } else {
      if (*hour < 12 && Contains(pic, "P")) *hour += 12;
      if (*hour == 12 && Contains(pic, "A")) *hour = 0;
      timeOfDay = int64_t{*hour} * 3600 + minute * 60 + second;
    }
  }
  return error ? kEmptyDate : AddSeconds(date, timeOfDay);
}

DateValue TodayThroughPicture(DateValue now) {
  DateParts p = SplitDate(now);
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d", p.day, p.month, p.year % 100);
  bool error = false;
  return DateTimeFromPicture(text, "dd/mm/yy", kEmptyDate, error);
}

std::string NewLine() {
  return "\r\n";
}

std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
  if (what.empty()) return std::string(text);
  std::string result;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(what, start)) != std::string_view::npos;
       start = at + what.size()) {
    result.append(text.substr(start, at - start)).append(with);
  }
  return result.append(text.substr(start));
}

int32_t FindText(std::string_view text, std::string_view what, int32_t start) {
  const std::size_t from = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
  if (from > text.size()) return 0;
  std::size_t at = text.find(what, from);
  return at == std::string_view::npos ? 0 : static_cast<int32_t>(at + 1);
}

}  // namespace kalu
