#pragma once
// Invoice stamp records: every open invoice of a store must be traceable to a fiscal
// stamp. A document of an open invoice that has neither a stamped CFDI submission nor a
// well-formed stamp identifier in DocKey was issued on paper: it gets the all-zero
// identifier and a submission row that says so, with the amounts still outstanding.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "database/bulk.h"
#include "run/context.h"
#include "runtime/convert.h"
#include "runtime/numbers.h"

namespace kalu {

class POBTFACSTIMBRE {
 public:
  static constexpr const char* kApp = "POBTFACSTIMBRE";
  // The stamp identifier of an invoice issued on paper.
  static constexpr const char* kPaperUuid = "00000000-0000-0000-0000-000000000000";
  // What a paper invoice's submission row holds in place of the CFDI XML.
  static constexpr const char* kPaperXml = "<SIN TIMBRE FISCAL POR FACTURA EN PAPEL>";

  explicit POBTFACSTIMBRE(Context& ctx) : ctx_(ctx) {}

  // Walks the open invoices of the store's region, unit and warehouse. What the walk needs is read
  // first in a few queries; its changes are written and committed in batches, each document's key
  // with its paper-invoice submission.
  void Run(int16_t region, int16_t unit, int16_t warehouse);

  // The outstanding IEPS and VAT of a document of total P with IEPS E and VAT V whose
  // invoice still owes `saldo`: what was paid settles the IEPS first, then the VAT.
  struct Outstanding {
    Fixed4 ieps;
    Fixed4 iva;
  };
  static Outstanding OutstandingTaxes(Fixed4 P, Fixed4 V, Fixed4 E, Fixed4 saldo);

 private:
  // The documents of the open invoice held.
  void DocumentsOfInvoice();  // U111692
  // Whether the document held has a stamped submission (stamped_), of any store.
  void ReadStamp();  // U121693
  // Inserts the paper-invoice submission of the document held unless the store has a
  // submission for its DocOrd already.
  void AddPaperSubmission();  // U131693

  // What identifies the documents of an open invoice: number, date, movement, channel
  // and customer.
  struct InvoiceKey {
    int32_t documento = 0;
    DateValue fecha = kEmptyDate;
    int16_t movCve = 0;
    int16_t canCve = 0;
    int32_t cteCve = 0;
    auto operator<=>(const InvoiceKey&) const = default;
  };
  struct Invoice {
    InvoiceKey key;
    Fixed4 saldo;
  };
  // A document of the store, with the sums of its supplied lines.
  struct Document {
    int16_t regCve = 0;
    int16_t uniCve = 0;
    int16_t almCve = 0;
    int32_t docOrd = 0;
    std::string docKey;
    std::string serieFiscal;
    Fixed4 P, V, E;
  };
  // A submission of a DocOrd, of whatever store.
  struct Submission {
    int16_t regCve = 0;
    int16_t uniCve = 0;
    int16_t almCve = 0;
    int16_t envioOk = 0;
    std::string timbre;
  };

  // The store's open invoices, in the view's order.
  std::vector<Invoice> OpenInvoices();
  // The store's documents of those invoices with their line sums, and every submission of
  // their DocOrds, each read in one query.
  void ReadDocuments(const std::vector<Invoice>& invoices);
  void ReadSubmissions();
  // Records a submission as the walk writes it, in the order a search reads them.
  void AddSubmission(int32_t docOrd, Submission submission);

  Context& ctx_;
  // The store whose invoices are processed.
  int16_t regCve_ = 0;
  int16_t uniCve_ = 0;
  int16_t almCve_ = 0;

  // The open invoice.
  InvoiceKey invoice_;
  Fixed4 saldo_;

  // The documents of each open invoice (DocOrds in order), the documents as the walk has
  // left them, and the submissions of each DocOrd in store-key order.
  std::map<InvoiceKey, std::vector<int32_t>> invoiceDocuments_;
  std::map<int32_t, Document> documents_;
  std::map<int32_t, std::vector<Submission>> submissions_;

  // The document row being processed.
  Document doc_;
  bool stamped_ = false;
  // The paper-invoice submission AddPaperSubmission decided to insert for it.
  std::optional<Outstanding> paperSubmission_;
  // Where the document's key and its paper-invoice submission are written.
  std::optional<BatchWriter> writer_;
};

}  // namespace kalu
