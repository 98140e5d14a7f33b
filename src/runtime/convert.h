#pragma once
// The framework's number, date and text conversions. Their results end up in status
// messages, XML documents and SQL parameters, so they are exact to the character.

#include <cstdint>
#include <string>
#include <string_view>

namespace kalu {

// A date value: days since 1899-12-30 with the time of day as fraction (for negative
// values the fraction counts away from zero).
using DateValue = double;
// The empty date, 0100-01-01: every missing date of the system.
constexpr DateValue kEmptyDate = -657434.0;

// Fixed-width number text: right-aligned in `length` characters with `decimals`
// zero-filled decimals and "." as separator; `length` asterisks when the integer
// part does not fit. NumberToText(7, 4, 0) == "   7".
std::string NumberToText(double value, int16_t length, int16_t decimals);
// A value that is already text is returned unchanged.
std::string NumberToText(std::string_view text, int16_t length, int16_t decimals);

// value * 10^decimals + 0.5, floor, / 10^decimals, in decimal arithmetic.
double RoundHalfUp(double value, int16_t decimals);

DateValue DateFromParts(int16_t year, int16_t month, int16_t day);
DateValue DateTimeFromParts(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute,
                            int16_t second);
DateValue DateFromIsoText(std::string_view text);      // "yyyy-mm-dd..."; 0 on failure
DateValue DateTimeFromIsoText(std::string_view text);  // "yyyy-mm-dd hh:mm:ss"; 0 on failure
int16_t MonthOf(DateValue date);                       // 1-12, 0 for the empty date
DateValue DateTimeFromPicture(std::string_view text, std::string_view picture, DateValue reference,
                              bool& error);

// Calendar parts of a date value (the empty date gives 100, 1, 1).
struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
DateParts SplitDate(DateValue date);
// "yyyy-mm-dd" of a date value.
std::string FormatIsoDate(DateValue date);
// "yyyy-mm-dd hh:mm:ss" of a date value.
std::string FormatIsoDateTime(DateValue date);
// A date as the database takes it: "yyyy-mm-dd", the empty date as "0001-01-01".
std::string SqlDateText(DateValue date);
// A date and time as the database takes it: "yyyy-mm-dd hh:mm:ss", the empty date as
// "0001-01-01 00:00:00" and a time of day alone on "0001-01-01".
std::string SqlDateTimeText(DateValue date);
// The date value of a calendar date and time, without the validity rules of DateFromParts.
DateValue MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// Today's date formatted "dd/mm/yy" and read back with that picture (time dropped,
// year through two digits), as the procedures take "today".
DateValue TodayThroughPicture(DateValue now);

std::string NewLine();  // "\r\n"
std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with);
// 1-based position of `what` in `text` from `start` (0 or 1 mean the beginning), or 0.
int32_t FindText(std::string_view text, std::string_view what, int32_t start = 0);

}  // namespace kalu
