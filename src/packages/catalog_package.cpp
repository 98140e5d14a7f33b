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
  while (!reader.Eof()) {
    visit(RTrim(reader.Name()));
    reader.Read();
  }
  reader.Close();
  Progress(ctx, "");
  if (reader.ErrCode() > 0) {
    ctx.log.Line(app + ": lectura de " + fileName + " interrumpida: " + reader.ErrDescription());
  }
}

}  // namespace kalu
