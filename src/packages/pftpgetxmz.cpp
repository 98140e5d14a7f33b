#include "packages/pftpgetxmz.h"

#include "packages/pfunciones_mod.h"
#include "platform/xml.h"
#include "runtime/convert.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// The account of the central package server.
const char* const kFtpUser = "kalucon";
const char* const kFtpPassword = "t29r$dun";

void ShowReaderError(Context& ctx, const XmlReader& reader) {
  ctx.display.ShowMessage("Error:" + NumberToText(reader.ErrCode(), 10, 0) + " " +
                          reader.ErrDescription());
}

}  // namespace

bool PFTPGETXMZ::Run(const std::string& fileName, std::string& folder) {
  Progress(ctx_, "Descargando Archivo..");

  std::string server = Trim(POBTPREFS(ctx_).Run("PREFERENCIAS.XML", "WEBSERVICE2", "WEBSERVER"));

  InternetHandle internet;
  ConnectionHandle connection;
  FtpOpen(internet);
  if (internet) internet->SetLimits(ftpLimits);
  std::string user = kFtpUser;
  std::string password = kFtpPassword;
  FtpConnect(internet, connection, server, user, password);

  folder = ReplaceAll(Trim(folder) + "\\", "\\\\", "\\");
  const std::string localPath = Trim(folder) + Trim(fileName);
  const bool arrived = FtpDownload(connection, fileName, localPath, kFtpTransferBinary);
  if (!arrived && connection) {
    ctx_.log.Line("No se pudo descargar " + fileName + " de '" + server +
                  "': " + connection->LastError());
  }
  FtpClose(internet, connection);

  if (arrived) {
    DecompressPackageFile(ctx_, folder, fileName);
    Progress(ctx_, "Archivo descargado..");
  } else {
    ctx_.display.ShowMessage("Error: No se pudo completar la descarga, intente mas tarde");
    Progress(ctx_, "");
  }
  ProcedureEpilogue(ctx_, false);
  return arrived;
}

std::string POBTPREFS::Run(const std::string& file, const std::string& section,
                           const std::string& item) {
  std::string value;
  XmlReader reader;
  reader.Open(file);
  if (reader.ErrCode() <= 0) {
    const std::string sectionName = RTrim(section);
    const std::string itemName = RTrim(item);
    // The first item inside the section, up to the section's end; a section without child
    // elements has no end node and holds no item.
    if (reader.ReadType(XmlReader::kElement, section) > 0 && RTrim(reader.Name()) == sectionName &&
        reader.HasChildElements()) {
      while (reader.Read() >= 1) {
        const std::string name = RTrim(reader.Name());
        if (name == sectionName) break;
        if (name == itemName) {
          value = reader.Value();
          break;
        }
      }
    }
    if (reader.ErrCode() > 0) ShowReaderError(ctx_, reader);
    reader.Close();
  } else {
    ShowReaderError(ctx_, reader);
  }
  ProcedureEpilogue(ctx_, false);
  return value;
}

}  // namespace kalu
