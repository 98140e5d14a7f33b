#pragma once
// Module SOAPParm_mod: the location table of the web services, its lookup, the settings
// of an HTTP client from a location, and the last SOAP error. The Carta Porte refresh holds
// one and hands it to the imports that call the services (the store check has its own);
// the service proxies report to it.
//
// The table is built on the first lookup from the built-in locations and the optional
// file "location.xml" of the working folder, and then lives as long as the object:
// later changes to the file are not seen.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/http.h"
#include "platform/xml.h"
#include "soap/soap_location.h"

namespace kalu {

class SOAPParm_mod {
 public:
  static constexpr int16_t kErrInvalidLocation = -20007;
  static constexpr const char* kLocationFile = "location.xml";

  // Location names of the two central transport services.
  static constexpr const char* kVehiclesLocation = "morvel25_ws_vehiculos_cartaporte_v3";
  static constexpr const char* kOperatorsLocation = "morvel25_ws_operadores_cartaporte_v2";
  // The built-in entry whose host and base URL a location added by the file takes.
  static constexpr const char* kInternalLocation = "kalu_ws_servicios_internos";

  SOAPParm_mod() = default;
  // A module that reads its locations from another file (a path in the system's form).
  explicit SOAPParm_mod(std::string locationFile) : locationFile_(std::move(locationFile)) {}
  SOAPParm_mod(const SOAPParm_mod&) = delete;
  SOAPParm_mod& operator=(const SOAPParm_mod&) = delete;

  // The location of a name (letter case does not matter), or nothing. Sets the last SOAP
  // error: 0 "No error." when found, -20007 "Invalid location name." when not.
  std::shared_ptr<SOAPLocation> GetLocation(std::string_view name);
  // Builds the table from the built-in entries and applies the location file open in
  // `reader` (nothing is applied when the reader reports an error).
  void LoadLocations(XmlReader& reader);
  // Applies the section the reader stands on to `location`; returns the section's name,
  // empty when the current node is not an element start.
  std::string ReadLocationSection(XmlReader& reader, SOAPLocation& location);
  // Copies the settings of the named location into the client; a client of a name not
  // in the table keeps its own defaults.
  void ConfigureHttpClient(std::string_view name, HttpClient& client);

  int16_t LastErrorNumber() const { return lastErrorNumber_; }
  const std::string& LastErrorText() const { return lastErrorText_; }
  void SetLastError(int16_t number, std::string text);

 private:
  void Add(std::shared_ptr<SOAPLocation> location);
  std::shared_ptr<SOAPLocation> NewFileLocation(std::string_view name) const;

  std::string locationFile_ = kLocationFile;
  std::map<std::string, std::shared_ptr<SOAPLocation>> locations_;  // by lower-cased name
  int16_t loaded_ = 0;
  int16_t lastErrorNumber_ = 0;
  std::string lastErrorText_;
};

}  // namespace kalu
