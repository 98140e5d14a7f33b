// The runtime's conversions: the texts they produce go into status messages, XML and SQL,
// so every case checks the exact characters.

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <ctime>
#include <limits>
#include <locale>
#include <tuple>

#include "platform/clock.h"
#include "platform/process.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {
namespace {

// Asserts that `call` raises run-time error 6 "Overflow".
template <typename Call>
void ExpectOverflow(Call call, const std::string& what) {
  try {
    call();
    ADD_FAILURE() << what << ": no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow) << what;
    EXPECT_EQ(e.Description(), "Overflow") << what;
  }
}

TEST(NumberToText, FixedWidthTexts) {
  struct Case {
    double value;
    int16_t length, decimals;
    const char* expected;
  };
  const Case cases[] = {
      {7, 4, 0, "   7"},
      {12.3, 6, 2, " 12.30"},
      {123456, 4, 0, "****"},
      {-5, 1, 0, "*"},  // the sign takes a position
      {-5, 2, 0, "-5"},
      {3.14159, 4, 2, "3.14"},
      {3.14159, 3, 2, "3.1"},  // decimals reduced to what fits
      {31.4, 2, 1, "31"},      // no room for the point: no decimals
      {2.5, 4, 1, " 2.5"},
      {1234.5, 4, 0, "1235"},       // rounded half up
      {-12.345, 8, 2, "  -12.34"},  // half up is towards the larger number
      {0.285, 6, 2, "  0.29"},      // decimal, not binary, rounding
      {-0.001, 5, 2, " 0.00"},      // no "-0.00"
      {0, 3, 0, "  0"},
      {7, 3, 2, "7.0"},      // a whole number is cut to the length
      {999.6, 3, 0, "***"},  // rounding carries past the length
      {1e15, 10, 0, "**********"},
      {123456789, 10, 0, " 123456789"},
      {65535, 10, 0, "     65535"},
      {7, 0, 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NumberToText(c.value, c.length, c.decimals), c.expected)
        << c.value << " in " << c.length << "," << c.decimals;
  }
}

TEST(NumberToText, TextIsReturnedUnchanged) {
  EXPECT_EQ(NumberToText(std::string_view(" 12abc"), 2, 0), " 12abc");
}

// A numeric punctuation with "," as decimal point and "." for grouping.
struct CommaDecimals : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(NumberToText, IgnoresTheMachinesDecimalSeparator) {
  std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
  std::string previousC = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* name : {"es_MX.UTF-8", "de_DE.UTF-8", "es_ES.UTF-8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name)) break;
  }
  EXPECT_EQ(NumberToText(2.5, 4, 1), " 2.5");
  EXPECT_EQ(NumberToText(1234567.25, 12, 2), "  1234567.25");
  std::setlocale(LC_NUMERIC, previousC.c_str());
  std::locale::global(previous);
}

TEST(RoundHalfUp, DecimalArithmetic) {
  struct Case {
    double value;
    int16_t decimals;
    double expected;
  };
  const Case cases[] = {
      {0.285, 2, 0.29},
      {2.675, 2, 2.68},
      {1.005, 2, 1.01},
      {2.5, 0, 3},
      {-2.5, 0, -2},
      {-2.6, 0, -3},
      {-0.5, 0, 0},
      {3.14159, 1, 3.1},
      {12.3, 2, 12.3},
      {1234.5678, -2, 1200},
      {0, 2, 0},
      {0.0000004, 2, 0},
      {123456789012.345, 2, 123456789012.35},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RoundHalfUp(c.value, c.decimals), c.expected) << c.value << " to " << c.decimals;
  }
}

