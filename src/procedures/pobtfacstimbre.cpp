#include "procedures/pobtfacstimbre.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "database/cursor.h"
#include "database/session.h"
#include "procedures/pvalidauuid.h"
#include "run/message_pump.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// The tables the phase reads in bulk: the planner knows them before the reads.
constexpr std::array<const char*, 3> kTablesRead = {"documentos", "docdeta", "enviocfdi"};
constexpr const char* kOpenInvoicesSql =
    "SELECT RegCve, UniCve, AlmCve, CanCve, CteCve, Documento, Fecha, Saldo, MovCve FROM "
    "edoctafolios_view WHERE RegCve = ? and UniCve = ? and AlmCve = ?";
// The store's documents of the open invoices, given as five arrays of invoice keys, with
// the sums of their supplied lines (DocCanSur > 0; NULL over no lines).
constexpr const char* kDocumentsSql =
    "SELECT d.DocNumDoc, d.DocFec, d.MovCve, d.CteCve, d.CanCve, d.DocKey, d.DocSerieFiscal, "
    "d.DocOrd, d.AlmCve, d.UniCve, d.RegCve, l.pagar, l.iva, l.ieps FROM DOCUMENTOS d JOIN "
    "unnest(?::integer[], ?::date[], ?::integer[], ?::integer[], ?::integer[]) AS i(num, fec, "
    "mov, can, cte) ON d.DocNumDoc = i.num AND d.DocFec = i.fec AND d.MovCve = i.mov AND "
    "d.CanCve = i.can AND d.CteCve = i.cte LEFT JOIN LATERAL (SELECT SUM(DocPagar) AS pagar, "
    "SUM(DocImpIva) AS iva, SUM(DocImpIEPS) AS ieps FROM DOCDETA x WHERE x.RegCve = d.RegCve "
    "and x.UniCve = d.UniCve and x.AlmCve = d.AlmCve and x.DocOrd = d.DocOrd and x.DocCanSur > "
    "0) l ON true WHERE d.RegCve = ? AND d.UniCve = ? AND d.AlmCve = ? ORDER BY d.DocOrd";
// Every submission of the given DocOrds, whatever its store.
constexpr const char* kSubmissionsSql =
    "SELECT EnvioOK, EnvioTimbre, EnvioOrd, AlmCve, UniCve, RegCve FROM ENVIOCFDI WHERE "
    "EnvioOrd = ANY (?::integer[]) ORDER BY EnvioOrd, RegCve, UniCve, AlmCve";

// Each document processed: its key, and the paper-invoice submission when one is due.
constexpr const char* kMarksTable = "kalu_facstimbre";
constexpr const char* kMarksColumns =
    "regcve smallint, unicve smallint, almcve smallint, docord integer, dockey varchar(50), "
    "paper smallint, movcve smallint, serie varchar(15), folio integer, fecha date, subtotal "
    "numeric, ieps numeric, iva numeric";
// A text as an SQL literal.
std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// The paper invoices get the submission of the paper uuid and text.
std::string ApplyMarksSql() {
  return std::string(kLookUpByKey) +
         std::string(
             "UPDATE DOCUMENTOS d SET DocKey = t.dockey FROM {batch} t WHERE d.RegCve = "
             "t.regcve AND d.UniCve = t.unicve AND d.AlmCve = t.almcve AND d.DocOrd = t.docord AND "
             "d.DocKey IS DISTINCT FROM t.dockey; "
             "INSERT INTO ENVIOCFDI (RegCve, UniCve, AlmCve, EnvioOrd, EnvioMovCve, EnvioSerie, "
             "EnvioFolio, EnvioFecha, EnvioFecIni, EnvioFecFin, EnvioTimbre, EnvioError, EnvioOK, "
             "EnvioXML, EnvioSubTotal, EnvioDesc, EnvioIEPS, EnvioIVA, EnvioPoliza, EnvioFecPol, "
             "EnvioBasIEPS, EnvioBasIVA) SELECT regcve, unicve, almcve, docord, movcve, serie, "
             "folio, "
             "fecha, '0001-01-01 00:00:00', '0001-01-01 00:00:00', ") +
         Quoted(POBTFACSTIMBRE::kPaperUuid) + ", '', 1, " + Quoted(POBTFACSTIMBRE::kPaperXml) +
         ", subtotal, 0, ieps, iva, 0, fecha, 0, 0 FROM {batch} WHERE paper = 1";
}

