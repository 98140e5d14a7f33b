#pragma once
// The stand-in of the central transport services (tools/soap_standin.py) for tests: a
// loopback server answering from a JSON data file, the last request it received, and the
// location.xml that points both services at it.

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "gen/sandbox.h"

namespace kalu::test {

class ServicesStandIn {
 public:
  // Starts the stand-in answering from `dataJson`; its data, port and request files live
  // in `folder`. Without `port` it listens on a free port between 20000 and 32000 (below
  // the ephemeral ports the system hands out); with one, on that port, and when the port
  // is taken it does not start: Port() is then 0.
  ServicesStandIn(std::filesystem::path folder, const std::string& dataJson, int port = 0);
  ~ServicesStandIn();
  ServicesStandIn(const ServicesStandIn&) = delete;
  ServicesStandIn& operator=(const ServicesStandIn&) = delete;

  // Replaces the answer data; the next request reads it.
  void SetData(const std::string& dataJson) const;
  // Stops the server: the services cannot be reached until Start.
  void Stop();
  // Starts the server again on the same port.
  void Start();
  int Port() const { return port_; }

  // Whether a request arrived since the start or the last ForgetRequests.
  bool Requested() const;
  // The last request as received (request line, headers, empty line, body), or empty.
  std::string LastRequest() const;
  void ForgetRequests() const;

  // Writes "location.xml" into `folder`, pointing both services at the stand-in; `more`
  // goes into each entry's HTTP section (for example "<CancelOnError>2</CancelOnError>").
  void WriteLocationFile(const std::filesystem::path& folder, const std::string& more = "") const;

 private:
  bool Launch(int port);

  std::filesystem::path folder_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// A location.xml pointing the vehicle and the operator service at two loopback ports.
using gen::LocationXml;

// The elements of "Execute" in a recorded request, as "Name=value" joined by ";".
std::string RequestParameters(const std::string& request);

}  // namespace kalu::test
