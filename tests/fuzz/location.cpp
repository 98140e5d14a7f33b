// "location.xml" on any text. What must hold: the file is applied or its reading fails
// with a run-time error, and every location that can then be looked up gives an HTTP
// client a port from 1 to 65535 and a bounded time-out.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "platform/http.h"
#include "platform/xml.h"
#include "runtime/errors.h"
#include "soap/soap_parm.h"

namespace {

using kalu::fuzz::Check;

// The names the file gives its entries, and the two services of the program.
std::vector<std::string> NamesOf(std::string_view text) {
  std::vector<std::string> names = {kalu::SOAPParm_mod::kVehiclesLocation,
                                    kalu::SOAPParm_mod::kOperatorsLocation};
  kalu::XmlReader reader;
  reader.OpenText(text);
  while (reader.Read() >= 1) {
    if (reader.NodeType() == kalu::XmlReader::kElement && reader.Name() == "ZQLocation") {
      names.push_back(reader.AttributeByName("name"));
    }
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  kalu::SOAPParm_mod soap("kalu-fuzz-no-location.xml");
  kalu::XmlReader reader;
  reader.OpenText(text);
  try {
    soap.LoadLocations(reader);
  } catch (const kalu::RuntimeError&) {
    return 0;  // the file is refused: the lookup and its call end with the error
  }
  for (const std::string& name : NamesOf(text)) {
    auto location = soap.GetLocation(name);
    if (!location) continue;
    const long port = location->Port;
    Check(port == -1 || (port >= 1 && port <= 65535), "a location's port is 1 to 65535");
    kalu::HttpClient client;
    soap.ConfigureHttpClient(name, client);
    const long clientPort = client.Port();
    Check(clientPort >= 1 && clientPort <= 65535, "a client's port is 1 to 65535");
    const long seconds =
        client.Timeout() > 0 ? client.Timeout() : kalu::HttpClient::kDefaultTimeoutSeconds;
    Check(seconds >= 1 && seconds <= 86400, "a client's time-out is bounded");
  }
  return 0;
}
