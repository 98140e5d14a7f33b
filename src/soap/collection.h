#pragma once
// ZQSCollection: a typed, one-based collection of records that reads and writes itself
// as XML. Reading creates each item by its type name (ContainedFullType) through
// AZT903114Factory; writing names each item ContainedType. Items are shared objects: the
// collection hands out the object it holds, and IndexOf finds an object by identity.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display.h"
#include "platform/xml.h"
#include "runtime/errors.h"
#include "soap/soap_object.h"

namespace kalu {

constexpr int32_t kErrInvalidCall = 5;    // "Invalid procedure call or argument"
constexpr int32_t kErrTypeMismatch = 13;  // "Type mismatch"
constexpr int32_t kErrObjectNotSet = 91;  // "Object variable or With block variable not set"

class ZQSCollection {
 public:
  // `display` shows the message of an encoded array whose size cannot be read; without
  // one the message is not shown.
  explicit ZQSCollection(Display* display = nullptr) : display_(display) {}

  std::string ContainedXmlNameSpace;
  std::string ContainedType;      // element name of the items when writing
  std::string ContainedFullType;  // type name of the items when reading
  std::string ActualType;

  // nPos 0 or -1 appends; 1 to Count inserts before that position; any other position
  // raises error 5. A collection holds at most 32767 items (error 6 beyond).
  void Add(std::shared_ptr<SoapObject> Item, int16_t nPos = 0);
  // Removes the item at 1 to Count; error 5 otherwise.
  void Remove(int16_t nPos);
  // The item at 1 to Count; error 5 otherwise.
  const std::shared_ptr<SoapObject>& Item(int16_t nPos) const;
  // The item at a position as its record class; error 13 when it is of another class.
  template <class Record>
  Record& ItemAs(int16_t nPos) const {
    auto* record = dynamic_cast<Record*>(Item(nPos).get());
    if (!record) Raise(kErrTypeMismatch, "Type mismatch");
    return *record;
  }
  int16_t Count() const { return static_cast<int16_t>(items_.size()); }
  void Clear() { items_.clear(); }

  void writexml(XmlWriter& writer, std::string_view sName, std::string_view sNameSpace) const;
  // Reads the items of the element the reader stands on: a SOAP-encoded array when the
  // element has an "arrayType" attribute, else every following element of the first
  // item's name. Returns the status of the last item read (1 when there was none).
  int16_t readxml(XmlReader& reader);
  int16_t readEncodedArray(std::string_view ArrayType, XmlReader& reader);
  int16_t readCollection(XmlReader& reader);
  // A new collection of the same types holding clones of the items.
  ZQSCollection Clone() const;
  std::string toxml(std::string_view sName, std::string_view sNameSpace) const;
  int16_t fromxml(std::string_view sXML);
  // Position of the item that is `pObj` itself, or 0.
  int16_t IndexOf(const SoapObject* pObj) const;

 private:
  std::shared_ptr<SoapObject> NewItem() const;
  void CheckPosition(int16_t nPos) const;

  Display* display_;
  std::vector<std::shared_ptr<SoapObject>> items_;
};

}  // namespace kalu
