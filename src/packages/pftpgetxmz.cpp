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
  const Status status = reader.status();
  ctx.display.ShowMessage("Error:" + NumberToText(status.code(), 10, 0) + " " + status.text());
}

}  // namespace

void PFTPGETXMZ::Run(std::string& AV11Srcfil, std::string& AV13Pathds, int16_t& AV9Envio) {
  Progress(ctx_, "Descargando Archivo..");

  std::string archivo = "PREFERENCIAS.XML";
  std::string seccion = "WEBSERVICE2";
  std::string dato = "WEBSERVER";
  std::string valor;
  POBTPREFS(ctx_).Run(archivo, seccion, dato, valor);
  std::string server = Trim(valor);

  InternetHandle internet;
  ConnectionHandle connection;
  FtpOpen(internet);
  if (internet) internet->SetLimits(ftpLimits);
  std::string user = kFtpUser;
  std::string password = kFtpPassword;
  FtpConnect(internet, connection, server, user, password);

  AV13Pathds = ReplaceAll(Trim(AV13Pathds) + "\\", "\\\\", "\\");
  const std::string localPath = Trim(AV13Pathds) + Trim(AV11Srcfil);
  AV9Envio = FtpDownload(connection, AV11Srcfil, localPath, kFtpTransferBinary) ? 1 : 0;
  if (AV9Envio == 0 && connection) {
    ctx_.log.Line("No se pudo descargar " + AV11Srcfil + " de '" + server +
                  "': " + connection->status().text());
  }
  FtpClose(internet, connection);

  if (AV9Envio != 0) {
    DecompressPackageFile(ctx_, AV13Pathds, AV11Srcfil);
    Progress(ctx_, "Archivo descargado..");
  } else {
    ctx_.display.ShowMessage("Error: No se pudo completar la descarga, intente mas tarde");
    Progress(ctx_, "");
  }
  ProcedureEpilogue(ctx_, false);
}

void POBTPREFS::Run(std::string& AV9Archivo, std::string& AV10Seccio, std::string& AV11Dato,
                    std::string& AV12Valor) {
  AV12Valor.clear();
  XmlReader reader;
  reader.Open(AV9Archivo);
  if (reader.status().ok()) {
    const std::string section = RTrim(AV10Seccio);
    const std::string item = RTrim(AV11Dato);
    // The first item inside the section, up to the section's end; a section without child
    // elements has no end node and holds no item.
    if (reader.ReadType(XmlReader::kElement, AV10Seccio) > 0 && RTrim(reader.Name()) == section &&
        reader.HasChildElements()) {
      while (reader.Read() >= 1) {
        const std::string name = RTrim(reader.Name());
        if (name == section) break;
        if (name == item) {
          AV12Valor = reader.Value();
          break;
        }
      }
    }
    if (!reader.status().ok()) ShowReaderError(ctx_, reader);
    reader.Close();
  } else {
    ShowReaderError(ctx_, reader);
  }
  ProcedureEpilogue(ctx_, false);
}

}  // namespace kalu
