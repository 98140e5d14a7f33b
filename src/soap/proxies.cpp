#include "soap/proxies.h"

#include "runtime/text.h"
#include "soap/xml_nodes.h"

namespace kalu {

const SoapService st2cartapor::kService = {
    SOAPParm_mod::kVehiclesLocation,
    "morvel25action/AWS_VEHICULOS_CARTAPORTE_V3.Execute",
    "aws_vehiculos_cartaporte_v3",
    "Etd_vcpv3",
    "Etd_vcpv3.Etd_vcpv3Item",
    "Etd_vcpv3_Etd_vcpv3Item",
    "Etd_vcpv3",
};

// The result element is spelled with a lower-case "o", the collection's types with a
// capital one.
const SoapService st1cartapor::kService = {
    SOAPParm_mod::kOperatorsLocation,
    "morvel25action/AWS_OPERADORES_CARTAPORTE_V2.Execute",
    "aws_operadores_cartaporte_v2",
    "Etd_operadores_cportev2",
    "Etd_Operadores_cportev2.Etd_Operadores_cportev2Item",
    "Etd_Operadores_cportev2_Etd_Operadores_cportev2Item",
    "Etd_Operadores_cportev2",
};

st2cartapor::st2cartapor(SOAPParm_mod& soap, Display* display)
    : SoapServiceProxy(soap, display, kService) {}

ZQSCollection st2cartapor::execute(int16_t zqTp_Succve, int16_t zqTp_Unicve, int32_t zqTp_Almcve,
                                   Fixed4 zqTp_Numeco, std::string zqTp_Placas) {
  return Call({
      {"Succve", soap::WholeNumberText(zqTp_Succve, 2)},
      {"Unicve", soap::WholeNumberText(zqTp_Unicve, 2)},
      {"Almcve", soap::WholeNumberText(zqTp_Almcve, 6)},
      {"Numeco", soap::WholeNumberText(zqTp_Numeco.ToDouble(), 11)},
      {"Placas", Trim(zqTp_Placas)},
  });
}

std::shared_ptr<SoapObject> st2cartapor::Clone() const {
  return std::make_shared<st2cartapor>(soap_, display_);
}

st1cartapor::st1cartapor(SOAPParm_mod& soap, Display* display)
    : SoapServiceProxy(soap, display, kService) {}

ZQSCollection st1cartapor::execute(int16_t zqTp_Succve, int16_t zqTp_Unicve, int32_t zqTp_Almcve,
                                   int16_t zqTp_Emptipo, Fixed4 zqTp_Empnum,
                                   std::string zqTp_Emprfc) {
  return Call({
      {"Succve", soap::WholeNumberText(zqTp_Succve, 2)},
      {"Unicve", soap::WholeNumberText(zqTp_Unicve, 2)},
      {"Almcve", soap::WholeNumberText(zqTp_Almcve, 6)},
      {"Emptipo", soap::WholeNumberText(zqTp_Emptipo, 2)},
      {"Empnum", soap::WholeNumberText(zqTp_Empnum.ToDouble(), 11)},
      {"Emprfc", Trim(zqTp_Emprfc)},
  });
}

std::shared_ptr<SoapObject> st1cartapor::Clone() const {
  return std::make_shared<st1cartapor>(soap_, display_);
}

}  // namespace kalu
