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
      {"VehNumEco", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehnumeco, 11},
      {"VehPlacas", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehplacas},
      {"TipoVehSct", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Tipovehsct},
      {"VehModelo", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehmodelo, 6},
      {"TipoVehCve", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Tipovehcve, 6},
      {"TipoVehDes", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Tipovehdes},
      {"NumPoliza", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Numpoliza},
      {"NomAseguradora", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Nomaseguradora},
      {"FchVigencia", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Fchvigencia},
      {"VehStatusCve", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehstatuscve, 6},
      {"VehStatusDes", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehstatusdes},
      {"VehSucCve", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehsuccve, 2},
      {"SUCNOM", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Sucnom},
      {"VehUniCve", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehunicve, 2},
      {"UniNom", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Uninom},
      {"VehAlmCve", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehalmcve, 6},
      {"AlmNom", &R::zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Almnom},
  };
  return fields;
}

const std::vector<SoapField<st2cportev2>>& st2cportev2::Fields() {
  using R = st2cportev2;
  static const std::vector<SoapField<R>> fields = {
      {"EmpTipo", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emptipo, 2},
      {"EmpTipoDes", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emptipodes},
      {"EmpNum", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empnum, 11},
      {"EmpRFC", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emprfc},
      {"EmpCURP", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empcurp},
      {"EmpTipoLicencia",
       &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emptipolicencia},
      {"EmpFchVigenciaLic",
       &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfchvigencialic},
      {"EmpFchExpedicionLic",
       &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfchexpedicionlic},
      {"EmpFchIng", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfching},
      {"EmpFchBaja", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfchbaja},
      {"EmpNombre", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empnombre},
      {"EmpLicencia", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emplicencia},
      {"EmpDireccion",
       &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empdireccion},
      {"EVALREG", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Evalreg},
      {"SUCCVE", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Succve, 2},
      {"SUCNOM", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Sucnom},
      {"UniCve", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Unicve, 2},
      {"UniNom", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Uninom},
      {"AlmCve", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Almcve, 6},
      {"AlmNom", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Almnom},
      {"EMPSTATUS", &R::zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empstatus, 2},
  };
  return fields;
}

const std::vector<SoapField<st2cporteIt>>& st2cporteIt::Fields() {
  using R = st2cporteIt;
  static const std::vector<SoapField<R>> fields = {
      {"EmpTipo", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Emptipo, 2},
      {"EmpNum", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empnum, 11},
      {"EmpRFC", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Emprfc},
      {"EmpNombre", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empnombre},
      {"EmpLicencia", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Emplicencia},
      {"EmpDireccion", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empdireccion},
      {"EVALREG", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Evalreg},
      {"SUCCVE", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Succve, 2},
      {"SUCNOM", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Sucnom},
      {"UniCve", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Unicve, 2},
      {"UniNom", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Uninom},
      {"AlmCve", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Almcve, 6},
      {"AlmNom", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Almnom},
      {"EMPSTATUS", &R::zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empstatus, 2},
  };
  return fields;
}

const std::vector<SoapField<st1UOpItem>>& st1UOpItem::Fields() {
  using R = st1UOpItem;
  static const std::vector<SoapField<R>> fields = {
      {"RegCve", &R::zqTv_SdtsdtConcBancaria_UOpItem_Regcve, 2},
      {"UniCve", &R::zqTv_SdtsdtConcBancaria_UOpItem_Unicve, 1},
      {"Referencia", &R::zqTv_SdtsdtConcBancaria_UOpItem_Referencia},
  };
  return fields;
}

template class SoapRecord<st1Etd_vcpv>;
template class SoapRecord<st2cportev2>;
template class SoapRecord<st2cporteIt>;
template class SoapRecord<st1UOpItem>;

}  // namespace kalu
