#include "soap/records.h"

#include <cstdio>
#include <optional>

#include "runtime/text.h"
#include "soap/xml_nodes.h"

namespace kalu {

namespace {

template <class... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};

// A part of a date text: the leading numeric value of the characters, or nothing when
// it is no 16-bit number (the date is then invalid).
std::optional<int16_t> DatePart(std::string_view text, size_t from, size_t length) {
  double value = from < text.size() ? LeadingNumericValue(text.substr(from, length)) : 0;
  if (value < INT16_MIN || value > INT16_MAX) return std::nullopt;
  return ToInt16(value);
}

// The local name of the element the reader stands on when it is in the class's namespace
// or in none (a field's element name must equal it exactly); empty otherwise.
std::string FieldElementName(const XmlReader& reader, std::string_view nameSpace) {
  std::string ns = RTrim(reader.NamespaceURI());
  return ns.empty() || ns == nameSpace ? RTrim(reader.LocalName()) : std::string();
}

template <class Record>
void StoreField(Record& record, const SoapField<Record>& field, const std::string& text) {
  std::visit(Overloaded{
                 [&](std::string Record::*m) { record.*m = text; },
                 [&](int16_t Record::*m) { record.*m = soap::TextToInt16(text); },
                 [&](int32_t Record::*m) { record.*m = soap::TextToInt32(text); },
                 [&](Fixed4 Record::*m) { record.*m = Fixed4::FromText(text); },
                 [&](DateValue Record::*m) { record.*m = SoapDateFromText(text); },
             },
             field.member);
}

template <class Record>
std::string FieldText(const Record& record, const SoapField<Record>& field) {
  return std::visit(
      Overloaded{
          [&](std::string Record::*m) { return Trim(record.*m); },
          [&](int16_t Record::*m) { return soap::WholeNumberText(record.*m, field.width); },
          [&](int32_t Record::*m) { return soap::WholeNumberText(record.*m, field.width); },
          [&](Fixed4 Record::*m) {
            return soap::WholeNumberText((record.*m).ToDouble(), field.width);
          },
          [&](DateValue Record::*m) { return SoapDateText(record.*m); },
      },
      field.member);
}

template <class Record>
void ResetField(Record& record, const SoapField<Record>& field) {
  std::visit(Overloaded{
                 [&](std::string Record::*m) { (record.*m).clear(); },
                 [&](int16_t Record::*m) { record.*m = 0; },
                 [&](int32_t Record::*m) { record.*m = 0; },
                 [&](Fixed4 Record::*m) { record.*m = Fixed4(); },
                 [&](DateValue Record::*m) { record.*m = kEmptyDate; },
             },
             field.member);
}

}  // namespace

std::string SoapDateText(DateValue date) {
  if (date == kEmptyDate) return "0000-00-00";
  DateParts parts = SplitDate(date);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
  return text;
}

DateValue SoapDateFromText(std::string_view text) {
  if (RTrim(text) == "0000-00-00") return kEmptyDate;
  auto year = DatePart(text, 0, 4);
  auto month = DatePart(text, 5, 2);
  auto day = DatePart(text, 8, 2);
  if (!year || !month || !day) return kEmptyDate;
  return DateFromParts(*year, *month, *day);
}

void StartElementInNamespace(XmlWriter& writer, std::string_view sName, std::string_view nameSpace,
                             std::string_view prefixWord) {
  if (nameSpace.empty()) {
    writer.WriteStartElement(sName);
    return;
  }
  std::string prefix = std::string(sName) + std::string(prefixWord);
  writer.WriteStartElement(prefix + ":" + std::string(sName));
  writer.WriteAttribute("xmlns:" + prefix, nameSpace);
}

template <class Derived>
int16_t SoapRecord<Derived>::readxml(XmlReader& reader) {
  auto& record = static_cast<Derived&>(*this);
  std::string recordName = RTrim(reader.Name());
  // A record without child elements (<Item/>) has no end node: it ends where it starts.
  if (reader.NodeType() == XmlReader::kElement && !reader.HasChildElements()) return 1;
  int16_t status = soap::ReadNode(reader);
  int16_t counter = 0;
  while (RTrim(reader.Name()) != recordName && status >= 1) {
    bool matched = false;
    std::string element = FieldElementName(reader, Derived::kNamespace);
    std::string text;
    status = soap::ReadElementText(reader, text);
    for (const auto& field : Derived::Fields()) {
      if (field.element == element) {
        StoreField(record, field, text);
        matched = true;
      }
    }
    counter = soap::CountOne(counter);
    if (!matched) status = static_cast<int16_t>(-counter);
  }
  return status;
}

