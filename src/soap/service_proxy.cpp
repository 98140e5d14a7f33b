#include "soap/service_proxy.h"

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "soap/xml_nodes.h"

namespace kalu {

namespace {

// Namespaces of SOAP 1.1 and of XML Schema (2001).
constexpr const char* kEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kEncodingNamespace = "http://schemas.xmlsoap.org/soap/encoding/";
constexpr const char* kSchemaNamespace = "http://www.w3.org/2001/XMLSchema";
constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

constexpr const char* kFaultElement = "SOAP-ENV:Fault";
constexpr const char* kFaultLocalName = "Fault";

// The current node is a SOAP 1.1 fault: "SOAP-ENV:Fault" as this system's services write
// it, or a Fault element under any prefix bound to the envelope namespace (common SOAP
// stacks write "soap:Fault" or "soapenv:Fault").
bool IsFault(const XmlReader& reader) {
  return RTrim(reader.Name()) == kFaultElement ||
         (RTrim(reader.LocalName()) == kFaultLocalName &&
          RTrim(reader.NamespaceURI()) == kEnvelopeNamespace);
}

}  // namespace

SoapServiceProxy::SoapServiceProxy(SOAPParm_mod& soap, Display* display, const SoapService& service)
    : soap_(soap), display_(display), service_(service) {
  initialize();
}

int16_t SoapServiceProxy::readxml(XmlReader& /*reader*/) {
  return 1;
}

void SoapServiceProxy::writexml(XmlWriter& writer, std::string_view sName,
                                std::string_view sNameSpace) const {
  StartElementInNamespace(writer, sName, RTrim(sNameSpace).empty() ? "" : sNameSpace, "ns");
  writer.WriteEndElement();
}

std::string SoapServiceProxy::toxml(std::string_view /*sName*/, std::string_view sNameSpace) const {
  return WriteFragment(*this, service_.locationName, sNameSpace);
}

void SoapServiceProxy::initialize() {
  client_ = std::make_unique<HttpClient>();
  reader_ = std::make_unique<XmlReader>();
  writer_ = std::make_unique<XmlWriter>();
  status_ = 0;
  errorNumber_ = 0;
  errorText_.clear();
  faultCode_.clear();
  faultString_.clear();
  faultDetail_.clear();
  replyElementName_.clear();
  elementCounter_ = 0;
  matched_ = false;
  location_ = std::make_shared<SOAPLocation>();
  soap_.SetLastError(0, "");
}

void SoapServiceProxy::SetError(int16_t number, std::string text) {
  errorNumber_ = number;
  errorText_ = std::move(text);
}

ZQSCollection SoapServiceProxy::Call(const std::vector<SoapParameter>& parameters) {
  initialize();
  ZQSCollection result = NewResult();
  soap_.SetLastError(0, "No error.");

  // The call goes on when the location is not found: the client then fails by itself.
  soap_.ConfigureHttpClient(service_.locationName, *client_);
  client_->AddHeader("Content-type", "text/xml;charset=utf-8");
  client_->AddHeader("SOAPAction", service_.soapAction);

  WriteEnvelope(parameters);
  client_->AddRequestText(writer_->DocumentText());
  writer_->Close();
  client_->Execute("POST", service_.objectName);

  if (const Status& sent = client_->status(); !sent.ok()) {
    int32_t number = -sent.code() - 10000;
    if (number < INT16_MIN || number > INT16_MAX) RaiseOverflow();
    SetError(static_cast<int16_t>(number),
             sent.text() + " (HTTP Error: " + Trim(NumberToText(client_->StatusCode(), 10, 0)) +
                 " " + client_->ReasonLine() + ")");
  } else {
    ReadReply(client_->ResponseText(), result);
  }
  return Conclude(std::move(result));
}

ZQSCollection SoapServiceProxy::CallWithReply(std::string_view replyText) {
  initialize();
  ZQSCollection result = NewResult();
  soap_.SetLastError(0, "No error.");
  ReadReply(replyText, result);
  return Conclude(std::move(result));
}

ZQSCollection SoapServiceProxy::NewResult() const {
  ZQSCollection result(display_);
  result.ContainedType = service_.containedType;
  result.ContainedFullType = service_.containedFullType;
  result.ActualType = service_.actualType;
  return result;
}

void SoapServiceProxy::ReadReply(std::string_view replyText, ZQSCollection& result) {
  reader_->OpenReplyText(replyText);
  FindBody();
  if (IsFault(*reader_) && status_ > 0) {
    ReadFault();
  } else {
    ReadResult(result);
  }
}

ZQSCollection SoapServiceProxy::Conclude(ZQSCollection result) {
  if (errorNumber_ == 0) SettleFromStatus();

  if (errorNumber_ != 0) {
    // A name missing from the table has no CancelOnError: the failure is raised too.
    location_ = soap_.GetLocation(service_.locationName);
    if (!location_ || location_->CancelOnError == 0 || location_->CancelOnError == 1) {
      Raise(errorNumber_, errorText_);
    }
  }
  soap_.SetLastError(errorNumber_, errorText_);
  return result;
}

void SoapServiceProxy::WriteEnvelope(const std::vector<SoapParameter>& parameters) {
  XmlWriter& w = *writer_;
  w.OpenToText();
  w.WriteStartDocument("utf-8", 0);
  w.WriteStartElement("SOAP-ENV:Envelope");
  w.WriteAttribute("xmlns:SOAP-ENV", kEnvelopeNamespace);
  w.WriteAttribute("SOAP-ENV:encodingStyle", kEncodingNamespace);
  w.WriteAttribute("xmlns:xsd", kSchemaNamespace);
  w.WriteAttribute("xmlns:SOAP-ENC", kEncodingNamespace);
  w.WriteAttribute("xmlns:xsi", kSchemaInstanceNamespace);
  w.WriteStartElement("SOAP-ENV:Body");
  w.WriteStartElement("Execute");
  w.WriteAttribute("xmlns", kRequestNamespace);
  for (const auto& [name, text] : parameters) w.WriteElement(name, text);
  w.WriteEndElement();  // Execute
  w.WriteEndElement();  // SOAP-ENV:Body
  w.WriteEndElement();  // SOAP-ENV:Envelope
  w.Close();
}

// Reads up to the body (any node whose name holds "Body") and then its first child.
void SoapServiceProxy::FindBody() {
  do {
    status_ = soap::ReadNode(*reader_);
  } while (status_ >= 1 && FindText(reader_->Name(), "Body") <= 0);
  if (status_ > 0) status_ = soap::ReadNode(*reader_);
}

// Takes fault code, string and detail up to the end of the fault (or of the reply, when
// the fault is never closed) and classifies the fault code. The fault code names its
// class under the envelope's prefix: "SOAP-ENV:Client" as always, or the prefix the
// fault element itself carries ("soap:Client" in a "soap:Fault").
void SoapServiceProxy::ReadFault() {
  XmlReader& r = *reader_;
  const std::string faultName = RTrim(r.Name());
  const std::string prefix = ToLower(faultName.substr(0, faultName.find(':') + 1));
  int16_t status = soap::ReadNode(r);
  while (status >= 1 && !soap::IsEndTag(r, faultName)) {
    std::string name = ToLower(RTrim(r.Name()));
    std::string text;
    status = soap::ReadElementText(r, text);
    if (name == "faultcode") {
      faultCode_ = text;
    } else if (name == "faultstring") {
      faultString_ = text;
    } else if (name == "detail") {
      faultDetail_ = text;
    }
  }
  std::string details =
      NewLine() + "Message: " + faultString_ + NewLine() + "Detail: " + faultDetail_;
  std::string code = RTrim(ToLower(faultCode_));
  auto isClass = [&](const char* name) {
    return code == std::string("soap-env:") + name || (!prefix.empty() && code == prefix + name);
  };
  if (isClass("client")) {
    SetError(kErrClientFault, "Error in client request." + details);
  } else if (isClass("server")) {
    SetError(kErrServerFault, "Error in server execution." + details);
  } else {
    SetError(kErrUnknownFault, "Unknown error: " + faultCode_ + details);
  }
}

// Reads the children of the reply element: the result element fills the collection;
// the first other element ends the reading with minus its position as status. An item
// holding an element that is no field of its record ends the reading the same way, with
// that element's position in the item: a record read only up to a stranger is not
// handed on as if it were whole.
void SoapServiceProxy::ReadResult(ZQSCollection& result) {
  XmlReader& r = *reader_;
  replyElementName_ = r.Name();
  status_ = soap::ReadNode(r);
  elementCounter_ = 0;
  while (RTrim(r.Name()) != RTrim(replyElementName_) && status_ > 0) {
    matched_ = false;
    std::string ns = RTrim(r.NamespaceURI());
    if ((ns.empty() || ns == kRequestNamespace) && RTrim(r.LocalName()) == service_.resultElement) {
      // A result without items (<R/> or <R></R>) has no end node to read up to. The end
      // tag of a result whose items stopped at a stranger goes to the collection as well,
      // which reads on from it and finds no items.
      bool withoutItems = r.NodeType() == XmlReader::kElement && !r.HasChildElements();
      if (!withoutItems) {
        int16_t itemsStatus = result.readxml(r);
        if (itemsStatus < 0) {
          status_ = itemsStatus;
          break;
        }
      }
      matched_ = true;
    }
    status_ = soap::ReadNode(r);
    elementCounter_ = soap::CountOne(elementCounter_);
    if (!matched_) status_ = static_cast<int16_t>(-elementCounter_);
  }
  r.Close();
}

void SoapServiceProxy::SettleFromStatus() {
  if (status_ < 0) {
    SetError(
        static_cast<int16_t>(-status_),
        "Name of parameter " + Trim(NumberToText(-status_, 10, 0)) + " different than expected.");
  } else if (Status read = reader_->status(); !read.ok()) {
    SetError(static_cast<int16_t>(-read.code()), read.text());
  } else if (status_ == 0) {
    SetError(kErrMalformed, "Malformed SOAP message.");
  } else {
    SetError(0, "No error.");
  }
}

}  // namespace kalu
