// A service reply on any text, read by the vehicle and the operator calls. What must
// hold: the call either hands on a collection of its own records, with the last SOAP
// error 0 "No error.", or fails with one of the call's error numbers and its text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "check.h"
#include "runtime/errors.h"
#include "soap/proxies.h"
#include "soap/records.h"
#include "soap/service_proxy.h"
#include "soap/soap_parm.h"

namespace {

using kalu::fuzz::Check;

bool StartsWith(const std::string& text, std::string_view prefix) {
  return std::string_view(text).substr(0, prefix.size()) == prefix;
}

// Whether a raised failure is one the call gives, with the text that goes with its number.
bool IsCallFailure(const kalu::RuntimeError& e) {
  const int32_t n = e.Number();
  const std::string& text = e.Description();
  if (n == kalu::kErrOverflow && text == "Overflow") return true;  // a number too big for its field
  if (n == kalu::SoapServiceProxy::kErrMalformed) return text == "Malformed SOAP message.";
  if (n == kalu::SoapServiceProxy::kErrClientFault)
    return StartsWith(text, "Error in client request.\r\nMessage: ");
  if (n == kalu::SoapServiceProxy::kErrServerFault)
    return StartsWith(text, "Error in server execution.\r\nMessage: ");
  if (n == kalu::SoapServiceProxy::kErrUnknownFault) return StartsWith(text, "Unknown error: ");
  if (n >= 1 && n <= INT16_MAX)
    return text == "Name of parameter " + std::to_string(n) + " different than expected.";
  if (n <= -1 && n >= -INT16_MAX) return !text.empty();  // the reader's error, its description
  return false;
}

template <class Proxy, class Record>
void Call(std::string_view reply) {
  kalu::SOAPParm_mod soap("kalu-fuzz-no-location.xml");
  Proxy proxy(soap);
  try {
    kalu::ZQSCollection result = proxy.CallWithReply(reply);
    for (int16_t i = 1; i <= result.Count(); ++i) {
      Check(dynamic_cast<Record*>(result.Item(i).get()) != nullptr, "the call's own records");
    }
    Check(soap.LastErrorNumber() == 0 && soap.LastErrorText() == "No error.",
          "a collection handed on is a call without error");
  } catch (const kalu::RuntimeError& e) {
    if (!IsCallFailure(e)) {
      std::fprintf(stderr, "failure %d: %s\n", e.Number(), e.Description().c_str());
      Check(false, "a failure is one of the call's");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view reply(reinterpret_cast<const char*>(data), size);
  Call<kalu::st2cartapor, kalu::st1Etd_vcpv>(reply);
  Call<kalu::st1cartapor, kalu::st2cportev2>(reply);
  return 0;
}
