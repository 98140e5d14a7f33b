#pragma once
// The record classes the central services exchange: vehicles (st1Etd_vcpv), operators
// (st2cportev2, and st2cporteIt of the earlier reply layout) and unit-operation
// references (st1UOpItem). Each has public fields under the services' long names and
// reads and writes itself as XML through its field table:
//  - reading compares every element with every field (the order of the elements does
//    not matter): the element's local name must equal the field's element name exactly,
//    and its namespace must be empty or the class's namespace;
//  - numbers take the leading numeric value of the text rounded half to even (error 6
//    "Overflow" when it does not fit), currency is exact to four decimals, dates are
//    "yyyy-mm-dd" with "0000-00-00" for the empty date (an invalid date reads as empty);
//  - writing gives one element per field in table order: texts trimmed, numbers as
//    NumberToText(value, width, 0) trimmed, dates as "yyyy-mm-dd".

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/convert.h"
#include "runtime/numbers.h"
#include "soap/soap_object.h"

namespace kalu {

// One field of a record class: its element name, where it lives and its width.
template <class Record>
struct SoapField {
  using Member = std::variant<std::string Record::*, int16_t Record::*, int32_t Record::*,
                              Fixed4 Record::*, DateValue Record::*>;  // DateValue: a date
  std::string_view element;
  Member member;
  int16_t width = 0;
};

// The six operations of every record class, driven by Derived::Fields(), with
// Derived::kNamespace and Derived::kFullType.
template <class Derived>
class SoapRecord : public SoapObject {
 public:
  int16_t readxml(XmlReader& reader) override;
  void writexml(XmlWriter& writer, std::string_view sName,
                std::string_view sNameSpace) const override;
  // Written under the class's full type name; `sName` is not used.
  std::string toxml(std::string_view sName, std::string_view sNameSpace) const override;
  int16_t fromxml(std::string_view sXML) override;
  void initialize() override;
  std::shared_ptr<SoapObject> Clone() const override;
};

// Vehicle of the vehicle service.
class st1Etd_vcpv : public SoapRecord<st1Etd_vcpv> {
 public:
  static constexpr std::string_view kNamespace = "morvel25";
  static constexpr std::string_view kFullType = "Etd_vcpv3_Etd_vcpv3Item";
  static const std::vector<SoapField<st1Etd_vcpv>>& Fields();

  Fixed4 zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehnumeco;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehplacas;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Tipovehsct;
  int32_t zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehmodelo = 0;
  int32_t zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Tipovehcve = 0;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Tipovehdes;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Numpoliza;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Nomaseguradora;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Fchvigencia;  // the date as received
  int32_t zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehstatuscve = 0;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehstatusdes;
  int16_t zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehsuccve = 0;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Sucnom;
  int16_t zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehunicve = 0;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Uninom;
  int32_t zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Vehalmcve = 0;
  std::string zqTv_SdtEtd_vcpv3_Etd_vcpv3Item_Almnom;
};

// Operator (driver) of the operator service.
class st2cportev2 : public SoapRecord<st2cportev2> {
 public:
  static constexpr std::string_view kNamespace = "morvel25";
  static constexpr std::string_view kFullType =
      "Etd_Operadores_cportev2_Etd_Operadores_cportev2Item";
  static const std::vector<SoapField<st2cportev2>>& Fields();

  int16_t zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emptipo = 0;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emptipodes;
  Fixed4 zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empnum;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emprfc;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empcurp;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emptipolicencia;
  DateValue zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfchvigencialic =
      kEmptyDate;
  DateValue zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfchexpedicionlic =
      kEmptyDate;
  DateValue zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfching = kEmptyDate;
  DateValue zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empfchbaja = kEmptyDate;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empnombre;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Emplicencia;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empdireccion;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Evalreg;
  int16_t zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Succve = 0;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Sucnom;
  int16_t zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Unicve = 0;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Uninom;
  int32_t zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Almcve = 0;
  std::string zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Almnom;
  int16_t zqTv_SdtEtd_Operadores_cportev2_Etd_Operadores_cportev2Item_Empstatus = 0;
};

// Operator of the earlier reply layout.
class st2cporteIt : public SoapRecord<st2cporteIt> {
 public:
  static constexpr std::string_view kNamespace = "morvel25";
  static constexpr std::string_view kFullType = "Etd_Operadores_cporte_Etd_Operadores_cporteItem";
  static const std::vector<SoapField<st2cporteIt>>& Fields();

  int16_t zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Emptipo = 0;
  Fixed4 zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empnum;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Emprfc;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empnombre;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Emplicencia;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empdireccion;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Evalreg;
  int16_t zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Succve = 0;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Sucnom;
  int16_t zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Unicve = 0;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Uninom;
  int32_t zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Almcve = 0;
  std::string zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Almnom;
  int16_t zqTv_SdtEtd_Operadores_cporte_Etd_Operadores_cporteItem_Empstatus = 0;
};

// Unit-operation reference.
class st1UOpItem : public SoapRecord<st1UOpItem> {
 public:
  static constexpr std::string_view kNamespace = "KALU2001";
  static constexpr std::string_view kFullType = "sdtConcBancaria.UOpItem";
  static const std::vector<SoapField<st1UOpItem>>& Fields();

  int16_t zqTv_SdtsdtConcBancaria_UOpItem_Regcve = 0;
  int16_t zqTv_SdtsdtConcBancaria_UOpItem_Unicve = 0;  // written with width 1
  std::string zqTv_SdtsdtConcBancaria_UOpItem_Referencia;
};

extern template class SoapRecord<st1Etd_vcpv>;
extern template class SoapRecord<st2cportev2>;
extern template class SoapRecord<st2cporteIt>;
extern template class SoapRecord<st1UOpItem>;

// The date text of the services: "yyyy-mm-dd", "0000-00-00" for the empty date.
std::string SoapDateText(DateValue date);
// Reads a date text: "0000-00-00" gives the empty date, any other text DateFromParts of
// its characters 1-4, 6-7 and 9-10 (an invalid date is the empty date).
DateValue SoapDateFromText(std::string_view text);

}  // namespace kalu
