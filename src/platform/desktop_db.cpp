#include "platform/desktop_db.h"

#include "platform/paths.h"

namespace kalu {

bool DesktopDatabase::Open(std::string_view systemPath) {
  file_.reset(OpenFile(NativePath(systemPath), "r+b"));
  return file_ != nullptr;
}

}  // namespace kalu
