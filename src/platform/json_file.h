#pragma once
// JSON documents on disk for the chain's tools (run and check reports): written whole
// through a temporary file and a rename, so a reader never finds half a report.

#include <nlohmann/json.hpp>
#include <string>

#include "platform/status.h"

namespace kalu {

// Writes `doc` (indented, UTF-8, newline at the end) to `path` in its native form. A
// failure says why, and the former file is intact.
Status WriteJsonFile(const std::string& path, const nlohmann::json& doc);

}  // namespace kalu
