#pragma once
// The record classes the central services exchange: vehicles (st1Etd_vcpv), operators
// (st2cportev2, and st2cporteIt of the earlier reply layout) and unit-operation
// references (st1UOpItem). Each has public fields named by their role and reads and
// writes itself as XML through its field table, which gives each field its element name:
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

  Fixed4 economicNumber;
  std::string plates;
  std::string sctType;
  int32_t modelYear = 0;
  int32_t vehicleType = 0;
  std::string vehicleTypeName;
  std::string policyNumber;
  std::string insurer;
  std::string policyValidUntil;  // the date as received
  int32_t status = 0;
  std::string statusName;
  int16_t region = 0;
  std::string regionName;
  int16_t unit = 0;
  std::string unitName;
  int32_t warehouse = 0;
  std::string warehouseName;
};

// Operator (driver) of the operator service.
class st2cportev2 : public SoapRecord<st2cportev2> {
 public:
  static constexpr std::string_view kNamespace = "morvel25";
  static constexpr std::string_view kFullType =
      "Etd_Operadores_cportev2_Etd_Operadores_cportev2Item";
  static const std::vector<SoapField<st2cportev2>>& Fields();

  int16_t type = 0;
  std::string typeName;
  Fixed4 number;
  std::string rfc;
  std::string curp;
  std::string licenseType;
  DateValue licenseValidUntil = kEmptyDate;
  DateValue licenseIssueDate = kEmptyDate;
  DateValue hireDate = kEmptyDate;
  DateValue leaveDate = kEmptyDate;
  std::string name;
  std::string license;
  std::string address;
  std::string licenseStatus;
  int16_t region = 0;
  std::string regionName;
  int16_t unit = 0;
  std::string unitName;
  int32_t warehouse = 0;
  std::string warehouseName;
  int16_t status = 0;
};

// Operator of the earlier reply layout.
class st2cporteIt : public SoapRecord<st2cporteIt> {
 public:
  static constexpr std::string_view kNamespace = "morvel25";
  static constexpr std::string_view kFullType = "Etd_Operadores_cporte_Etd_Operadores_cporteItem";
  static const std::vector<SoapField<st2cporteIt>>& Fields();

  int16_t type = 0;
  Fixed4 number;
  std::string rfc;
  std::string name;
  std::string license;
  std::string address;
  std::string licenseStatus;
  int16_t region = 0;
  std::string regionName;
  int16_t unit = 0;
  std::string unitName;
  int32_t warehouse = 0;
  std::string warehouseName;
  int16_t status = 0;
};

// Unit-operation reference.
class st1UOpItem : public SoapRecord<st1UOpItem> {
 public:
  static constexpr std::string_view kNamespace = "KALU2001";
  static constexpr std::string_view kFullType = "sdtConcBancaria.UOpItem";
  static const std::vector<SoapField<st1UOpItem>>& Fields();

  int16_t region = 0;
  int16_t unit = 0;  // written with width 1
  std::string reference;
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
