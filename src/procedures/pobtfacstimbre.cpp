#include "procedures/pobtfacstimbre.h"

#include "procedures/message_pump.h"
#include "procedures/pvalidauuid.h"
#include "runtime/text.h"
#include "startup/cursor.h"
#include "startup/session.h"

namespace kalu {

namespace {

constexpr const char* kOpenInvoicesSql =
    "SELECT RegCve, UniCve, AlmCve, CanCve, CteCve, Documento, Fecha, Saldo, MovCve FROM "
    "edoctafolios_view WHERE RegCve = ? and UniCve = ? and AlmCve = ?";
constexpr const char* kDocumentsSql =
    "SELECT DocNumDoc, DocFec, MovCve, CteCve, CanCve, DocKey, DocSerieFiscal, DocOrd, AlmCve, "
    "UniCve, RegCve FROM DOCUMENTOS WHERE (DocNumDoc = ?) AND (DocFec = ?) AND (MovCve = ?) "
    "AND (CanCve = ? and CteCve = ?) ORDER BY RegCve, UniCve, AlmCve, DocOrd FOR UPDATE OF "
    "DOCUMENTOS";
constexpr const char* kSumPagarSql =
    "SELECT SUM(DocPagar) FROM DOCDETA WHERE ( RegCve = ? and UniCve = ? and AlmCve = ? and "
    "DocOrd = ?) and ( DocCanSur > 0)";
constexpr const char* kSumIvaSql =
    "SELECT SUM(DocImpIva) FROM DOCDETA WHERE ( RegCve = ? and UniCve = ? and AlmCve = ? and "
    "DocOrd = ?) and ( DocCanSur > 0)";
constexpr const char* kSumIepsSql =
    "SELECT SUM(DocImpIEPS) FROM DOCDETA WHERE ( RegCve = ? and UniCve = ? and AlmCve = ? and "
    "DocOrd = ?) and ( DocCanSur > 0)";
constexpr const char* kSubmissionsSql =
    "SELECT EnvioOK, EnvioTimbre, EnvioOrd, AlmCve, UniCve, RegCve FROM ENVIOCFDI WHERE "
    "EnvioOrd = ? ORDER BY RegCve, UniCve, AlmCve, EnvioOrd";
constexpr const char* kSubmissionExistsSql =
    "SELECT RegCve, UniCve, AlmCve, EnvioOrd FROM ENVIOCFDI WHERE RegCve = ? AND UniCve = ? "
    "AND AlmCve = ? AND EnvioOrd = ?";
constexpr const char* kInsertSubmissionSql =
    "INSERT INTO ENVIOCFDI (RegCve, UniCve, AlmCve, EnvioOrd, EnvioMovCve, EnvioSerie, "
    "EnvioFolio, EnvioFecha, EnvioFecIni, EnvioFecFin, EnvioTimbre, EnvioError, EnvioOK, "
    "EnvioXML, EnvioSubTotal, EnvioDesc, EnvioIEPS, EnvioIVA, EnvioPoliza, EnvioFecPol, "
    "EnvioBasIEPS, EnvioBasIVA) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?, ?, ?, ?)";
constexpr const char* kUpdateDocKeySql =
    "UPDATE DOCUMENTOS SET DocKey=? WHERE RegCve = ? AND UniCve = ? AND AlmCve = ? AND "
    "DocOrd = ?";

Fixed4 NotBelowZero(Fixed4 value) {
  return value < Fixed4() ? Fixed4() : value;
}

}  // namespace

void POBTFACSTIMBRE::Run(int16_t& AV8Regcve, int16_t& AV9Unicve, int16_t& AV10Almcve) {
  regCve_ = AV8Regcve;
  uniCve_ = AV9Unicve;
  almCve_ = AV10Almcve;

  MessagePump pump(ctx_);
  Cursor p15212(ctx_.session, kApp, "P15212", kOpenInvoicesSql, CursorKind::Read);
  p15212.SetInt16(1, regCve_).SetInt16(2, uniCve_).SetInt16(3, almCve_);
  for (bool row = p15212.FetchFirst(); row; row = p15212.FetchNext()) {
    canCve_ = p15212.Int16(4);
    cteCve_ = p15212.Int32(5);
    documento_ = p15212.Int32(6);
    fecha_ = p15212.Date(7);
    saldo_ = p15212.Decimal(8);
    movCve_ = p15212.Int16(9);
    U111692();
    pump.EveryTenMs();
  }
  p15212.Close();

  ProcedureEpilogue(ctx_, /*commit=*/true);
}

void POBTFACSTIMBRE::U111692() {
  Cursor p15213(ctx_.session, kApp, "P15213", kDocumentsSql, CursorKind::Update);
  p15213.SetInt32(1, documento_).SetDate(2, fecha_).SetInt16(3, movCve_);
  p15213.SetInt16(4, canCve_).SetInt32(5, cteCve_);
  for (bool row = p15213.FetchFirst(); row; row = p15213.FetchNext()) {
    doc_ = Document();
    doc_.docKey = p15213.Text(6);
    doc_.serieFiscal = p15213.Text(7);
    doc_.docOrd = p15213.Int32(8);
    doc_.almCve = p15213.Int16(9);
    doc_.uniCve = p15213.Int16(10);
    doc_.regCve = p15213.Int16(11);
    // The invoice's documents are those of its store: a document of another store with
    // the same number, date, movement, channel and customer belongs to another invoice.
    bool sameInvoice = p15213.Int32(1) == documento_ && p15213.Date(2) == fecha_ &&
                       p15213.Int16(3) == movCve_ && p15213.Int32(4) == cteCve_ &&
                       p15213.Int16(5) == canCve_ && doc_.regCve == regCve_ &&
                       doc_.uniCve == uniCve_ && doc_.almCve == almCve_;
    if (!sameInvoice) continue;

    doc_.P = ER169QZ0(doc_.regCve, doc_.uniCve, doc_.almCve, doc_.docOrd);
    doc_.V = ER169R10(doc_.regCve, doc_.uniCve, doc_.almCve, doc_.docOrd);
    doc_.E = ER1693430(doc_.regCve, doc_.uniCve, doc_.almCve, doc_.docOrd);

    U121693();
    if (!stamped_) {
      int16_t ok = 0;
      PVALIDAUUID(ctx_).Run(doc_.docKey, ok);
      if (ok == 0) {
        doc_.docKey = kPaperUuid;
        U131693();
      }
    }

    // The document's own row, whatever store the submissions looked at belong to.
    Cursor p15214(ctx_.session, kApp, "P15214", kUpdateDocKeySql, CursorKind::Update);
    p15214.SetText(1, doc_.docKey, 50).SetInt16(2, doc_.regCve).SetInt16(3, doc_.uniCve);
    p15214.SetInt16(4, doc_.almCve).SetInt32(5, doc_.docOrd);
    p15214.Execute();
    p15214.Close();
  }
  p15213.Close();
  ctx_.session.Commit();
}

void POBTFACSTIMBRE::U121693() {
  stamped_ = false;
  Cursor p15215(ctx_.session, kApp, "P15215", kSubmissionsSql, CursorKind::Read);
  p15215.SetInt32(1, doc_.docOrd);
  for (bool row = p15215.FetchFirst(); row; row = p15215.FetchNext()) {
    int16_t envioOk = p15215.Int16(1);
    std::string timbre = p15215.Text(2);
    if (!Trim(timbre).empty() && envioOk == 1) {
      stamped_ = true;
      int16_t ignored = 0;  // the stamp is only shown, not judged
      PVALIDAUUID(ctx_).Run(timbre, ignored);
    }
  }
  p15215.Close();
}

POBTFACSTIMBRE::Outstanding POBTFACSTIMBRE::OutstandingTaxes(Fixed4 P, Fixed4 V, Fixed4 E,
                                                             Fixed4 saldo) {
  Fixed4 paid = P - saldo;
  Fixed4 rest = paid - E;
  return {NotBelowZero(E - paid), NotBelowZero(V - rest)};
}

void POBTFACSTIMBRE::U131693() {
  Outstanding taxes = OutstandingTaxes(doc_.P, doc_.V, doc_.E, saldo_);

  Cursor p15216(ctx_.session, kApp, "P15216", kSubmissionExistsSql, CursorKind::Read);
  p15216.SetInt16(1, regCve_).SetInt16(2, uniCve_).SetInt16(3, almCve_);
  p15216.SetInt32(4, doc_.docOrd);
  if (!p15216.FetchFirst()) {
    Cursor p15217(ctx_.session, kApp, "P15217", kInsertSubmissionSql, CursorKind::Update);
    p15217.SetInt16(1, regCve_).SetInt16(2, uniCve_).SetInt16(3, almCve_);
    p15217.SetInt32(4, doc_.docOrd).SetInt16(5, movCve_).SetText(6, doc_.serieFiscal, 15);
    p15217.SetInt32(7, documento_).SetDate(8, fecha_);
    p15217.SetDateTime(9, kEmptyDate).SetDateTime(10, kEmptyDate);
    p15217.SetText(11, kPaperUuid, 64).SetText(12, "", 50).SetInt16(13, 1);
    p15217.SetText(14, kPaperXml, 128000);
    p15217.SetDecimal(15, saldo_).SetDecimal(16, Fixed4());
    p15217.SetDecimal(17, taxes.ieps).SetDecimal(18, taxes.iva);
    p15217.SetInt32(19, 0).SetDate(20, fecha_);
    p15217.SetDecimal(21, Fixed4()).SetDecimal(22, Fixed4());
    p15217.Execute();
    p15217.Close();
  }
  p15216.Close();
}

Fixed4 POBTFACSTIMBRE::LineSum(const char* id, const char* sql, int16_t reg, int16_t uni,
                               int16_t alm, int32_t docOrd) {
  Cursor cursor(ctx_.session, kApp, id, sql, CursorKind::Read);
  cursor.SetInt16(1, reg).SetInt16(2, uni).SetInt16(3, alm).SetInt32(4, docOrd);
  // A sum over no lines is NULL, which reads as 0.
  Fixed4 sum = cursor.FetchFirst() ? cursor.Decimal(1) : Fixed4();
  cursor.Close();
  return sum;
}

Fixed4 POBTFACSTIMBRE::ER169QZ0(int16_t reg, int16_t uni, int16_t alm, int32_t docOrd) {
  return LineSum("P15218", kSumPagarSql, reg, uni, alm, docOrd);
}
Fixed4 POBTFACSTIMBRE::ER169R10(int16_t reg, int16_t uni, int16_t alm, int32_t docOrd) {
  return LineSum("P152111", kSumIvaSql, reg, uni, alm, docOrd);
}
Fixed4 POBTFACSTIMBRE::ER1693430(int16_t reg, int16_t uni, int16_t alm, int32_t docOrd) {
  return LineSum("P152112", kSumIepsSql, reg, uni, alm, docOrd);
}

}  // namespace kalu
