#include "soap/factory.h"

#include "soap/proxies.h"
#include "soap/records.h"

namespace kalu::AZT903114Factory {

std::shared_ptr<SoapObject> CreateByTypeName(std::string_view typeName, SOAPParm_mod* soap,
                                             Display* display) {
  if (typeName == st1Etd_vcpv::kFullType) return std::make_shared<st1Etd_vcpv>();
  if (typeName == st2cportev2::kFullType) return std::make_shared<st2cportev2>();
  if (typeName == st2cporteIt::kFullType) return std::make_shared<st2cporteIt>();
  if (typeName == st1UOpItem::kFullType) return std::make_shared<st1UOpItem>();
  if (!soap) return nullptr;
  if (typeName == st2cartapor::kService.locationName) {
    return std::make_shared<st2cartapor>(*soap, display);
  }
  if (typeName == st1cartapor::kService.locationName) {
    return std::make_shared<st1cartapor>(*soap, display);
  }
  return nullptr;
}

}  // namespace kalu::AZT903114Factory
