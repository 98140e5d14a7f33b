#pragma once
// A named web-service address: host, port, base URL and connection flags. The module
// SOAPParm_mod resolves a service's location name to one of these.

#include <cstdint>
#include <string>
#include <string_view>

namespace kalu {

class SOAPLocation {
 public:
  std::string Name;
  std::string Host;            // empty: not set
  int32_t Port = -1;           // TCP port, 1 to 65535; -1: not set
  int16_t Secure = -1;         // 0 plain HTTP; -1 not set
  int16_t CancelOnError = 0;   // 0 or 1: a failed call raises a run-time error
  int16_t Timeout = -1;        // -1: not set
  int16_t Authentication = 0;  // -1 (true): credentials go to the HTTP client
  int16_t AuthenticationMethod = -1;
  std::string AuthenticationRealm;
  std::string AuthenticationUser;
  std::string AuthenticationPassword;
  std::string Proxy;  // "http://proxy:3128"; empty: the system's proxy

  // Stores the text trimmed on both sides and without one trailing "/".
  void SetBaseURL(std::string_view baseUrl);
  const std::string& BaseURL() const { return baseUrl_; }

 private:
  std::string baseUrl_;
};

}  // namespace kalu
