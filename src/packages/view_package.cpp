#include "packages/view_package.h"

#include "runtime/text.h"

namespace kalu {

int16_t ReadViewNode(XmlReader& reader, std::string& name, std::string& text) {
  int16_t rc = reader.Read();
  if (rc < 1) return rc;
  std::string node = RTrim(reader.Name());
  if (node == "QUERY_NAME") {
    name = reader.Value();
  } else if (node == "QUERY_BODY") {
    if (reader.Read() < 1 || reader.NodeType() != reader.TextNodeKind()) {
      text.clear();
    } else {
      text = reader.Value();
    }
  }
  return rc;
}

namespace {

bool IsLetter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  // Bytes of UTF-8 sequences count as letters, as the server's identifiers take them.
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || u >= 0x80;
}

bool IsIdentifier(std::string_view part) {
  if (part.empty() || !(IsLetter(part.front()) || part.front() == '_')) return false;
  for (char c : part) {
    if (!(IsLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '$')) return false;
  }
  return true;
}

}  // namespace

bool IsPlainViewName(std::string_view name) {
  std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) return IsIdentifier(name);
  return IsIdentifier(name.substr(0, dot)) && IsIdentifier(name.substr(dot + 1));
}

}  // namespace kalu
