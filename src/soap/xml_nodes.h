#pragma once
// Small pieces every XML walk of the web-service client shares.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml.h"
#include "runtime/convert.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu::soap {

// Reads the next node: 1 or more on a node, 0 at the end of the input. A parse error
// also ends the input here (the reader's status tells it apart), so a broken document
// is never taken for a misplaced element.
inline int16_t ReadNode(XmlReader& reader) {
  int16_t status = reader.Read();
  return status < 0 ? int16_t{0} : status;
}

// Takes the text of the element the reader stands on and reads on: a CDATA section the
// reader delivers apart, right after its element, belongs to that element's text, so it
// is added and passed over. Returns the status of the last read; the reader then stands
// on the node after the element.
inline int16_t ReadElementText(XmlReader& reader, std::string& text) {
  text = reader.Value();
  int16_t status = ReadNode(reader);
  while (status >= 1 && reader.NodeType() == reader.TextNodeKind()) {
    text += reader.Value();
    status = ReadNode(reader);
  }
  return status;
}

// The current node is the end tag of `name` (names compared right-trimmed).
inline bool IsEndTag(const XmlReader& reader, std::string_view name) {
  return reader.NodeType() == XmlReader::kEndTag && RTrim(reader.Name()) == name;
}

// The current node is an element start named `name` (right-trimmed).
inline bool IsStartTag(const XmlReader& reader, std::string_view name) {
  return reader.NodeType() == XmlReader::kElement && RTrim(reader.Name()) == name;
}

// A whole number as the services exchange it: NumberToText(value, width, 0), trimmed;
// a value too wide comes out as `width` asterisks.
inline std::string WholeNumberText(double value, int16_t width) {
  return Trim(NumberToText(value, width, 0));
}

// A number read from an element's text: its leading numeric value, rounded half to even;
// error 6 "Overflow" when it does not fit.
inline int16_t TextToInt16(std::string_view text) {
  return ToInt16(LeadingNumericValue(text));
}
inline int32_t TextToInt32(std::string_view text) {
  return ToInt32(LeadingNumericValue(text));
}

// Adds one to an element counter; error 6 "Overflow" past 32767.
inline int16_t CountOne(int16_t counter) {
  return ToInt16(counter + 1.0);
}

}  // namespace kalu::soap