template <class Derived>
void SoapRecord<Derived>::writexml(XmlWriter& writer, std::string_view sName,
                                   std::string_view sNameSpace) const {
  const auto& record = static_cast<const Derived&>(*this);
  std::string ns = RTrim(sNameSpace);
  StartElementInNamespace(writer, sName, ns.empty() || ns == Derived::kNamespace ? "" : sNameSpace,
                          "ns");
  writer.WriteAttribute("xmlns", Derived::kNamespace);
  for (const auto& field : Derived::Fields()) {
    writer.WriteElement(field.element, FieldText(record, field));
  }
  writer.WriteEndElement();
}

template <class Derived>
std::string SoapRecord<Derived>::toxml(std::string_view /*sName*/,
                                       std::string_view sNameSpace) const {
  return WriteFragment(*this, Derived::kFullType, sNameSpace);
}

template <class Derived>
int16_t SoapRecord<Derived>::fromxml(std::string_view sXML) {
  return ReadFragment(*this, sXML);
}

template <class Derived>
void SoapRecord<Derived>::initialize() {
  for (const auto& field : Derived::Fields()) ResetField(static_cast<Derived&>(*this), field);
}

template <class Derived>
std::shared_ptr<SoapObject> SoapRecord<Derived>::Clone() const {
  return std::make_shared<Derived>(static_cast<const Derived&>(*this));
}

const std::vector<SoapField<st1Etd_vcpv>>& st1Etd_vcpv::Fields() {
  using R = st1Etd_vcpv;
  static const std::vector<SoapField<R>> fields = {
      {"VehNumEco", &R::economicNumber, 11},
      {"VehPlacas", &R::plates},
      {"TipoVehSct", &R::sctType},
      {"VehModelo", &R::modelYear, 6},
      {"TipoVehCve", &R::vehicleType, 6},
      {"TipoVehDes", &R::vehicleTypeName},
      {"NumPoliza", &R::policyNumber},
      {"NomAseguradora", &R::insurer},
      {"FchVigencia", &R::policyValidUntil},
      {"VehStatusCve", &R::status, 6},
      {"VehStatusDes", &R::statusName},
      {"VehSucCve", &R::region, 2},
      {"SUCNOM", &R::regionName},
      {"VehUniCve", &R::unit, 2},
      {"UniNom", &R::unitName},
      {"VehAlmCve", &R::warehouse, 6},
      {"AlmNom", &R::warehouseName},
  };
  return fields;
}

const std::vector<SoapField<st2cportev2>>& st2cportev2::Fields() {
  using R = st2cportev2;
  static const std::vector<SoapField<R>> fields = {
      {"EmpTipo", &R::type, 2},
      {"EmpTipoDes", &R::typeName},
      {"EmpNum", &R::number, 11},
      {"EmpRFC", &R::rfc},
      {"EmpCURP", &R::curp},
      {"EmpTipoLicencia", &R::licenseType},
      {"EmpFchVigenciaLic", &R::licenseValidUntil},
      {"EmpFchExpedicionLic", &R::licenseIssueDate},
      {"EmpFchIng", &R::hireDate},
      {"EmpFchBaja", &R::leaveDate},
      {"EmpNombre", &R::name},
      {"EmpLicencia", &R::license},
      {"EmpDireccion", &R::address},
      {"EVALREG", &R::licenseStatus},
      {"SUCCVE", &R::region, 2},
      {"SUCNOM", &R::regionName},
      {"UniCve", &R::unit, 2},
      {"UniNom", &R::unitName},
      {"AlmCve", &R::warehouse, 6},
      {"AlmNom", &R::warehouseName},
      {"EMPSTATUS", &R::status, 2},
  };
  return fields;
}

const std::vector<SoapField<st2cporteIt>>& st2cporteIt::Fields() {
  using R = st2cporteIt;
  static const std::vector<SoapField<R>> fields = {
      {"EmpTipo", &R::type, 2},       {"EmpNum", &R::number, 11},   {"EmpRFC", &R::rfc},
      {"EmpNombre", &R::name},        {"EmpLicencia", &R::license}, {"EmpDireccion", &R::address},
      {"EVALREG", &R::licenseStatus}, {"SUCCVE", &R::region, 2},    {"SUCNOM", &R::regionName},
      {"UniCve", &R::unit, 2},        {"UniNom", &R::unitName},     {"AlmCve", &R::warehouse, 6},
      {"AlmNom", &R::warehouseName},  {"EMPSTATUS", &R::status, 2},
  };
  return fields;
}

const std::vector<SoapField<st1UOpItem>>& st1UOpItem::Fields() {
  using R = st1UOpItem;
  static const std::vector<SoapField<R>> fields = {
      {"RegCve", &R::region, 2},
      {"UniCve", &R::unit, 1},
      {"Referencia", &R::reference},
  };
  return fields;
}

template class SoapRecord<st1Etd_vcpv>;
template class SoapRecord<st2cportev2>;
template class SoapRecord<st2cporteIt>;
template class SoapRecord<st1UOpItem>;

}  // namespace kalu
