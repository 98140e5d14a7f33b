#pragma once
// Module AZT903114Factory: the objects of the web-service client by type name.

#include <memory>
#include <string_view>

#include "platform/display.h"
#include "soap/soap_object.h"

namespace kalu {

class SOAPParm_mod;

namespace AZT903114Factory {

// A new object of an exact, case-sensitive type name, or nothing for a name not in the
// table: the four record classes, and the two service proxies, which need the SOAP
// module they report to (without one their names give nothing too).
std::shared_ptr<SoapObject> CreateByTypeName(std::string_view typeName,
                                             SOAPParm_mod* soap = nullptr,
                                             Display* display = nullptr);

}  // namespace AZT903114Factory
}  // namespace kalu