// An array parameter of the values `text` gives for each element: "{a,b,c}".
template <typename T, typename F>
std::string ArrayText(const std::vector<T>& items, F text) {
  std::string out = "{";
  for (const T& item : items) {
    if (out.size() > 1) out += ',';
    out += text(item);
  }
  return out + "}";
}

Fixed4 NotBelowZero(Fixed4 value) {
  return value < Fixed4() ? Fixed4() : value;
}

}  // namespace

void POBTFACSTIMBRE::Run(int16_t region, int16_t unit, int16_t warehouse) {
  regCve_ = region;
  uniCve_ = unit;
  almCve_ = warehouse;
  ctx_.session.Analyze(kTablesRead);

  const std::vector<Invoice> invoices = OpenInvoices();
  ReadDocuments(invoices);
  ReadSubmissions();

  writer_.emplace(ctx_.session, kApp, kMarksTable, kMarksColumns, ApplyMarksSql(),
                  kRowsPerKeyedBatch);
  MessagePump pump(ctx_);
  const auto total = static_cast<int64_t>(invoices.size());
  int64_t done = 0;
  pump.BeginWalk(total);
  for (const Invoice& invoice : invoices) {
    invoice_ = invoice.key;
    saldo_ = invoice.saldo;
    DocumentsOfInvoice();
    pump.CountRows(1, ++done, total);
    pump.EveryTenMs();
  }
  writer_->Flush();
  writer_.reset();
  pump.ReportRows();

  ProcedureEpilogue(ctx_, /*commit=*/true);
}

std::vector<POBTFACSTIMBRE::Invoice> POBTFACSTIMBRE::OpenInvoices() {
  std::vector<Invoice> invoices;
  Cursor p15212(ctx_.session, kApp, "P15212", kOpenInvoicesSql, CursorKind::Read);
  p15212.SetInt16(1, regCve_).SetInt16(2, uniCve_).SetInt16(3, almCve_);
  for (bool row = p15212.FetchFirst(); row; row = p15212.FetchNext()) {
    Invoice invoice;
    invoice.key.canCve = p15212.Int16(4);
    invoice.key.cteCve = p15212.Int32(5);
    invoice.key.documento = p15212.Int32(6);
    invoice.key.fecha = p15212.Date(7);
    invoice.saldo = p15212.Decimal(8);
    invoice.key.movCve = p15212.Int16(9);
    invoices.push_back(invoice);
  }
  p15212.Close();
  return invoices;
}

void POBTFACSTIMBRE::ReadDocuments(const std::vector<Invoice>& invoices) {
  invoiceDocuments_.clear();
  documents_.clear();
  for (const Invoice& invoice : invoices) invoiceDocuments_[invoice.key];
  if (invoiceDocuments_.empty()) return;
  std::vector<InvoiceKey> keys;
  for (const auto& [key, docOrds] : invoiceDocuments_) keys.push_back(key);

  // The documents of an invoice are those of its store with its number, date, movement,
  // channel and customer; a document of another store belongs to another invoice.
  Cursor p15213(ctx_.session, kApp, "P15213", kDocumentsSql, CursorKind::Read);
  using K = const InvoiceKey&;
  p15213.SetText(1, ArrayText(keys, [](K k) { return std::to_string(k.documento); }), 0);
  p15213.SetText(2, ArrayText(keys, [](K k) { return SqlDateText(k.fecha); }), 0);
  p15213.SetText(3, ArrayText(keys, [](K k) { return std::to_string(k.movCve); }), 0);
  p15213.SetText(4, ArrayText(keys, [](K k) { return std::to_string(k.canCve); }), 0);
  p15213.SetText(5, ArrayText(keys, [](K k) { return std::to_string(k.cteCve); }), 0);
  p15213.SetInt16(6, regCve_).SetInt16(7, uniCve_).SetInt16(8, almCve_);
  for (bool row = p15213.FetchFirst(); row; row = p15213.FetchNext()) {
    InvoiceKey key{p15213.Int32(1), p15213.Date(2), p15213.Int16(3), p15213.Int16(5),
                   p15213.Int32(4)};
    Document doc;
    doc.docKey = p15213.Text(6);
    doc.serieFiscal = p15213.Text(7);
    doc.docOrd = p15213.Int32(8);
    doc.almCve = p15213.Int16(9);
    doc.uniCve = p15213.Int16(10);
    doc.regCve = p15213.Int16(11);
    // A sum over no lines is NULL, which reads as 0.
    doc.P = p15213.Decimal(12);
    doc.V = p15213.Decimal(13);
    doc.E = p15213.Decimal(14);
    auto found = invoiceDocuments_.find(key);
    if (found == invoiceDocuments_.end()) continue;
    found->second.push_back(doc.docOrd);
    documents_[doc.docOrd] = std::move(doc);
  }
}

