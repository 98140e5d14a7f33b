#include "platform/status.h"

namespace kalu {

Status StatusFromErrorCode(const std::error_code& error, std::string_view context) {
  return error ? Status(error.value(), context, error.message()) : Status();
}

}  // namespace kalu
