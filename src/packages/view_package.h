#pragma once
// The walk over a package of stored view definitions ("SQLPG.XMZ"): pairs of a
// "QUERY_NAME" element (the view name) and a "QUERY_BODY" element whose query text is the
// character-data node right after it.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml.h"

namespace kalu {

// Reads the next node and returns the result of that read. A "QUERY_NAME" node sets
// `name` to its value; at a "QUERY_BODY" node the node after it is read as well and
// `text` becomes its value when it is the reader's character-data kind, else empty.
int16_t ReadViewNode(XmlReader& reader, std::string& name, std::string& text);

// Whether a view name can stand in SQL text as it is: an identifier, optionally qualified
// by its schema ("reportes.ventas_view"), each part a letter or "_" followed by letters,
// digits, "_" or "$".
bool IsPlainViewName(std::string_view name);

}  // namespace kalu