TEST(CheckedIntegers, RoundHalfToEvenAndOverflow) {
  struct Case {
    double value;
    int32_t expected;
  };
  const Case int16Cases[] = {{12.5, 12},       {13.5, 14},         {-2.5, -2},  {-3.5, -4},
                             {0.5, 0},         {1.5, 2},           {2.4999, 2}, {2.5001, 3},
                             {32767.4, 32767}, {-32768.5, -32768}, {-0.4, 0}};
  for (const Case& c : int16Cases) EXPECT_EQ(ToInt16(c.value), c.expected) << c.value;
  EXPECT_EQ(ToInt32(2147483646.5), 2147483646);
  EXPECT_EQ(ToInt32(-2147483648.5), INT32_MIN);
  EXPECT_EQ(ToInt32(70000.5), 70000);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double value : {32767.5, 32768.0, -32769.0, -32768.51, nan, inf, -inf}) {
    ExpectOverflow([&] { ToInt16(value); }, "ToInt16 " + std::to_string(value));
  }
  for (double value : {2147483647.5, -2147483649.0, 1e10, nan, inf}) {
    ExpectOverflow([&] { ToInt32(value); }, "ToInt32 " + std::to_string(value));
  }
}

TEST(LeadingNumericValue, ReadsTheNumberAtTheStart) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"12abc", 12},  {"abc", 0}, {" -3.5e2x", -350}, {"", 0},       {"+7", 7},
      {".5", 0.5},    {"-", 0},   {"1e", 1},          {"1e+", 1},    {"3.2.1", 3.2},
      {"  42  ", 42}, {"007", 7}, {"2E-3", 0.002},    {"1e-999", 0}, {"- 5", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(LeadingNumericValue(c.text), c.expected) << c.text;
  ExpectOverflow([] { LeadingNumericValue("1e999"); }, "1e999");
}

TEST(Fixed4, ExactFourDecimals) {
  EXPECT_EQ(Fixed4::FromDouble(0.1) + Fixed4::FromDouble(0.2), Fixed4::FromText("0.3"));
  EXPECT_EQ((Fixed4::FromDouble(0.1) + Fixed4::FromDouble(0.2)).ToText(), "0.3");
  EXPECT_EQ((Fixed4::FromText("10") - Fixed4::FromText("0.0001")).ToText(), "9.9999");

  struct Case {
    const char* text;
    int64_t raw;
    const char* shown;
  };
  const Case cases[] = {
      {"-12.3456", -123456, "-12.3456"},
      {"12.5", 125000, "12.5"},
      {"-3", -30000, "-3"},
      {"0.0001", 1, "0.0001"},
      {"-0.0001", -1, "-0.0001"},
      {"0.00005", 0, "0"},       // half to even: down to 0
      {"0.00015", 2, "0.0002"},  // half to even: up to 2
      {"0.00025", 2, "0.0002"},
      {"0.000251", 3, "0.0003"},
      {"abc", 0, "0"},
      {" 7.25xyz", 72500, "7.25"},
      {"1.5e2", 1500000, "150"},
      {"922337203685477.5807", INT64_MAX, "922337203685477.5807"},
      {"-922337203685477.5808", INT64_MIN, "-922337203685477.5808"},
  };
  for (const Case& c : cases) {
    Fixed4 value = Fixed4::FromText(c.text);
    EXPECT_EQ(value.Raw(), c.raw) << c.text;
    EXPECT_EQ(value.ToText(), c.shown) << c.text;
  }

  const std::pair<double, int64_t> doubles[] = {
      {1.00005, 10000}, {1.00015, 10002}, {-2.5, -25000}, {19.99, 199900}, {0, 0}};
  for (auto [value, raw] : doubles) EXPECT_EQ(Fixed4::FromDouble(value).Raw(), raw) << value;
  EXPECT_DOUBLE_EQ(Fixed4::FromText("12.3456").ToDouble(), 12.3456);

  ExpectOverflow([] { Fixed4::FromText("922337203685477.5808"); }, "text past the top");
  ExpectOverflow([] { Fixed4::FromDouble(1e300); }, "1e300");
  ExpectOverflow([] { Fixed4::FromDouble(std::numeric_limits<double>::quiet_NaN()); }, "NaN");
}

