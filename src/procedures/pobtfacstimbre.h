#pragma once
// Invoice stamp records: every open invoice of a store must be traceable to a fiscal
// stamp. A document of an open invoice that has neither a stamped CFDI submission nor a
// well-formed stamp identifier in DocKey was issued on paper: it gets the all-zero
// identifier and a submission row that says so, with the amounts still outstanding.

#include <cstdint>
#include <string>

#include "runtime/convert.h"
#include "runtime/numbers.h"
#include "startup/context.h"

namespace kalu {

class POBTFACSTIMBRE {
 public:
  static constexpr const char* kApp = "POBTFACSTIMBRE";
  // The stamp identifier of an invoice issued on paper.
  static constexpr const char* kPaperUuid = "00000000-0000-0000-0000-000000000000";
  // What a paper invoice's submission row holds in place of the CFDI XML.
  static constexpr const char* kPaperXml = "<SIN TIMBRE FISCAL POR FACTURA EN PAPEL>";

  explicit POBTFACSTIMBRE(Context& ctx) : ctx_(ctx) {}

  // Walks the open invoices of the store AV8Regcve-AV9Unicve-AV10Almcve (not changed);
  // the changes of each invoice are committed when its documents are done.
  void Run(int16_t& AV8Regcve, int16_t& AV9Unicve, int16_t& AV10Almcve);

  // The documents of the open invoice held, locked until its commit.
  void U111692();
  // Whether the document held has a stamped submission (stamped_), of any store.
  void U121693();
  // Inserts the paper-invoice submission of the document held unless the store has a
  // submission for its DocOrd already.
  void U131693();

  // Sums over a document's supplied lines (DocCanSur > 0); 0 over no lines.
  Fixed4 ER169QZ0(int16_t reg, int16_t uni, int16_t alm, int32_t docOrd);   // DocPagar
  Fixed4 ER169R10(int16_t reg, int16_t uni, int16_t alm, int32_t docOrd);   // DocImpIva
  Fixed4 ER1693430(int16_t reg, int16_t uni, int16_t alm, int32_t docOrd);  // DocImpIEPS

  // The outstanding IEPS and VAT of a document of total P with IEPS E and VAT V whose
  // invoice still owes `saldo`: what was paid settles the IEPS first, then the VAT.
  struct Outstanding {
    Fixed4 ieps;
    Fixed4 iva;
  };
  static Outstanding OutstandingTaxes(Fixed4 P, Fixed4 V, Fixed4 E, Fixed4 saldo);

 private:
  Fixed4 LineSum(const char* id, const char* sql, int16_t reg, int16_t uni, int16_t alm,
                 int32_t docOrd);

  Context& ctx_;
  // The store whose invoices are processed.
  int16_t regCve_ = 0;
  int16_t uniCve_ = 0;
  int16_t almCve_ = 0;

  // The open invoice.
  int16_t canCve_ = 0;
  int32_t cteCve_ = 0;
  int32_t documento_ = 0;
  DateValue fecha_ = kEmptyDate;
  Fixed4 saldo_;
  int16_t movCve_ = 0;

  // The document row being processed.
  struct Document {
    int16_t regCve = 0;
    int16_t uniCve = 0;
    int16_t almCve = 0;
    int32_t docOrd = 0;
    std::string docKey;
    std::string serieFiscal;
    Fixed4 P, V, E;
  } doc_;

  bool stamped_ = false;
};

}  // namespace kalu
