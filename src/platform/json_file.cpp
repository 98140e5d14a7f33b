#include "platform/json_file.h"

#include "platform/paths.h"
#include "platform/replacement_file.h"

namespace kalu {

bool WriteJsonFile(const std::string& path, const nlohmann::json& doc, std::string& error) {
  // Texts that are not valid UTF-8 (a server message in another encoding) are replaced
  // rather than making the report unwritable.
  std::string text = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  ReplacementFile file(PathOf(path));
  if (!file.IsOpen() || !file.Write(text.data(), text.size()) || !file.Commit()) {
    error = file.Error();
    return false;
  }
  return true;
}

}  // namespace kalu
