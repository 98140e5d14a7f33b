#include "platform/json_file.h"

#include "platform/paths.h"
#include "platform/replacement_file.h"

namespace kalu {

Status WriteJsonFile(const std::string& path, const nlohmann::json& doc) {
  // Texts that are not valid UTF-8 (a server message in another encoding) are replaced
  // rather than making the report unwritable.
  std::string text = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  return ReplaceFileContent(PathOf(path), text.data(), text.size());
}

}  // namespace kalu
