#include "platform/desktop_db.h"

#include "platform/paths.h"

namespace kalu {

bool DesktopDatabase::Open(std::string_view systemPath) {
  file_.reset(std::fopen(NativePath(systemPath).c_str(), "r+b"));
  return file_ != nullptr;
}

}  // namespace kalu
