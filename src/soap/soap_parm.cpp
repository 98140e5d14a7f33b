#include "soap/soap_parm.h"

#include "build_config.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "soap/collection.h"
#include "soap/xml_nodes.h"

namespace kalu {

namespace {

struct BuiltInLocation {
  const char* name;
  const char* host;
  int32_t port;
  const char* baseUrl;
  int16_t timeout;
};

// The services this program calls, then the internal server whose host and base URL a
// location added by "location.xml" starts from (it must stay the last entry). Hosts are
// deployment values set by the build (build_config.h).
constexpr BuiltInLocation kBuiltIn[] = {
    {SOAPParm_mod::kVehiclesLocation, KALU_SERVICES_HOST, 80, "/morvel25/servlet/", 0},
    {SOAPParm_mod::kOperatorsLocation, KALU_SERVICES_HOST, 80, "/morvel25/servlet/", 0},
    {SOAPParm_mod::kInternalLocation, KALU_INTERNAL_HOST, 8080, "/servicios/servlet/", 240},
};

std::shared_ptr<SOAPLocation> MakeLocation(std::string_view name, std::string_view host,
                                           int32_t port, std::string_view baseUrl,
                                           int16_t timeout) {
  auto location = std::make_shared<SOAPLocation>();
  location->Name = name;
  location->Host = host;
  location->Port = port;
  location->SetBaseURL(baseUrl);
  location->Secure = 0;
  location->Timeout = timeout;
  location->CancelOnError = 0;
  location->Authentication = 0;
  location->AuthenticationMethod = 0;
  return location;
}

// The port a location's "port" element gives: every TCP port, 1 to 65535. Anything else
// ends the lookup with a message naming the location and the value as written, before a
// request could go to a port that is not the one meant.
int32_t PortFromText(const SOAPLocation& location, const std::string& text) {
  double value = LeadingNumericValue(text);
  if (value > 0.5 && value < 65535.5) return ToInt32(value);
  Raise(kErrInvalidCall, "Puerto no válido en " + std::string(SOAPParm_mod::kLocationFile) +
                             " para la ubicación \"" + location.Name + "\": \"" + text +
                             "\" (debe ser un número de 1 a 65535)");
}

// An element without child elements (<x/>, <x></x> or text only) has no end node, so a
// walk "until its end tag" must not begin on it.
bool IsLeaf(const XmlReader& reader) {
  return !reader.HasChildElements();
}

}  // namespace

void SOAPParm_mod::SetLastError(int16_t number, std::string text) {
  lastErrorNumber_ = number;
  lastErrorText_ = std::move(text);
}

void SOAPParm_mod::Add(std::shared_ptr<SOAPLocation> location) {
  locations_[ToLower(location->Name)] = std::move(location);
}

std::shared_ptr<SOAPLocation> SOAPParm_mod::GetLocation(std::string_view name) {
  if (loaded_ == 0) {
    XmlReader reader;
    reader.Open(locationFile_);
    LoadLocations(reader);
    if (reader.status().ok()) reader.Close();
  }
  auto found = locations_.find(ToLower(name));
  if (found == locations_.end()) {
    SetLastError(kErrInvalidLocation, "Invalid location name.");
    return nullptr;
  }
  SetLastError(0, "No error.");
  return found->second;
}

std::shared_ptr<SOAPLocation> SOAPParm_mod::NewFileLocation(std::string_view name) const {
  const BuiltInLocation& last = std::end(kBuiltIn)[-1];
  return MakeLocation(name, last.host, 8080, last.baseUrl, 240);
}

void SOAPParm_mod::LoadLocations(XmlReader& reader) {
  loaded_ = 1;
  locations_.clear();
  for (const BuiltInLocation& entry : kBuiltIn) {
    Add(MakeLocation(entry.name, entry.host, entry.port, entry.baseUrl, entry.timeout));
  }
  if (!reader.status().ok()) return;
  if (reader.ReadType(XmlReader::kElement, "ZQLocations") <= 0) return;
  // Every walk below also ends at the end of the input.
  while (soap::ReadNode(reader) >= 1 && !soap::IsEndTag(reader, "ZQLocations")) {
    if (!soap::IsStartTag(reader, "ZQLocation")) continue;
    std::string name = reader.AttributeByName("name");
    std::shared_ptr<SOAPLocation> location = GetLocation(name);
    if (!location) {
      location = NewFileLocation(name);
      Add(location);
    }
    if (IsLeaf(reader)) continue;  // <ZQLocation name="..."/> holds no section
    while (soap::ReadNode(reader) >= 1 && !soap::IsEndTag(reader, "ZQLocation")) {
      ReadLocationSection(reader, *location);
    }
  }
}

std::string SOAPParm_mod::ReadLocationSection(XmlReader& reader, SOAPLocation& location) {
  if (reader.NodeType() != XmlReader::kElement) return "";
  std::string section = reader.Name();
  if (IsLeaf(reader)) return section;
  while (soap::ReadNode(reader) >= 1 && !soap::IsEndTag(reader, RTrim(section))) {
    std::string key = ToLower(RTrim(reader.Name()));
    if (key == "host") {
      location.Host = reader.Value();
    } else if (key == "port") {
      location.Port = PortFromText(location, reader.Value());
    } else if (key == "baseurl") {
      location.SetBaseURL(reader.Value());
    } else if (key == "secure") {
      location.Secure = soap::TextToInt16(reader.Value());
    } else if (key == "timeout") {
      location.Timeout = soap::TextToInt16(reader.Value());
    } else if (key == "proxy") {
      location.Proxy = Trim(reader.Value());
    } else if (key == "cancelonerror") {
      location.CancelOnError = soap::TextToInt16(reader.Value());
    } else if (RTrim(reader.Name()) == "Authentication") {
      location.AuthenticationMethod = 0;
      if (IsLeaf(reader)) continue;
      while (soap::ReadNode(reader) >= 1 && !soap::IsEndTag(reader, "Authentication")) {
        std::string credential = ToLower(RTrim(reader.Name()));
        if (credential == "authenticationmethod") {
          location.AuthenticationMethod = soap::TextToInt16(reader.Value());
        } else if (credential == "authenticationuser") {
          location.AuthenticationUser = reader.Value();
        } else if (credential == "authenticationrealm") {
          location.AuthenticationRealm = reader.Value();
        } else if (credential == "authenticationpassword") {
          location.AuthenticationPassword = reader.Value();
        }
      }
    }
  }
  return section;
}

void SOAPParm_mod::ConfigureHttpClient(std::string_view name, HttpClient& client) {
  std::shared_ptr<SOAPLocation> location = GetLocation(name);
  if (lastErrorNumber_ != 0 || !location) return;
  if (!RTrim(location->Host).empty()) client.SetHost(location->Host);
  if (location->Port != -1) client.SetPort(location->Port);
  if (!RTrim(location->BaseURL()).empty()) client.SetBaseURL(location->BaseURL());
  if (location->Secure != -1) client.SetSecure(location->Secure);
  if (location->Timeout != -1) client.SetTimeout(location->Timeout);
  if (!location->Proxy.empty()) client.SetProxy(location->Proxy);
  if (location->Authentication == -1) {
    client.AddAuthentication(location->AuthenticationMethod, location->AuthenticationRealm,
                             location->AuthenticationUser, location->AuthenticationPassword);
  }
}

}  // namespace kalu
