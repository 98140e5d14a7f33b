#include "packages/pcargadatosdelsistema.h"

#include "database/cursor.h"
#include "packages/catalog_package.h"
#include "packages/pguardasesion.h"
#include "run/message_pump.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kPackage = "DATOS.XMZ";
constexpr int kNumberWidth = 10;  // DatNoCa

}  // namespace

void PCARGADATOSDELSISTEMA::zq_Init_all() {
  mode_ = 0;
  datNoCa_.clear();
  datDesCa_.clear();
  datCve_ = 0;
  datDes_.clear();
  user_.clear();
  date_ = time_ = kEmptyDate;
}

void PCARGADATOSDELSISTEMA::Run(int16_t inPackageFolder) {
  zq_Init_all();
  std::optional<std::string> document = ObtainPackage(ctx_, inPackageFolder, kPackage);
  if (!document) {
    ProcedureEpilogue(ctx_, /*commit=*/true);
    return;
  }

  Progress(ctx_, "Cargando Actualización de Datos del Sistema...");
  OpenPackage(reader_, kPackage, *document);
  reader_.ReadType(XmlReader::kElement, "Modo");
  mode_ = ToInt16(LeadingNumericValue(reader_.Value()));
  if (mode_ == 1) Purge();
  LoadCatalogues();

  reader_.Close();
  PackageReadWhole(ctx_, reader_, kApp, kPackage);
  OpenPackage(reader_, kPackage, std::move(*document));
  LoadEntries();

  reader_.Close();
  PackageReadWhole(ctx_, reader_, kApp, kPackage);
  Progress(ctx_, " ");
  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void PCARGADATOSDELSISTEMA::Purge() {
  Cursor p02672(ctx_.session, kApp, "P02672",
                "SELECT DatNoCa FROM DATOS ORDER BY DatNoCa  FOR UPDATE OF DATOS",
                CursorKind::Update);
  WritesBehind writes(ctx_.session);
  MessagePump pump(ctx_);
  for (bool row = p02672.FetchFirst(); row; row = p02672.FetchNext()) {
    datNoCa_ = p02672.Text(1);
    Cursor p02673(ctx_.session, kApp, "P02673", "DELETE FROM DATOS1  WHERE DatNoCa = ?",
                  CursorKind::Update);
    p02673.SetText(1, datNoCa_, kNumberWidth);
    p02673.Execute();
    Cursor p02674(ctx_.session, kApp, "P02674", "DELETE FROM DATOS  WHERE DatNoCa = ?",
                  CursorKind::Update);
    p02674.SetText(1, datNoCa_, kNumberWidth);
    p02674.Execute();
    pump.EveryTenMs();
  }
}

void PCARGADATOSDELSISTEMA::LoadCatalogues() {
  reader_.ReadType(XmlReader::kElement, "TABLA_DATOS");
  if (RTrim(reader_.Name()) != "TABLA_DATOS") return;
  SaveSession();
  // The catalogues there are, read once: each "CAMPO" is then an insert or an update sent
  // without waiting.
  catalogues_.clear();
  Cursor keys(ctx_.session, kApp, "P02675_ALL", "SELECT DatNoCa FROM DATOS", CursorKind::Read);
  for (bool row = keys.FetchFirst(); row; row = keys.FetchNext()) {
    catalogues_.insert(CharKey(keys.Text(1), kNumberWidth));
  }
  WritesBehind writes(ctx_.session);
  MessagePump pump(ctx_);
  for (;;) {
    reader_.ReadType(XmlReader::kElement, "CAMPO");
    if (RTrim(reader_.Name()) != "CAMPO") break;
    reader_.Read();
    datNoCa_ = reader_.Value();
    reader_.Read();
    datDesCa_ = reader_.Value();
    SaveCatalogue();
    ctx_.steps.AddRows(1);
    PackageProgress(ctx_, reader_);
    pump.EveryTenMs();
  }
}

void PCARGADATOSDELSISTEMA::SaveCatalogue() {
  const std::string key = CharKey(datNoCa_, kNumberWidth);
  if (catalogues_.insert(key).second) {
    Cursor p02678(ctx_.session, kApp, "P02678",
                  "INSERT INTO DATOS (DatNoCa, DatDesCa, DatUser, DatDate, DatTime) VALUES (?, "
                  "?, ?, ?, ?)",
                  CursorKind::Update);
    p02678.SetText(1, datNoCa_, kNumberWidth).SetText(2, datDesCa_, 30).SetText(3, user_, 10);
    p02678.SetDate(4, date_).SetDateTime(5, time_);
    p02678.Execute();
  } else {
    Cursor p02677(ctx_.session, kApp, "P02677",
                  "UPDATE DATOS SET DatDesCa=?, DatUser=?, DatDate=?, DatTime=?  WHERE DatNoCa "
                  "= ?",
                  CursorKind::Update);
    p02677.SetText(1, datDesCa_, 30).SetText(2, user_, 10).SetDate(3, date_);
    p02677.SetDateTime(4, time_).SetText(5, key, kNumberWidth);
    p02677.Execute();
  }
}

void PCARGADATOSDELSISTEMA::LoadEntries() {
  reader_.ReadType(XmlReader::kElement, "TABLA_DATOS1");
  if (RTrim(reader_.Name()) != "TABLA_DATOS1") return;
  // The entries there are, read once, as the catalogues are.
  entries_.clear();
  Cursor keys(ctx_.session, kApp, "P02679_ALL", "SELECT DatNoCa, DatCve FROM DATOS1",
              CursorKind::Read);
  for (bool row = keys.FetchFirst(); row; row = keys.FetchNext()) {
    entries_.emplace(CharKey(keys.Text(1), kNumberWidth), keys.Int16(2));
  }
  WritesBehind writes(ctx_.session);
  MessagePump pump(ctx_);
  reader_.ReadType(XmlReader::kElement, "DATO");
  while (RTrim(reader_.Name()) == "DATO") {
    reader_.Read();
    datNoCa_ = reader_.Value();
    reader_.Read();
    datCve_ = ToInt16(LeadingNumericValue(reader_.Value()));
    reader_.Read();
    datDes_ = reader_.Value();
    SaveSession();
    SaveEntry();
    ctx_.steps.AddRows(1);
    PackageProgress(ctx_, reader_);
    pump.EveryTenMs();
    reader_.ReadType(XmlReader::kElement, "DATO");
  }
}

void PCARGADATOSDELSISTEMA::SaveEntry() {
  const std::string key = CharKey(datNoCa_, kNumberWidth);
  if (entries_.emplace(key, datCve_).second) {
    Cursor p026712(ctx_.session, kApp, "P026712",
                   "INSERT INTO DATOS1 (DatNoCa, DatCve, DatDes, DatDUser, DatDDate, DatDTime) "
                   "VALUES (?, ?, ?, ' ', '00010101', '00010101')",
                   CursorKind::Update);
    p026712.SetText(1, datNoCa_, kNumberWidth).SetInt16(2, datCve_).SetText(3, datDes_, 40);
    p026712.Execute();
  } else {
    SaveSession();
    Cursor p026711(ctx_.session, kApp, "P026711",
                   "UPDATE DATOS1 SET DatDes=?  WHERE DatNoCa = ? AND DatCve = ?",
                   CursorKind::Update);
    p026711.SetText(1, datDes_, 40).SetText(2, key, kNumberWidth).SetInt16(3, datCve_);
    p026711.Execute();
  }
}

void PCARGADATOSDELSISTEMA::SaveSession() {
  const PGUARDASESION::Login login = PGUARDASESION(ctx_).Run("CargaDatosDelSistema", "IMP");
  user_ = login.user;
  date_ = login.date;
  time_ = login.time;
}

}  // namespace kalu
