#include "packages/pcargavistaspg.h"

#include "database/cursor.h"
#include "packages/catalog_package.h"
#include "packages/view_package.h"
#include "run/message_pump.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kPackage = "SQLPG.XMZ";

}  // namespace

void PCARGAVISTASPG::Run(int16_t inPackageFolder) {
  std::optional<std::string> document = ObtainPackage(ctx_, inPackageFolder, kPackage);
  if (!document) {
    ProcedureEpilogue(ctx_, /*commit=*/true);
    return;
  }

  Progress(ctx_, "Actualización Catalogo de calidades...");
  OpenPackage(reader_, kPackage, std::move(*document));
  if (reader_.Read() >= 1) {
    name_.clear();
    text_.clear();
    nodeCounter_ = 0;
    Progress(ctx_, "CARGANDO TABLA DE VISTAS...");
    MessagePump pump(ctx_);
    while (ReadViewNode(reader_, name_, text_) >= 1) {
      if (!name_.empty() && !text_.empty()) {
        StoreView(ToInt16(nodeCounter_ + 1.0));
        ctx_.steps.AddRows(1);
        name_.clear();
        text_.clear();
      }
      nodeCounter_ = ToInt16(nodeCounter_ + 1.0);
      pump.EveryTenMs();
    }
  }
  reader_.Close();
  PackageReadWhole(ctx_, reader_, kApp, kPackage);
  Progress(ctx_, "");
  Progress(ctx_, "");
  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void PCARGAVISTASPG::StoreView(int16_t id) {
  const std::string body = Trim(text_);
  const DateValue today = TodayThroughPicture(ctx_.clock.Now());

  Cursor p12512(ctx_.session, kApp, "P12512", "SELECT VistaId FROM VISTAPG WHERE VistaId = ?",
                CursorKind::Read);
  p12512.SetInt16(1, id);
  if (!p12512.FetchFirst()) {
    Cursor p12515(ctx_.session, kApp, "P12515",
                  "INSERT INTO VISTAPG (VistaId, VistaName, VistaBody, VistaDate) VALUES (?, ?, "
                  "?, ?)",
                  CursorKind::Update);
    p12515.SetInt16(1, id).SetText(2, name_, 40).SetText(3, body, 10240).SetDate(4, today);
    p12515.Execute();
  } else {
    Cursor p12513(ctx_.session, kApp, "P12513",
                  "SELECT VistaId, VistaName, VistaBody, VistaDate FROM VISTAPG WHERE VistaId = "
                  "? FOR UPDATE OF VISTAPG",
                  CursorKind::Update);
    p12513.SetInt16(1, id);
    if (p12513.FetchFirst()) {
      Cursor p12514(ctx_.session, kApp, "P12514",
                    "UPDATE VISTAPG SET VistaName=?, VistaBody=?, VistaDate=?  WHERE VistaId = ?",
                    CursorKind::Update);
      p12514.SetText(1, name_, 40).SetText(2, body, 10240).SetDate(3, today).SetInt16(4, id);
      p12514.Execute();
    }
  }
}

}  // namespace kalu
