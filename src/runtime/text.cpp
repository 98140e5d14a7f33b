#include "runtime/text.h"

#include <algorithm>

namespace kalu {

namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string Trim(std::string_view s) {
  return RTrim(LTrim(s));
}

std::string RTrim(std::string_view s) {
  std::size_t end = s.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1));
}

std::string LTrim(std::string_view s) {
  std::size_t start = s.find_first_not_of(' ');
  return std::string(start == std::string_view::npos ? std::string_view() : s.substr(start));
}

std::string ToLower(std::string_view s) {
  std::string result(s);
  std::transform(result.begin(), result.end(), result.begin(), LowerAscii);
  return result;
}

std::string ToUpper(std::string_view s) {
  std::string result(s);
  std::transform(result.begin(), result.end(), result.begin(), UpperAscii);
  return result;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::size_t CharLength(std::string_view s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return !IsContinuationByte(c); }));
}

std::string CutToChars(std::string_view s, std::size_t chars) {
  std::size_t end = 0;
  for (std::size_t count = 0; end < s.size(); ++end) {
    if (!IsContinuationByte(s[end]) && count++ == chars) break;
  }
  return std::string(s.substr(0, end));
}

std::string PadRight(std::string_view s, std::size_t chars) {
  std::size_t length = CharLength(s);
  std::string padded(s);
  if (length < chars) padded.append(chars - length, ' ');
  return padded;
}

std::string Latin1ToUtf8(std::string_view s) {
  std::string result;
  result.reserve(s.size());
  for (char c : s) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      result += c;
    } else {
      result += static_cast<char>(0xC0 | (byte >> 6));
      result += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return result;
}

}  // namespace kalu
