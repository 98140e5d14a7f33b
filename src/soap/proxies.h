#pragma once
// The two services of the central transport system: st2cartapor asks for the vehicles of
// a store (or of one plate number), st1cartapor for the operators of a store (or of one
// taxpayer code). Each execute is one SOAP call (see service_proxy.h) that returns the
// records of the reply in reply order, or raises the call's failure as a run-time error.
// Numbers are sent as NumberToText(value, width, 0) trimmed, so a value too wide for its
// width goes as asterisks; texts are sent trimmed.

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/numbers.h"
#include "soap/collection.h"
#include "soap/service_proxy.h"

namespace kalu {

// Vehicles: a collection of st1Etd_vcpv.
class st2cartapor : public SoapServiceProxy {
 public:
  static const SoapService kService;

  explicit st2cartapor(SOAPParm_mod& soap, Display* display = nullptr);
  ZQSCollection execute(int16_t zqTp_Succve, int16_t zqTp_Unicve, int32_t zqTp_Almcve,
                        Fixed4 zqTp_Numeco, std::string zqTp_Placas);
  // A new proxy; nothing is copied.
  std::shared_ptr<SoapObject> Clone() const override;
};

// Operators: a collection of st2cportev2.
class st1cartapor : public SoapServiceProxy {
 public:
  static const SoapService kService;

  explicit st1cartapor(SOAPParm_mod& soap, Display* display = nullptr);
  ZQSCollection execute(int16_t zqTp_Succve, int16_t zqTp_Unicve, int32_t zqTp_Almcve,
                        int16_t zqTp_Emptipo, Fixed4 zqTp_Empnum, std::string zqTp_Emprfc);
  // A new proxy; nothing is copied.
  std::shared_ptr<SoapObject> Clone() const override;
};

}  // namespace kalu
