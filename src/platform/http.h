#pragma once
// The HTTP client object of the web-service calls. One object per call: it is configured
// (host, port, base URL, time-out, headers, body), executed once, and then read.
//
// Execute(method, object) sends the request to
//   http://Host:Port + BaseURL + "/" + object      (https:// when Secure is set)
// and returns when the reply has arrived or the request has failed; it never waits for
// ever:
//  - Timeout is the limit of the whole exchange in seconds; 0 (or a negative value)
//    means kDefaultTimeoutSeconds;
//  - a reply body larger than the reply limit (kDefaultReplyLimit, 64 MiB) is not kept:
//    the transfer is aborted and reported as error 63 (file size exceeded).
//
// status() is ok when an HTTP exchange was completed, otherwise the libcurl code of the
// transport failure (7 cannot connect, 28 time-out, 52 empty reply, 56 connection reset,
// ...) with its text. An HTTP error status (400 or above) is a completed
// exchange when the reply is XML (a SOAP 1.1 server answers its faults with status 500
// and a fault envelope, which the caller reads); with any other reply it counts as the
// transport failure 22 (CURLE_HTTP_RETURNED_ERROR, "HTTP response code said error").
// StatusCode and ReasonLine keep the status line of the reply in every case (0 and
// empty when none arrived).
//
// The request goes through the proxy set with SetProxy, else the system's (platform/
// proxy.h); ProxyUsed names the one it took. An https:// request accepts a certificate
// whose revocation cannot be checked (a store's firewall may block the revocation
// servers; Windows' Schannel would otherwise refuse it); a revoked one is still refused.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace kalu {

class HttpClient {
 public:
  static constexpr int16_t kDefaultTimeoutSeconds = 120;
  static constexpr std::size_t kDefaultReplyLimit = std::size_t{64} << 20;
  static constexpr int32_t kErrHttpStatus = 22;     // CURLE_HTTP_RETURNED_ERROR
  static constexpr int32_t kErrReplyTooLarge = 63;  // CURLE_FILESIZE_EXCEEDED

  HttpClient() = default;
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  void SetHost(std::string_view host) { host_ = host; }
  void SetPort(int32_t port) { port_ = port; }
  void SetSecure(int16_t secure) { secure_ = secure; }
  void SetTimeout(int16_t seconds) { timeout_ = seconds; }
  // The path prefix of the resource, without a trailing "/".
  void SetBaseURL(std::string_view baseUrl) { baseUrl_ = baseUrl; }
  // Sends credentials: method 1 basic, 2 digest, any other value lets the server choose
  // among the schemes libcurl knows. The realm is the server's and needs not be given.
  void AddAuthentication(int16_t method, std::string_view realm, std::string_view user,
                         std::string_view password);
  void AddHeader(std::string_view name, std::string_view value);
  // Appends to the request body.
  void AddRequestText(std::string_view text) { request_ += text; }
  // The largest reply body kept; a larger reply fails with kErrReplyTooLarge.
  void SetReplyLimit(std::size_t bytes) { replyLimit_ = bytes; }
  // The proxy of the requests ("http://proxy:3128"); empty: the system's.
  void SetProxy(std::string_view proxy) { proxy_ = proxy; }

  const std::string& Host() const { return host_; }
  int32_t Port() const { return port_; }
  int16_t Secure() const { return secure_; }
  int16_t Timeout() const { return timeout_; }
  const std::string& BaseURL() const { return baseUrl_; }
  // The URL Execute sends `object` to.
  std::string UrlOf(std::string_view object) const;

  // Performs the request ("POST" sends the request text as body; any other method is
  // sent as named, with the body when there is one).
  void Execute(std::string_view method, std::string_view object);

  const Status& status() const { return status_; }
  int32_t StatusCode() const { return statusCode_; }
  const std::string& ReasonLine() const { return reasonLine_; }
  const std::string& ResponseText() const { return response_; }
  // The proxy the last Execute went through ("http://proxy:3128"), empty when direct.
  const std::string& ProxyUsed() const { return proxyUsed_; }

 private:
  friend struct HttpTransfer;

  std::string host_;
  int32_t port_ = 80;
  int16_t secure_ = 0;
  int16_t timeout_ = 0;
  std::string baseUrl_;
  int16_t authMethod_ = 0;
  std::string authUser_;
  std::string authPassword_;
  bool authenticate_ = false;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string request_;
  std::size_t replyLimit_ = kDefaultReplyLimit;
  std::string proxy_;

  Status status_;
  int32_t statusCode_ = 0;
  std::string reasonLine_;
  std::string contentType_;
  std::string response_;
  std::string proxyUsed_;
};

}  // namespace kalu
