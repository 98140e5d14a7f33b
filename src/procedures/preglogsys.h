#pragma once
// PREGLOGSYS: records who did what, when and on which computer in the system log
// LOGSYSTEM; one row per user and second. The row is committed by the caller's next commit.

#include <cstdint>
#include <string>

#include "run/context.h"
#include "runtime/convert.h"

namespace kalu {

class PREGLOGSYS {
 public:
  static constexpr const char* kApp = "PREGLOGSYS";

  explicit PREGLOGSYS(Context& ctx) : ctx_(ctx) {}
  void Run(std::string& AV8Usuario, DateValue& AV9Fecha, DateValue& AV10Hora,
           std::string& AV11Objeto, std::string& AV12Modo);

  // 1 with "Ya existe el registro" when the row was there already (nobody reports it).
  int16_t ErrorCode() const { return errorCode_; }
  const std::string& ErrorMessage() const { return errorMessage_; }

 private:
  Context& ctx_;
  int16_t errorCode_ = 0;
  std::string errorMessage_;
};

}  // namespace kalu
