#include "soap/collection.h"

#include "runtime/convert.h"
#include "runtime/text.h"
#include "soap/factory.h"
#include "soap/xml_nodes.h"

namespace kalu {

void ZQSCollection::CheckPosition(int16_t nPos) const {
  if (nPos < 1 || nPos > Count()) Raise(kErrInvalidCall, "Invalid procedure call or argument");
}

void ZQSCollection::Add(std::shared_ptr<SoapObject> Item, int16_t nPos) {
  if (Count() == INT16_MAX) RaiseOverflow();
  if (nPos == 0 || nPos == -1) {
    items_.push_back(std::move(Item));
    return;
  }
  CheckPosition(nPos);
  items_.insert(items_.begin() + (nPos - 1), std::move(Item));
}

void ZQSCollection::Remove(int16_t nPos) {
  CheckPosition(nPos);
  items_.erase(items_.begin() + (nPos - 1));
}

const std::shared_ptr<SoapObject>& ZQSCollection::Item(int16_t nPos) const {
  CheckPosition(nPos);
  return items_[nPos - 1];
}

int16_t ZQSCollection::IndexOf(const SoapObject* pObj) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == pObj) return static_cast<int16_t>(i + 1);
  }
  return 0;
}

void ZQSCollection::writexml(XmlWriter& writer, std::string_view sName,
                             std::string_view sNameSpace) const {
  StartElementInNamespace(writer, sName, Trim(sNameSpace).empty() ? "" : sNameSpace, "colns");
  for (const auto& item : items_) item->writexml(writer, ContainedType, ContainedXmlNameSpace);
  writer.WriteEndElement();
}

std::shared_ptr<SoapObject> ZQSCollection::NewItem() const {
  std::shared_ptr<SoapObject> item = AZT903114Factory::CreateByTypeName(ContainedFullType);
  if (!item) Raise(kErrObjectNotSet, "Object variable or With block variable not set");
  return item;
}

int16_t ZQSCollection::readxml(XmlReader& reader) {
  for (int16_t i = 0; i < reader.AttributeCount(); ++i) {
    if (reader.AttributeName(i) == "arrayType") {
      return readEncodedArray(reader.AttributeValue(i), reader);
    }
  }
  return readCollection(reader);
}

int16_t ZQSCollection::readCollection(XmlReader& reader) {
  soap::ReadNode(reader);
  std::string itemName = RTrim(reader.Name());
  Clear();
  int16_t status = 1;
  while (soap::IsStartTag(reader, itemName) && status > 0) {
    std::shared_ptr<SoapObject> item = NewItem();
    status = item->readxml(reader);
    Add(std::move(item));
    soap::ReadNode(reader);
  }
  return status;
}

int16_t ZQSCollection::readEncodedArray(std::string_view ArrayType, XmlReader& reader) {
  // "xsd:string[3]": the size stands between "[" and the last character.
  double size = 0;
  size_t open = ArrayType.find('[');
  if (open == std::string_view::npos || open + 1 >= ArrayType.size() - 1) {
    if (display_) display_->ShowMessage("Error Could Not Read Encoded Array Size ");
  } else {
    size = LeadingNumericValue(ArrayType.substr(open + 1, ArrayType.size() - open - 2));
  }
  soap::ReadNode(reader);
  int16_t status = 1;
  for (int16_t read = 0; read < size && status >= 1; ++read) {
    std::shared_ptr<SoapObject> item = NewItem();
    status = item->readxml(reader);
    Add(std::move(item));
    soap::ReadNode(reader);
  }
  return status;
}

ZQSCollection ZQSCollection::Clone() const {
  ZQSCollection copy(display_);
  copy.ContainedXmlNameSpace = ContainedXmlNameSpace;
  copy.ContainedType = ContainedType;
  copy.ContainedFullType = ContainedFullType;
  copy.ActualType = ActualType;
  for (const auto& item : items_) copy.Add(item->Clone());
  return copy;
}

std::string ZQSCollection::toxml(std::string_view sName, std::string_view sNameSpace) const {
  return WriteFragment(*this, sName, sNameSpace);
}

int16_t ZQSCollection::fromxml(std::string_view sXML) {
  return ReadFragment(*this, sXML);
}

}  // namespace kalu