void POBTFACSTIMBRE::ReadSubmissions() {
  submissions_.clear();
  if (documents_.empty()) return;
  std::vector<int32_t> docOrds;
  for (const auto& [docOrd, doc] : documents_) docOrds.push_back(docOrd);
  Cursor p15215(ctx_.session, kApp, "P15215", kSubmissionsSql, CursorKind::Read);
  p15215.SetText(1, ArrayText(docOrds, [](int32_t n) { return std::to_string(n); }), 0);
  for (bool row = p15215.FetchFirst(); row; row = p15215.FetchNext()) {
    Submission submission;
    submission.envioOk = p15215.Int16(1);
    submission.timbre = p15215.Text(2);
    submission.almCve = p15215.Int16(4);
    submission.uniCve = p15215.Int16(5);
    submission.regCve = p15215.Int16(6);
    submissions_[p15215.Int32(3)].push_back(std::move(submission));
  }
}

void POBTFACSTIMBRE::AddSubmission(int32_t docOrd, Submission submission) {
  auto& list = submissions_[docOrd];
  auto storeKey = [](const Submission& s) { return std::tuple(s.regCve, s.uniCve, s.almCve); };
  auto at = std::upper_bound(
      list.begin(), list.end(), submission,
      [&](const Submission& a, const Submission& b) { return storeKey(a) < storeKey(b); });
  list.insert(at, std::move(submission));
}

void POBTFACSTIMBRE::DocumentsOfInvoice() {
  auto found = invoiceDocuments_.find(invoice_);
  if (found == invoiceDocuments_.end()) return;
  for (int32_t docOrd : found->second) {
    Document& stored = documents_.at(docOrd);
    doc_ = stored;

    ReadStamp();
    paperSubmission_.reset();
    if (!stamped_) {
      if (!PVALIDAUUID(ctx_).Run(doc_.docKey)) {
        doc_.docKey = kPaperUuid;
        AddPaperSubmission();
      }
    }

    // The document's own row gets its key, with the paper-invoice submission if one is due.
    stored.docKey = doc_.docKey;
    BatchWriter& w = *writer_;
    w.Int16(doc_.regCve).Int16(doc_.uniCve).Int16(doc_.almCve).Int32(doc_.docOrd);
    w.Text(doc_.docKey, 50);
    if (paperSubmission_) {
      w.Int16(1).Int16(invoice_.movCve).Text(doc_.serieFiscal, 15).Int32(invoice_.documento);
      w.Date(invoice_.fecha).Decimal(saldo_);
      w.Decimal(paperSubmission_->ieps).Decimal(paperSubmission_->iva);
    } else {
      w.Int16(0).Null().Null().Null().Null().Null().Null().Null();
    }
    w.EndRow();
  }
}

void POBTFACSTIMBRE::ReadStamp() {
  stamped_ = false;
  auto found = submissions_.find(doc_.docOrd);
  if (found == submissions_.end()) return;
  for (const Submission& submission : found->second) {
    if (!Trim(submission.timbre).empty() && submission.envioOk == 1) {
      stamped_ = true;
      PVALIDAUUID(ctx_).Run(submission.timbre);  // the stamp is only shown, not judged
    }
  }
}

POBTFACSTIMBRE::Outstanding POBTFACSTIMBRE::OutstandingTaxes(Fixed4 P, Fixed4 V, Fixed4 E,
                                                             Fixed4 saldo) {
  Fixed4 paid = P - saldo;
  Fixed4 rest = paid - E;
  return {NotBelowZero(E - paid), NotBelowZero(V - rest)};
}

void POBTFACSTIMBRE::AddPaperSubmission() {
  Outstanding taxes = OutstandingTaxes(doc_.P, doc_.V, doc_.E, saldo_);
  // Nothing is inserted when the store has a submission for the DocOrd already.
  auto found = submissions_.find(doc_.docOrd);
  if (found != submissions_.end()) {
    for (const Submission& s : found->second) {
      if (s.regCve == regCve_ && s.uniCve == uniCve_ && s.almCve == almCve_) return;
    }
  }
  paperSubmission_ = taxes;
  AddSubmission(doc_.docOrd, Submission{regCve_, uniCve_, almCve_, 1, kPaperUuid});
}

}  // namespace kalu
