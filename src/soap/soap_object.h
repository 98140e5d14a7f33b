#pragma once
// What every object of the web-service client that reads and writes itself as XML
// offers: the record classes and the service proxies. Objects are created by type name
// (AZT903114Factory) and held by std::shared_ptr, so a collection can hand out the same
// object it holds and IndexOf can find it again.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/xml.h"

namespace kalu {

class SoapObject {
 public:
  virtual ~SoapObject() = default;

  // Reads the object from the reader, which stands on the object's start element.
  // Returns 1 or more when the object's end was reached, 0 at the end of the input, and
  // minus the position of the first element that belongs to no field.
  virtual int16_t readxml(XmlReader& reader) = 0;
  virtual void writexml(XmlWriter& writer, std::string_view sName,
                        std::string_view sNameSpace) const = 0;
  // The object as an XML fragment.
  virtual std::string toxml(std::string_view sName, std::string_view sNameSpace) const = 0;
  // Reads the object from an XML text: the first node, then readxml.
  int16_t fromxml(std::string_view sXML);
  // Sets the values of a new object.
  virtual void initialize() = 0;
  virtual std::shared_ptr<SoapObject> Clone() const = 0;

 protected:
  SoapObject() = default;
  SoapObject(const SoapObject&) = default;
  SoapObject& operator=(const SoapObject&) = default;
};

// Starts an element named `sName`, or, with a namespace, the element
// sName + prefixWord + ":" + sName with the attribute "xmlns:" + sName + prefixWord
// = namespace ("ns" for records and proxies, "colns" for collections).
void StartElementInNamespace(XmlWriter& writer, std::string_view sName, std::string_view nameSpace,
                             std::string_view prefixWord);

// Opens a new writer on a text fragment, lets `object` write itself under `sName` and
// returns the fragment.
template <class Object>
std::string WriteFragment(const Object& object, std::string_view sName,
                          std::string_view sNameSpace) {
  XmlWriter writer;
  writer.OpenFragment();
  object.writexml(writer, sName, sNameSpace);
  writer.Close();
  return writer.FragmentText();
}

// Opens a new reader on `sXML`, reads its first node and lets `object` read itself.
template <class Object>
int16_t ReadFragment(Object& object, std::string_view sXML) {
  XmlReader reader;
  reader.OpenText(sXML);
  reader.Read();
  return object.readxml(reader);
}

inline int16_t SoapObject::fromxml(std::string_view sXML) {
  return ReadFragment(*this, sXML);
}

}  // namespace kalu
