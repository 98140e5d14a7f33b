#pragma once
// The outcome of a call to the system or to a library, as a value: ok, or the number the
// system or the library gave (an errno, a Windows error, a zlib status, libcurl's code, the
// registry's status, the XML parser's error) with a text in UTF-8 that says what failed and
// why. Callers above platform/ read ok(), code() and text(); the operator sees the number as
// the system gave it ("Error:<n> <text>"). Each source of numbers has one function that
// turns its number into a Status.

#include <cstdint>
#include <string>
#include <string_view>

namespace kalu {

class [[nodiscard]] Status {
 public:
  Status() = default;  // ok
  // A failure, REQUIRES: code != 0. Its text is "<context>: <why>", either alone when the
  // other is empty: what failed and why.
  Status(int32_t code, std::string_view context, std::string_view why = {});

  bool ok() const { return code_ == 0; }
  // 0 when ok, else the system's or the library's own number.
  int32_t code() const { return code_; }
  // Empty when ok.
  const std::string& text() const { return text_; }

 private:
  int32_t code_ = 0;
  std::string text_;
};

// A failure: `context` + ": " + the C library's text of `error` (an errno), EIO when the
// call that failed left errno at 0.
Status StatusFromErrno(int error, std::string_view context);
// Windows build only: `context` + ": " + the system's text of a number of GetLastError() or
// of a registry call, from FormatMessageW in the language of the system, whatever the code
// page of the process (Windows 10 LTSC ignores the UTF-8 code page that the program's
// manifest asks for); ok for ERROR_SUCCESS.
Status StatusFromWindowsError(unsigned long error, std::string_view context);
// `context` + ": " + zlib's text of `result` (a status of zlib's, negative on a failure);
// ok for Z_OK.
Status StatusFromZlib(int result, std::string_view context);

}  // namespace kalu