TEST(Dates, FromParts) {
  struct Case {
    int16_t year, month, day;
    const char* expected;  // yyyy-mm-dd
  };
  const Case cases[] = {
      {24, 3, 20, "2024-03-20"},   {85, 1, 1, "1985-01-01"},     {2023, 4, 31, "0100-01-01"},
      {79, 12, 31, "2079-12-31"},  {80, 1, 1, "1980-01-01"},     {0, 6, 15, "2000-06-15"},
      {2023, 2, 29, "2023-03-01"}, {2024, 2, 29, "2024-02-29"},  {2024, 2, 30, "0100-01-01"},
      {2024, 0, 1, "0100-01-01"},  {2024, 13, 1, "0100-01-01"},  {2024, 1, 0, "0100-01-01"},
      {2024, 1, 32, "0100-01-01"}, {2024, 6, 31, "0100-01-01"},  {2024, 7, 31, "2024-07-31"},
      {100, 1, 1, "0100-01-01"},   {1899, 12, 30, "1899-12-30"}, {9999, 12, 31, "9999-12-31"},
      {-5, 1, 1, "0100-01-01"},    {10000, 1, 1, "0100-01-01"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatIsoDate(DateFromParts(c.year, c.month, c.day)), c.expected)
        << c.year << "-" << c.month << "-" << c.day;
  }
  EXPECT_EQ(DateFromParts(2023, 4, 31), kEmptyDate);
  EXPECT_EQ(DateFromParts(100, 1, 1), kEmptyDate);
  EXPECT_EQ(DateFromParts(1899, 12, 30), 0);
  EXPECT_EQ(DateFromParts(1900, 1, 1), 2);
  EXPECT_EQ(DateFromParts(2024, 3, 20), 45371);
}

