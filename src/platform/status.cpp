#include "platform/status.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

namespace kalu {

Status::Status(int32_t code, std::string_view context, std::string_view why)
    : code_(code), text_(context) {
  if (!text_.empty() && !why.empty()) text_ += ": ";
  text_ += why;
}

Status StatusFromErrno(int error, std::string_view context) {
  if (error == 0) error = EIO;
  return Status(error, context, std::strerror(error));
}

Status StatusFromZlib(int result, std::string_view context) {
  return result == Z_OK ? Status() : Status(result, context, zError(result));
}

}  // namespace kalu
