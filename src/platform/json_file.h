#pragma once
// JSON documents on disk for the chain's tools (run and check reports): written whole
// through a temporary file and a rename, so a reader never finds half a report.

#include <nlohmann/json.hpp>
#include <string>

namespace kalu {

// Writes `doc` (indented, UTF-8, newline at the end) to `path` in its native form. False
// when it could not be written; `error` then says why and the former file is intact.
bool WriteJsonFile(const std::string& path, const nlohmann::json& doc, std::string& error);

}  // namespace kalu
