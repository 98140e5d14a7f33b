#include "platform/system_error.h"

namespace kalu {

std::string ErrorText(const std::error_code& error) {
  return error.message();
}

}  // namespace kalu
