#include "packages/pcargadatosdelsistema.h"

#include "database/cursor.h"
#include "packages/catalog_package.h"
#include "procedures/pguardasesion.h"
#include "run/message_pump.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kPackagePath = ".\\importar\\DATOS.XMZ";

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

void PCARGADATOSDELSISTEMA::Run(int16_t& AV18Local) {
  zq_Init_all();
  if (!ObtainPackage(ctx_, AV18Local, "DATOS.XMZ")) {
    ProcedureEpilogue(ctx_, /*commit=*/true);
    return;
  }

  Progress(ctx_, "Cargando Actualización de Datos del Sistema...");
  reader_.Open(kPackagePath);
  reader_.ReadType(XmlReader::kElement, "Modo");
  mode_ = ToInt16(LeadingNumericValue(reader_.Value()));
  if (mode_ == 1) Purge();
  LoadCatalogues();

  reader_.Close();
  reader_.Open(kPackagePath);
  LoadEntries();

  reader_.Close();
  Progress(ctx_, " ");
  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void PCARGADATOSDELSISTEMA::Purge() {
  Cursor p02672(ctx_.session, kApp, "P02672",
                "SELECT DatNoCa FROM DATOS ORDER BY DatNoCa  FOR UPDATE OF DATOS",
                CursorKind::Update);
  MessagePump pump(ctx_);
  for (bool row = p02672.FetchFirst(); row; row = p02672.FetchNext()) {
    datNoCa_ = p02672.Text(1);
    Cursor p02673(ctx_.session, kApp, "P02673", "DELETE FROM DATOS1  WHERE DatNoCa = ?",
                  CursorKind::Update);
    p02673.SetText(1, datNoCa_, 10);
    p02673.Execute();
    p02673.Close();
    Cursor p02674(ctx_.session, kApp, "P02674", "DELETE FROM DATOS  WHERE DatNoCa = ?",
                  CursorKind::Update);
    p02674.SetText(1, datNoCa_, 10);
    p02674.Execute();
    p02674.Close();
    pump.EveryTenMs();
  }
}

void PCARGADATOSDELSISTEMA::LoadCatalogues() {
  reader_.ReadType(XmlReader::kElement, "TABLA_DATOS");
  if (RTrim(reader_.Name()) != "TABLA_DATOS") return;
  SaveSession();
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
  Cursor p02675(ctx_.session, kApp, "P02675", "SELECT DatNoCa FROM DATOS WHERE DatNoCa = ?",
                CursorKind::Read);
  p02675.SetText(1, datNoCa_, 10);
  if (!p02675.FetchFirst()) {
    Cursor p02678(ctx_.session, kApp, "P02678",
                  "INSERT INTO DATOS (DatNoCa, DatDesCa, DatUser, DatDate, DatTime) VALUES (?, "
                  "?, ?, ?, ?)",
                  CursorKind::Update);
    p02678.SetText(1, datNoCa_, 10).SetText(2, datDesCa_, 30).SetText(3, user_, 10);
    p02678.SetDate(4, date_).SetDateTime(5, time_);
    p02678.Execute();
  } else {
    Cursor p02676(ctx_.session, kApp, "P02676",
                  "SELECT DatNoCa, DatDesCa, DatUser, DatDate, DatTime FROM DATOS WHERE DatNoCa "
                  "= ? FOR UPDATE OF DATOS",
                  CursorKind::Update);
    p02676.SetText(1, datNoCa_, 10);
    if (p02676.FetchFirst()) {
      const std::string key = p02676.Text(1);
      Cursor p02677(ctx_.session, kApp, "P02677",
                    "UPDATE DATOS SET DatDesCa=?, DatUser=?, DatDate=?, DatTime=?  WHERE DatNoCa "
                    "= ?",
                    CursorKind::Update);
      p02677.SetText(1, datDesCa_, 30).SetText(2, user_, 10).SetDate(3, date_);
      p02677.SetDateTime(4, time_).SetText(5, key, 10);
      p02677.Execute();
    }
  }
}

void PCARGADATOSDELSISTEMA::LoadEntries() {
  reader_.ReadType(XmlReader::kElement, "TABLA_DATOS1");
  if (RTrim(reader_.Name()) != "TABLA_DATOS1") return;
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
  Cursor p02679(ctx_.session, kApp, "P02679",
                "SELECT DatNoCa, DatCve FROM DATOS1 WHERE DatNoCa = ? AND DatCve = ?",
                CursorKind::Read);
  p02679.SetText(1, datNoCa_, 10).SetInt16(2, datCve_);
  if (!p02679.FetchFirst()) {
    Cursor p026712(ctx_.session, kApp, "P026712",
                   "INSERT INTO DATOS1 (DatNoCa, DatCve, DatDes, DatDUser, DatDDate, DatDTime) "
                   "VALUES (?, ?, ?, ' ', '00010101', '00010101')",
                   CursorKind::Update);
    p026712.SetText(1, datNoCa_, 10).SetInt16(2, datCve_).SetText(3, datDes_, 40);
    p026712.Execute();
  } else {
    Cursor p026710(ctx_.session, kApp, "P026710",
                   "SELECT DatNoCa, DatCve, DatDes, DatDTime, DatDDate, DatDUser FROM DATOS1 "
                   "WHERE DatNoCa = ? AND DatCve = ? FOR UPDATE OF DATOS1",
                   CursorKind::Update);
    p026710.SetText(1, datNoCa_, 10).SetInt16(2, datCve_);
    if (p026710.FetchFirst()) {
      const std::string key = p026710.Text(1);
      const int16_t code = p026710.Int16(2);
      SaveSession();
      Cursor p026711(ctx_.session, kApp, "P026711",
                     "UPDATE DATOS1 SET DatDes=?  WHERE DatNoCa = ? AND DatCve = ?",
                     CursorKind::Update);
      p026711.SetText(1, datDes_, 40).SetText(2, key, 10).SetInt16(3, code);
      p026711.Execute();
    }
  }
}

void PCARGADATOSDELSISTEMA::SaveSession() {
  std::string object = "CargaDatosDelSistema";
  std::string mode = "IMP";
  PGUARDASESION(ctx_).Run(user_, date_, time_, object, mode);
}

}  // namespace kalu