TEST(Dates, TimeOfDayAndNegativeValues) {
  EXPECT_EQ(FormatIsoDateTime(DateTimeFromParts(2024, 3, 20, 13, 5, 9)), "2024-03-20 13:05:09");
  EXPECT_EQ(DateTimeFromParts(2024, 3, 20, 12, 0, 0), 45371.5);
  // Before day 0 the time counts away from zero.
  EXPECT_EQ(DateTimeFromParts(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_EQ(FormatIsoDateTime(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(FormatIsoDateTime(-0.5), "1899-12-30 12:00:00");
  EXPECT_EQ(MakeDate(2024, 3, 20, 13, 5, 9), DateTimeFromParts(24, 3, 20, 13, 5, 9));
  EXPECT_EQ(MakeDate(100, 1, 1), kEmptyDate);
  EXPECT_EQ(MakeDate(2024, 3, 20, 24, 0, 0), MakeDate(2024, 3, 21));

  DateParts empty = SplitDate(kEmptyDate);
  EXPECT_EQ(std::make_tuple(empty.year, empty.month, empty.day, empty.hour),
            std::make_tuple(100, 1, 1, 0));
  DateParts p = SplitDate(MakeDate(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(std::make_tuple(p.year, p.month, p.day, p.hour, p.minute, p.second),
            std::make_tuple(2024, 2, 29, 23, 59, 59));

  EXPECT_EQ(MonthOf(MakeDate(2024, 3, 20)), 3);
  EXPECT_EQ(MonthOf(MakeDate(2024, 12, 31, 23, 59, 59)), 12);
  EXPECT_EQ(MonthOf(-1.25), 12);
  EXPECT_EQ(MonthOf(kEmptyDate), 0);
}

TEST(Dates, FromIsoText) {
  struct Case {
    const char* text;
    bool withTime;
    DateValue expected;
  };
  const Case cases[] = {
      {"0001-01-01", false, kEmptyDate},
      {"2024-03-20", false, MakeDate(2024, 3, 20)},
      {"2024-03-20 13:05:09", false, MakeDate(2024, 3, 20)},
      {"2023-04-31", false, kEmptyDate},
      {"0100-01-01", false, kEmptyDate},
      {"abcd-ef-gh", false, 0},
      {"2024-3-20", false, 0},
      {"", false, 0},
      {"2024-03-20 13:05:09", true, MakeDate(2024, 3, 20, 13, 5, 9)},
      {"2024-03-20T13:05:09.123", true, MakeDate(2024, 3, 20, 13, 5, 9)},
      {"0001-01-01 00:00:00", true, kEmptyDate},
      {"1899-12-29 06:00:00", true, -1.25},
      {"2024-03-20", true, 0},
      {"2024-03-20 xx:05:09", true, 0},
  };
  for (const Case& c : cases) {
    DateValue value = c.withTime ? DateTimeFromIsoText(c.text) : DateFromIsoText(c.text);
    EXPECT_EQ(value, c.expected) << c.text;
  }
  EXPECT_EQ(MonthOf(DateFromIsoText("0001-01-01")), 0);
  EXPECT_EQ(FormatIsoDate(DateFromIsoText("2024-03-20")), "2024-03-20");
}

TEST(Dates, FromPicture) {
  const DateValue noReference = kEmptyDate;
  struct Case {
    const char* text;
    const char* picture;
    DateValue reference;
    bool flagBefore;
    const char* expected;  // yyyy-mm-dd hh:mm:ss
    bool flagAfter;
  };
  const Case cases[] = {
      {"5/3/24", "dd/mm/yy", noReference, true, "2024-03-05 00:00:00", false},
      {"05/03/24", "DD/MM/YY", noReference, false, "2024-03-05 00:00:00", false},
      {"050324", "dd/mm/yy", noReference, false, "2024-03-05 00:00:00", false},
      {"5-3-85", "dd-mm-yy", noReference, false, "1985-03-05 00:00:00", false},
      {"", "dd/mm/yy", noReference, true, "0100-01-01 00:00:00", false},
      {"  /  /  ", "dd/mm/yy", noReference, true, "0100-01-01 00:00:00", false},
      {"05/03/2024", "dd/mm/yy", noReference, false, "0100-01-01 00:00:00", true},
      {"05/03/2024", "dd/mm/yyyy", noReference, false, "2024-03-05 00:00:00", false},
      {"31/04/24", "dd/mm/yy", noReference, false, "0100-01-01 00:00:00", true},
      {"32/01/24", "dd/mm/yy", noReference, false, "0100-01-01 00:00:00", true},
      {"01/13/24", "dd/mm/yy", noReference, false, "0100-01-01 00:00:00", true},
      {"29/02/23", "dd/mm/yy", noReference, false, "0100-01-01 00:00:00", true},
      {"29/02/24", "dd/mm/yy", noReference, false, "2024-02-29 00:00:00", false},
      {"00/03/24", "dd/mm/yy", noReference, false, "0100-01-01 00:00:00", true},
      // a two-digit year that matches the reference day takes the reference's century
      {"05/03/24", "dd/mm/yy", MakeDate(1924, 3, 5), false, "1924-03-05 00:00:00", false},
      {"05/03/24", "dd/mm/yy", MakeDate(1924, 3, 6), false, "2024-03-05 00:00:00", false},
      {"20/03/24 13:05:09", "dd/mm/yy hh:nn:ss", noReference, false, "2024-03-20 13:05:09", false},
      {"20/03/24 24:00:00", "dd/mm/yy hh:nn:ss", noReference, false, "0100-01-01 00:00:00", true},
      {"20/03/24 10:60", "dd/mm/yy hh:nn", noReference, false, "0100-01-01 00:00:00", true},
      {"1:05", "hh:nn p", noReference, false, "1899-12-30 13:05:00", false},
      {"12:30", "hh:nn a", noReference, false, "1899-12-30 00:30:00", false},
  };
  for (const Case& c : cases) {
    bool flag = c.flagBefore;
    DateValue value = DateTimeFromPicture(c.text, c.picture, c.reference, flag);
    EXPECT_EQ(FormatIsoDateTime(value), c.expected) << c.text << " / " << c.picture;
    EXPECT_EQ(flag, c.flagAfter) << c.text << " / " << c.picture;
  }
  bool flag = false;
  EXPECT_EQ(DateTimeFromPicture("5/3/24", "dd/mm/yy", noReference, flag), MakeDate(2024, 3, 5));
  flag = false;
  EXPECT_EQ(DateTimeFromPicture("31/04/24", "dd/mm/yy", noReference, flag), kEmptyDate);
}

TEST(Dates, TodayThroughPicture) {
  EXPECT_EQ(TodayThroughPicture(MakeDate(2024, 3, 20, 13, 5, 9)), MakeDate(2024, 3, 20));
  EXPECT_EQ(TodayThroughPicture(MakeDate(2085, 1, 2, 8, 0, 0)), MakeDate(1985, 1, 2));
}

TEST(Texts, ReplaceFindAndNewLine) {
  EXPECT_EQ(NewLine(), "\r\n");
  struct Replace {
    const char* text;
    const char* what;
    const char* with;
    const char* expected;
  };
  const Replace replaces[] = {
      {"C:\\\\datos\\\\", "\\\\", "\\", "C:\\datos\\"},
      {"aaa", "a", "aa", "aaaaaa"},  // the replacement is not searched again
      {"ABC", "b", "x", "ABC"},      // case-sensitive
      {"abc", "", "x", "abc"},
      {"", "a", "b", ""},
      {"xabcx", "abc", "", "xx"},
  };
  for (const Replace& r : replaces) EXPECT_EQ(ReplaceAll(r.text, r.what, r.with), r.expected);

  struct Find {
    const char* text;
    const char* what;
    int32_t start;
    int32_t expected;
  };
  const Find finds[] = {
      {"abcdef", "cd", 0, 3}, {"abcdef", "cd", 1, 3},
      {"abcdef", "cd", 4, 0}, {"abcabc", "b", 3, 5},
      {"abc", "x", 0, 0},     {"abc", "C", 0, 0},
      {"abc", "c", 9, 0},     {"soap:Body", "Body", 0, 6},
      {"abc", "", 2, 2},      {"0123456789abcdef", "f", 1, 16},
  };
  for (const Find& f : finds) {
    EXPECT_EQ(FindText(f.text, f.what, f.start), f.expected) << f.text << " " << f.what;
  }
  EXPECT_EQ(FindText("abcdef", "cd"), 3);
}

TEST(Texts, TrimCaseAndCharacters) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(RTrim("  a  "), "  a");
  EXPECT_EQ(LTrim("  a  "), "a  ");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(ToUpper("Còdigo"), "CòDIGO");
  EXPECT_EQ(ToLower("DATOS.XMZ"), "datos.xmz");
  EXPECT_TRUE(EqualsIgnoreCase("Importar", "IMPORTAR"));
  EXPECT_FALSE(EqualsIgnoreCase("Importar", "Importa"));
  EXPECT_EQ(CharLength("Còdigo Postal"), 13u);
  EXPECT_EQ(CutToChars("Còdigo", 2), "Cò");
  EXPECT_EQ(CutToChars("abc", 10), "abc");
  EXPECT_EQ(CutToChars("ñ", 0), "");
  EXPECT_EQ(Latin1ToUtf8("Versi\xF3n A\xD1O"), "Versión AÑO");
}

TEST(SystemClock, LocalTimeInWholeSecondsAndSteadyTicks) {
  SystemClock clock;
  std::time_t before = std::time(nullptr);
  DateValue now = clock.Now();
  const std::tm local = LocalTime(before);
  DateParts p = SplitDate(now);
  EXPECT_EQ(std::make_tuple(p.year, p.month, p.day),
            std::make_tuple(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
  EXPECT_EQ(now, MakeDate(p.year, p.month, p.day, p.hour, p.minute, p.second));
  int64_t first = clock.TickCount();
  EXPECT_GE(clock.TickCount(), first);
}

}  // namespace
}  // namespace kalu
