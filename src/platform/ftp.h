#pragma once
// The FTP client of the package download, over libcurl. An FtpInternet is what the
// operating system's internet client gives when it is opened: the agent name and the
// limits every transfer keeps. An FtpConnection holds the host and the credentials; the
// network is reached only when a file is fetched, so a connection that cannot log in
// shows up as a failed download.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "platform/status.h"

namespace kalu {

// Bounds of every wait, so that a server that goes silent fails the transfer instead of
// hanging the run.
struct FtpLimits {
  long connectSeconds = 30;  // TCP connect plus the server's greeting and each reply
  long stallSeconds = 30;    // a transfer that moves no byte for this long fails
  long acceptSeconds = 30;   // the server's data connection back to us (active mode)
};

class FtpInternet {
 public:
  explicit FtpInternet(std::string agent, FtpLimits limits = {})
      : agent_(std::move(agent)), limits_(limits) {}
  const std::string& Agent() const { return agent_; }
  const FtpLimits& Limits() const { return limits_; }
  void SetLimits(const FtpLimits& limits) { limits_ = limits; }

 private:
  std::string agent_;
  FtpLimits limits_;
};

// Transfer types of a download, as the system's FTP client numbers them.
constexpr int32_t kFtpTransferAscii = 1;
constexpr int32_t kFtpTransferBinary = 2;

class FtpConnection {
 public:
  // `server` is a host name or address, optionally followed by ":port" (the FTP port 21
  // otherwise).
  FtpConnection(const FtpInternet& internet, std::string server, std::string user,
                std::string password)
      : internet_(internet),
        server_(std::move(server)),
        user_(std::move(user)),
        password_(std::move(password)) {}

  // Fetches `remoteName` from the account's starting folder into `localPath` with active
  // mode data connections. The local file is replaced only when the whole file has
  // arrived; on a failure it stays as it was. True when the file was transferred.
  bool Download(std::string_view remoteName, const std::filesystem::path& localPath,
                int32_t transferFlags);
  // What went wrong in the last download (libcurl's code, or the local file's failure); ok
  // after a success.
  const Status& status() const { return status_; }
  const std::string& Server() const { return server_; }

 private:
  Status Transfer(std::string_view remoteName, const std::filesystem::path& localPath,
                  int32_t transferFlags);

  FtpInternet internet_;
  std::string server_;
  std::string user_;
  std::string password_;
  Status status_;
};

}  // namespace kalu
