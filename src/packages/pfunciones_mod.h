#pragma once
// PFUNCIONES_MOD: turns a package file (".XMZ") back into its XML document in place, and
// the thin FTP calls the package download uses.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ftp.h"
#include "run/context.h"

namespace kalu {

// Inflates the package `folder` + `fileName` (a "\" is put between them when the folder
// does not end with one) so that the file holds the XML document itself, and returns the
// document the loaders read. A missing, unreadable or empty package raises a run-time
// error before anything is touched. When the payload does not inflate, the message "ERROR
// <code>: Se tratara de desencriptar el archivo, pero esta incorrecto el formato " is
// shown, and the file keeps its former bytes, which are returned. The document replaces
// the package only once it is complete, and only if the system lets it: a package that
// another program holds open, or that is read-only, keeps its former bytes (the run log
// says so) and its document is loaded all the same.
std::string DecompressPackageFile(Context& ctx, const std::string& folder,
                                  const std::string& fileName);

// Inflates `buffer` (the payload, as long as the whole package file) into a document of
// `size` bytes with zlib's uncompress and an output room of size + 1 % + 12 bytes. On
// success `buffer` becomes the document; otherwise it is left as it was and the status is
// zlib's code (-3 damaged data, -5 output larger than the room, -4 out of memory). A size
// that is negative or that the payload cannot possibly inflate to is -5 at once.
Status InflateBuffer(std::vector<uint8_t>& buffer, int32_t size);

// Handles of the FTP calls: empty when not open.
using InternetHandle = std::unique_ptr<FtpInternet>;
using ConnectionHandle = std::unique_ptr<FtpConnection>;

// Opens the internet client with the agent name "MyFTP Control", direct connection.
void FtpOpen(InternetHandle& internet);
// A connection to `server` (its FTP port, or "host:port") with the account given; with no
// internet handle the connection stays empty. Nothing is checked here.
void FtpConnect(const InternetHandle& internet, ConnectionHandle& connection, std::string& server,
                std::string& user, std::string& password);
// Fetches `remoteName` into `localPath` (system form); an existing local file is replaced
// once the whole file has arrived. True when the file was transferred.
bool FtpDownload(const ConnectionHandle& connection, const std::string& remoteName,
                 const std::string& localPath, int32_t transferFlags);
// Closes the connection, then the internet handle.
void FtpClose(InternetHandle& internet, ConnectionHandle& connection);

}  // namespace kalu
