#include "packages/catalog_package.h"

#include "packages/pftpgetxmz.h"
#include "packages/pfunciones_mod.h"
#include "platform/paths.h"
#include "platform/replacement_file.h"
#include "runtime/text.h"

namespace kalu {

namespace {

std::string PackagePath(const std::string& fileName) {
  return ".\\importar\\" + fileName;
}

}  // namespace

std::optional<std::string> ObtainPackage(Context& ctx, int16_t local, const std::string& fileName) {
  if (local != 0) return DecompressPackageFile(ctx, kPackageFolder, fileName);
  std::string folder = kPackageFolder;
  if (!PFTPGETXMZ(ctx).Run(fileName, folder)) return std::nullopt;
  // The download left the package inflated in its place; a file that cannot be read opens
  // as an empty document, which the reader reports.
  std::vector<uint8_t> bytes;
  ReadWholeFile(NativePath(PackagePath(fileName)), bytes);
  return std::string(bytes.begin(), bytes.end());
}

void OpenPackage(XmlReader& reader, const std::string& fileName, std::string document) {
  reader.OpenDocument(PackagePath(fileName), std::move(document));
}

void WalkPackage(Context& ctx, XmlReader& reader, const std::string& app,
                 const std::string& fileName, std::string document,
                 const std::function<void(const std::string&)>& visit) {
  OpenPackage(reader, fileName, std::move(document));
  // Where the reader is costs little only in UTF-8 documents: it is asked now and then,
  // also while `visit` reads on by itself.
  constexpr int kNodesPerProgress = 1024;
  reader.ReportProgress([&ctx, &reader] { PackageProgress(ctx, reader); }, kNodesPerProgress);
  while (!reader.Eof()) {
    visit(RTrim(reader.Name()));
    reader.Read();
  }
  int64_t size = reader.Size();
  ctx.steps.SetWork(size, size);
  reader.Close();
  Progress(ctx, "");
  PackageReadWhole(ctx, reader, app, fileName);
}

bool PackageReadWhole(Context& ctx, const XmlReader& reader, const std::string& app,
                      const std::string& fileName) {
  if (reader.ErrCode() <= 0) return true;
  ctx.log.Line(app + ": lectura de " + fileName + " interrumpida: " + reader.ErrDescription());
  ctx.steps.Fault("No se pudo leer el paquete " + fileName + ": " + reader.ErrDescription());
  return false;
}

void PackageProgress(Context& ctx, const XmlReader& reader) {
  ctx.steps.SetWork(reader.BytesRead(), reader.Size());
}

}  // namespace kalu
