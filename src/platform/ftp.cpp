#include "platform/ftp.h"

#include <curl/curl.h>

#include <memory>

#include "platform/replacement_file.h"

namespace kalu {

namespace {

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct CurlTextDeleter {
  void operator()(char* s) const { curl_free(s); }
};

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
  return static_cast<ReplacementFile*>(file)->Write(data, size * count) ? size * count : 0;
}

}  // namespace

bool FtpConnection::Download(std::string_view remoteName, const std::filesystem::path& localPath,
                             int32_t transferFlags) {
  status_ = Transfer(remoteName, localPath, transferFlags);
  return status_.ok();
}

Status FtpConnection::Transfer(std::string_view remoteName, const std::filesystem::path& localPath,
                               int32_t transferFlags) {
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return Status(CURLE_FAILED_INIT, "the FTP client could not be started");
  if (server_.empty()) return Status(CURLE_URL_MALFORMAT, "no FTP server named");
  // The name is asked for in the account's starting folder, as given.
  std::unique_ptr<char, CurlTextDeleter> escaped(
      curl_easy_escape(curl.get(), remoteName.data(), static_cast<int>(remoteName.size())));
  const std::string url = "ftp://" + server_ + "/" + (escaped ? escaped.get() : "");

  ReplacementFile file(localPath);
  if (!file.IsOpen()) return file.status();
  const FtpLimits& limits = internet_.Limits();
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(c, CURLOPT_USERNAME, user_.c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, password_.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT, internet_.Agent().c_str());
  curl_easy_setopt(c, CURLOPT_PROXY, "");     // a direct connection, whatever the environment says
  curl_easy_setopt(c, CURLOPT_FTPPORT, "-");  // active mode: the server connects back
  curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, (transferFlags & kFtpTransferAscii) ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, limits.connectSeconds);
  curl_easy_setopt(c, CURLOPT_ACCEPTTIMEOUT_MS, limits.acceptSeconds * 1000L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteToFile);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &file);
  char curlError[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, curlError);

  CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) return Status(rc, curl_easy_strerror(rc), curlError);
  return file.Commit() ? Status() : file.status();
}

}  // namespace kalu
