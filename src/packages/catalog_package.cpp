#include "packages/catalog_package.h"

#include "packages/pftpgetxmz.h"
#include "packages/pfunciones_mod.h"
#include "runtime/text.h"

namespace kalu {

bool ObtainPackage(Context& ctx, int16_t local, const std::string& fileName) {
  if (local != 0) {
    DecompressPackageFile(ctx, kPackageFolder, fileName);
    return true;
  }
  std::string source = fileName;
  std::string folder = kPackageFolder;
  int16_t arrived = 0;
  PFTPGETXMZ(ctx).Run(source, folder, arrived);
  return arrived != 0;
}

void WalkPackage(Context& ctx, XmlReader& reader, const std::string& app,
                 const std::string& fileName,
                 const std::function<void(const std::string&)>& visit) {
  reader.Open(".\\importar\\" + fileName);
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
  if (reader.ErrCode() > 0) {
    ctx.log.Line(app + ": lectura de " + fileName + " interrumpida: " + reader.ErrDescription());
  }
}

void PackageProgress(Context& ctx, const XmlReader& reader) {
  ctx.steps.SetWork(reader.BytesRead(), reader.Size());
}

}  // namespace kalu
