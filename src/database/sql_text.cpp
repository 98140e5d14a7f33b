#include "database/sql_text.h"

#include "runtime/text.h"

namespace kalu {

std::string CutText(std::string_view value, int width, bool* cut) {
  value = value.substr(0, value.find('\0'));
  const bool cutting = width > 0 && CharLength(value) > static_cast<std::size_t>(width);
  if (cut) *cut = cutting;
  return cutting ? CutToChars(value, static_cast<std::size_t>(width)) : std::string(value);
}

std::string CutNote(std::string_view app, std::string_view cursor, int parameter, int width) {
  return "Texto recortado a " + std::to_string(width) + " caracteres: " + std::string(app) +
         ", cursor " + std::string(cursor) + ", parametro " + std::to_string(parameter);
}

}  // namespace kalu
