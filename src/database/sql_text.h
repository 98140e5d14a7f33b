#pragma once
// The SQL text of each kind of value the procedures send: a cursor's parameters, the rows a
// batch writer copies and the keys looked up in memory all take their text from here.
//
//   std::string text = SqlText(Fixed4::FromText("12.3456"));   // "12.3456"
//   std::string key = SqlText(Char{name, 80});                 // cut as the column holds it

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/convert.h"
#include "runtime/numbers.h"

namespace kalu {

// The text a value `width` characters wide is sent as: cut at its first NUL, as the
// library's texts end there, then to `width` characters of UTF-8 (no cut when `width` is 0
// or less). `cut`, when given, tells whether the width cut it.
std::string CutText(std::string_view value, int width, bool* cut = nullptr);

// The run log's note for a text cut to the width of its parameter, written once per
// parameter of a cursor (or column of a batch): "Texto recortado a 80 caracteres:
// PCARGACATCOLONIAS, cursor P14944, parametro 3".
std::string CutNote(std::string_view app, std::string_view cursor, int parameter, int width);

// A text and the width of the character column it goes to.
struct Char {
  std::string_view text;
  int width;
};
// A date sent as "yyyy-mm-dd" (the empty date as "0001-01-01"), a date and time as
// "yyyy-mm-dd hh:mm:ss".
struct SqlDate {
  DateValue value;
};
struct SqlDateTime {
  DateValue value;
};

// SqlTraits<T>::Text(value): the SQL text of a value of type T.
template <typename T>
struct SqlTraits;

template <std::integral T>
struct SqlTraits<T> {
  static std::string Text(T value) { return std::to_string(value); }
};
template <>
struct SqlTraits<Fixed4> {
  static std::string Text(Fixed4 value) { return value.ToText(); }
};
template <>
struct SqlTraits<SqlDate> {
  static std::string Text(SqlDate date) { return SqlDateText(date.value); }
};
template <>
struct SqlTraits<SqlDateTime> {
  static std::string Text(SqlDateTime date) { return SqlDateTimeText(date.value); }
};
template <>
struct SqlTraits<Char> {
  static std::string Text(Char value) { return CutText(value.text, value.width); }
};

template <typename T>
std::string SqlText(const T& value) {
  return SqlTraits<T>::Text(value);
}

}  // namespace kalu
