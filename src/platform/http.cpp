#include "platform/http.h"

#include <curl/curl.h>

#include <memory>

#include "platform/proxy.h"
#include "runtime/text.h"

namespace kalu {

namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

}  // namespace

// What one Execute collects from libcurl's callbacks.
struct HttpTransfer {
  HttpClient& client;
  bool tooLarge = false;

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<HttpTransfer*>(self);
    std::string& body = transfer.client.response_;
    size_t bytes = size * count;
    if (body.size() + bytes > transfer.client.replyLimit_) {
      transfer.tooLarge = true;
      return 0;  // aborts the transfer
    }
    body.append(data, bytes);
    return bytes;
  }

  // Keeps the status line and the content type of the last reply (a "100 Continue" or
  // an interim reply comes before the real one).
  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto& client = static_cast<HttpTransfer*>(self)->client;
    std::string_view line = WithoutLineEnd(std::string_view(data, size * count));
    if (StartsWithIgnoreCase(line, "HTTP/")) {
      std::string_view rest =
          line.substr(line.find(' ') == std::string_view::npos ? line.size() : line.find(' ') + 1);
      size_t blank = rest.find(' ');
      std::string_view code = rest.substr(0, blank);
      client.statusCode_ = 0;
      for (char c : code) {
        if (c < '0' || c > '9') break;
        client.statusCode_ = client.statusCode_ * 10 + (c - '0');
      }
      client.reasonLine_ = blank == std::string_view::npos ? "" : Trim(rest.substr(blank + 1));
      client.contentType_.clear();
    } else if (StartsWithIgnoreCase(line, "Content-Type:")) {
      client.contentType_ = Trim(line.substr(13));
    }
    return size * count;
  }
};

void HttpClient::AddAuthentication(int16_t method, std::string_view /*realm*/,
                                   std::string_view user, std::string_view password) {
  authenticate_ = true;
  authMethod_ = method;
  authUser_ = user;
  authPassword_ = password;
}

void HttpClient::AddHeader(std::string_view name, std::string_view value) {
  headers_.emplace_back(std::string(name), std::string(value));
}

std::string HttpClient::UrlOf(std::string_view object) const {
  return std::string(secure_ != 0 ? "https://" : "http://") + Trim(host_) + ":" +
         std::to_string(port_) + baseUrl_ + "/" + std::string(object);
}

void HttpClient::Execute(std::string_view method, std::string_view object) {
  status_ = Status();
  proxyUsed_.clear();
  statusCode_ = 0;
  reasonLine_.clear();
  contentType_.clear();
  response_.clear();

  EasyHandle easy(curl_easy_init());
  if (!easy) {
    status_ = Status(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
    return;
  }
  CURL* h = easy.get();
  std::string url = UrlOf(object);
  HttpTransfer transfer{*this};
  char errorBuffer[CURL_ERROR_SIZE] = {};

  HeaderList headers;
  auto addHeaderLine = [&headers](const std::string& line) {
    if (curl_slist* grown = curl_slist_append(headers.get(), line.c_str())) {
      headers.release();  // the list grew in place or was just created
      headers.reset(grown);
    }
  };
  for (const auto& [name, value] : headers_) addHeaderLine(name + ": " + value);
  addHeaderLine("Expect:");  // no "100-continue" round trip before a large body

  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  // The proxy chosen here and nothing else ("" turns libcurl's own look at the environment
  // off): the one the location names, or the system's; never for this machine.
  const std::string host = Trim(host_);
  ProxyTarget target{url, secure_ != 0 ? "https" : "http", host};
  proxyUsed_ = IsLoopbackHost(host) ? std::string()
               : proxy_.empty()     ? SystemProxyFor(target)
                                    : ProxyUrl(Trim(proxy_));
  curl_easy_setopt(h, CURLOPT_PROXY, proxyUsed_.c_str());
  if (secure_ != 0) {
    curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
  }
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(h, CURLOPT_TIMEOUT,
                   static_cast<long>(timeout_ > 0 ? timeout_ : kDefaultTimeoutSeconds));
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(replyLimit_));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  std::string verb(method);
  if (verb == "POST") {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
  } else if (verb != "GET") {
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }
  if (verb != "GET" || !request_.empty()) {
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, request_.data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_.size()));
  }
  if (authenticate_) {
    long scheme = authMethod_ == 1   ? CURLAUTH_BASIC
                  : authMethod_ == 2 ? CURLAUTH_DIGEST
                                     : CURLAUTH_ANY;
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, scheme);
    curl_easy_setopt(h, CURLOPT_USERNAME, authUser_.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, authPassword_.c_str());
  }

  CURLcode rc = curl_easy_perform(h);
  if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
    status_ =
        Status(kErrReplyTooLarge, "Reply larger than " + std::to_string(replyLimit_) + " bytes");
    response_.clear();
  } else if (rc != CURLE_OK) {
    status_ = Status(rc, errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(rc));
  } else if (statusCode_ >= 400 && ToLower(contentType_).find("xml") == std::string::npos) {
    status_ = Status(kErrHttpStatus, curl_easy_strerror(CURLE_HTTP_RETURNED_ERROR));
  }
}

}  // namespace kalu
