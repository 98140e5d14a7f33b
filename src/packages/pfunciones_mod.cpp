#include "packages/pfunciones_mod.h"

#include <cerrno>
#include <new>

#include "packages/package_format.h"
#include "platform/paths.h"
#include "platform/zlib_codec.h"
#include "runtime/errors.h"

namespace kalu {

namespace {

constexpr int32_t kErrInputPastEnd = 62;    // "Input past end of file"
constexpr int32_t kErrPathFileAccess = 75;  // "Path/File access error"

const char* const kFtpAgent = "MyFTP Control";

// Reads the package whole; a package that is missing, unreadable or too short to hold its
// size field is a run-time error, raised before anything is touched.
std::vector<uint8_t> ReadPackage(const std::string& path) {
  std::vector<uint8_t> bytes;
  const Status read = ReadWholeFile(NativePath(path), bytes);
  if (read.code() == ENOENT || read.code() == ENOTDIR) Raise(kErrFileNotFound, "File not found");
  if (!read.ok()) Raise(kErrPathFileAccess, "Path/File access error");
  if (bytes.size() < kPackageSizeField) Raise(kErrInputPastEnd, "Input past end of file");
  return bytes;
}

}  // namespace

std::string DecompressPackageFile(Context& ctx, const std::string& folder,
                                  const std::string& fileName) {
  std::string path = folder;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += fileName;

  std::vector<uint8_t> bytes = ReadPackage(path);
  PackageInput input = SplitPackage(bytes);

  // From here on nothing leaves the call as an error: a failed inflation is shown and the
  // package keeps its bytes; a failed write leaves the former file in place.
  if (Status inflated = InflateBuffer(input.buffer, input.declaredSize); !inflated.ok()) {
    ctx.display.ShowMessage("ERROR " + std::to_string(inflated.code()) +
                            ": Se tratara de desencriptar el archivo, pero esta incorrecto el "
                            "formato ");
    return std::string(bytes.begin(), bytes.end());
  }
  bytes = {};
  if (Status written =
          ReplaceFileContent(NativePath(path), input.buffer.data(), input.buffer.size());
      !written.ok()) {
    ctx.log.Line("Aviso: no se pudo reescribir el paquete " + path +
                 " (se carga lo que se descomprimió en memoria): " + written.text());
  }
  return std::string(input.buffer.begin(), input.buffer.end());
}

Status InflateBuffer(std::vector<uint8_t>& buffer, int32_t size) {
  if (!InflateSizeIsPlausible(size, buffer.size())) {
    return StatusFromZlib(kInflateBufferError, "the size field does not fit the payload");
  }
  const int32_t capacity = InflateCapacity(size);
  std::vector<uint8_t> output;
  try {
    output.resize(static_cast<std::size_t>(capacity) + 1);
  } catch (const std::bad_alloc&) {
    return StatusFromZlib(kInflateMemoryError, "the document");
  }
  std::size_t length = static_cast<std::size_t>(capacity);
  Status result = Inflate(output.data(), length, buffer.data(), buffer.size());
  if (result.ok()) {
    output.resize(length);
    buffer.swap(output);
  }
  return result;
}

void FtpOpen(InternetHandle& internet) {
  internet = std::make_unique<FtpInternet>(kFtpAgent);
}

void FtpConnect(const InternetHandle& internet, ConnectionHandle& connection, std::string& server,
                std::string& user, std::string& password) {
  connection.reset();
  if (internet) connection = std::make_unique<FtpConnection>(*internet, server, user, password);
}

bool FtpDownload(const ConnectionHandle& connection, const std::string& remoteName,
                 const std::string& localPath, int32_t transferFlags) {
  return connection && connection->Download(remoteName, NativePath(localPath), transferFlags);
}

void FtpClose(InternetHandle& internet, ConnectionHandle& connection) {
  connection.reset();
  internet.reset();
}

}  // namespace kalu
