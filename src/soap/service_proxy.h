#pragma once
// The call of one central service, shared by the vehicle and operator proxies: the HTTP
// client is configured from the service's location, the SOAP 1.1 envelope is written
// and posted, and the reply is read into a collection of records. Faults and failures
// become a signed 16-bit error number with a text:
//
//   0       "No error."                     the reply was read to its end
//   -20001  "Malformed SOAP message."       the reply ended before the reply element
//                                           was closed, and the reader found no error
//   -20004  "Error in client request."      fault code "SOAP-ENV:Client" (any case)
//   -20005  "Error in server execution."    fault code "SOAP-ENV:Server" (any case)
//   -20006  "Unknown error: " + fault code  any other fault
//           (each fault text goes on with "\r\nMessage: " + fault string
//            + "\r\nDetail: " + fault detail; a fault is the element "SOAP-ENV:Fault"
//            or "Fault" under any prefix bound to the SOAP 1.1 envelope namespace, and
//            its code may name the class under that prefix too, "soap:Client")
//   -(10000 + c)  client's description + " (HTTP Error: <status> <reason>)"
//                                           the HTTP client failed with code c
//   -e      the reader's description        the reader failed with code e
//   n       "Name of parameter n different than expected."
//                                           the n-th element of the reply element was
//                                           not the result element, or the n-th element
//                                           of an item is no field of its record
//
// A non-zero outcome is raised as the run-time error (number, text) when the service's
// location has CancelOnError 0 or 1 (every built-in location does); otherwise it is kept
// as the module's last SOAP error and the collection read so far is returned.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/display.h"
#include "platform/http.h"
#include "platform/xml.h"
#include "soap/collection.h"
#include "soap/soap_location.h"
#include "soap/soap_object.h"
#include "soap/soap_parm.h"

namespace kalu {

// The constants of one service.
struct SoapService {
  std::string_view locationName;
  std::string_view soapAction;
  std::string_view objectName;     // resource under the location's base URL
  std::string_view resultElement;  // local name of the result inside the reply element
  std::string_view containedType;  // of the result collection
  std::string_view containedFullType;
  std::string_view actualType;
};

// One request parameter: element name and its text.
using SoapParameter = std::pair<std::string_view, std::string>;

class SoapServiceProxy : public SoapObject {
 public:
  static constexpr int16_t kErrMalformed = -20001;
  static constexpr int16_t kErrClientFault = -20004;
  static constexpr int16_t kErrServerFault = -20005;
  static constexpr int16_t kErrUnknownFault = -20006;
  static constexpr const char* kRequestNamespace = "morvel25";

  // A proxy reads nothing: returns 1 and leaves the reader where it is.
  int16_t readxml(XmlReader& reader) override;
  // One empty element named `sName` (in `sNameSpace` when one is given).
  void writexml(XmlWriter& writer, std::string_view sName,
                std::string_view sNameSpace) const override;
  // Written under the service's location name; `sName` is not used.
  std::string toxml(std::string_view sName, std::string_view sNameSpace) const override;
  // New HTTP client, reader and writer, cleared call state, a new empty location, and
  // the last SOAP error 0 with an empty text.
  void initialize() override;

  // The outcome of a call whose HTTP exchange completed with `replyText` as its body: the
  // reply is read, settled and raised or returned exactly as Call does.
  ZQSCollection CallWithReply(std::string_view replyText);

 protected:
  SoapServiceProxy(SOAPParm_mod& soap, Display* display, const SoapService& service);

  // One service call with the parameters in their order.
  ZQSCollection Call(const std::vector<SoapParameter>& parameters);

  SOAPParm_mod& soap_;
  Display* display_;

 private:
  ZQSCollection NewResult() const;
  void WriteEnvelope(const std::vector<SoapParameter>& parameters);
  void ReadReply(std::string_view replyText, ZQSCollection& result);
  // Settles the outcome from the status and the reader, then raises it or stores it as
  // the last SOAP error and hands the collection on.
  ZQSCollection Conclude(ZQSCollection result);
  void FindBody();
  void ReadFault();
  void ReadResult(ZQSCollection& result);
  void SettleFromStatus();
  void SetError(int16_t number, std::string text);

  SoapService service_;
  // Call state, re-created by initialize.
  std::unique_ptr<HttpClient> client_;
  std::unique_ptr<XmlReader> reader_;
  std::unique_ptr<XmlWriter> writer_;
  int16_t status_ = 0;
  int16_t errorNumber_ = 0;
  std::string errorText_;
  std::string faultCode_;
  std::string faultString_;
  std::string faultDetail_;
  std::string replyElementName_;
  int16_t elementCounter_ = 0;
  bool matched_ = false;
  std::shared_ptr<SOAPLocation> location_;
};

}  // namespace kalu
