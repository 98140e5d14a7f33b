#pragma once
// Run-time errors of the system: a number and a description that travel up to the
// program entry, which shows them, writes them to the run log and ends the run.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kalu {

constexpr int32_t kErrOverflow = 6;              // "Overflow"
constexpr int32_t kErrFileNotFound = 53;         // "File not found"
constexpr int32_t kErrBadFileNameOrNumber = 52;  // "Bad file name or number"
constexpr int32_t kErrInitFailed = 1055;         // "Unable to initialize C/S DLL"
constexpr int32_t kErrFatalDatabase = 1060;      // the fatal database error

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// Raises the run-time error `number` with `description`.
[[noreturn]] inline void Raise(int32_t number, std::string description) {
  throw RuntimeError(number, std::move(description));
}

// Raises error 6 "Overflow".
[[noreturn]] inline void RaiseOverflow() {
  Raise(kErrOverflow, "Overflow");
}

}  // namespace kalu
