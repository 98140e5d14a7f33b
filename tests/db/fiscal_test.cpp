// Customers' fiscal data and the stamp records of open invoices against a real PostgreSQL:
// the regime table and colonies over the sample store, the outstanding amounts of paper
// invoices, what counts as stamped, other stores left alone, and a second run.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "procedures/pcardatosfiscal.h"
#include "procedures/pobtfacstimbre.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;

using Rows = std::vector<std::string>;

constexpr int16_t kReg = 12, kUni = 1, kAlm = 5;

struct FiscalTest : ::testing::Test {
  WorkFolder wf;
  TestDatabase db;
  void SetUp() override {
    TestDatabase::WriteDsn();
    db.UpgradeSchema();
  }
  void RunCustomers(int16_t reg = kReg, int16_t uni = kUni, int16_t alm = kAlm) {
    TestContext t(db.Name());
    PCARDATOSFISCAL(*t).Run(reg, uni, alm);
  }
  void RunInvoices(int16_t reg = kReg, int16_t uni = kUni, int16_t alm = kAlm) {
    TestContext t(db.Name());
    POBTFACSTIMBRE(*t).Run(reg, uni, alm);
  }
  Rows Customers() const {
    return db.Rows(
        "select c.regcve, c.unicve, c.almcve, c.cancve, c.ctecve, c.cteregfisdat, "
        "c.cteregfiscve, h.ctehist, h.ctecolonia from clientes c left join histcli h using "
        "(regcve, unicve, almcve, cancve, ctecve) order by 1, 2, 3, 4, 5, 8");
  }
  Rows Stamps() const {
    return db.Rows(
        "select regcve, unicve, almcve, docord, rtrim(dockey) from documentos order by 1, 2, 3, 4");
  }
  Rows Submissions() const {
    return db.Rows("select * from enviocfdi order by regcve, unicve, almcve, envioord");
  }
};

// ---------------------------------------------------------------------------------------
// Customer fiscal data

TEST_F(FiscalTest, RegimeAndColonyOfEveryCustomerOfTheStore) {
  // Colonies 3, 1 and 2 of the sample's main postal code, one of Roma Norte, one of the
  // other store's postal code. A channel with an RFC of a legal person, and a channel with
  // no CANALES row; customers with and without a current history row on both.
  db.Exec(
      "INSERT INTO colonias (cpcve, colonia, colonianombre) VALUES (44100, 3, 'C'), "
      "(44100, 1, 'A'), (44100, 2, 'B'), (6700, 5, 'Roma'), (58000, 4, 'Morelia');"
      "INSERT INTO canales (cancve, cannom, canrfc) VALUES (61, 'Convenios', 'ABC010101AB1');"
      "INSERT INTO clientes (regcve, unicve, almcve, cancve, ctecve, ctenom, cteulthist) "
      "VALUES (12, 1, 5, 61, 1, 'Convenio', 1), (12, 1, 5, 61, 2, 'Convenio sin domicilio', 0),"
      " (12, 1, 5, 99, 1, 'Sin canal', 2), (12, 1, 5, 99, 2, 'Sin canal ni domicilio', 1);"
      "INSERT INTO histcli (regcve, unicve, almcve, cancve, ctecve, ctehist, ctecp, cterfc) "
      "VALUES (12, 1, 5, 61, 1, 1, 44100, 'NUMM800101AB2'), "
      "(12, 1, 5, 99, 1, 2, 6700, 'NUMM800101AB2')");
  const Rows otherStoreBefore = db.Rows(
      "select c.*, h.* from clientes c join histcli h using (regcve, unicve, almcve, cancve, "
      "ctecve) where c.regcve = 7 order by c.cancve");

  RunCustomers();

  // store | customer | mark | regime | history row | colony, and why
  const Rows expected = {
      // untouched: another store (the mark comes from the column's default)
      "7|2|3|7|1|RegiFiscal|<null>|1|<null>",
      "7|2|3|54|1|RegiFiscal|<null>|1|<null>",
      // RFC of 12 characters on channel 5: 601; colonies 3, 1, 2 of 44100 give 1
      "12|1|5|5|1|RegiFiscal|601|1|1",
      // only the current history row (2) gets a colony; 44130 has none: 0 is written;
      // 12 characters on channel 7: 603
      "12|1|5|7|1|RegiFiscal|603|1|<null>",
      "12|1|5|7|1|RegiFiscal|603|2|0",
      // 13 characters: 612
      "12|1|5|7|2|RegiFiscal|612|1|5",
      // 12 characters on channel 49: 601, also with blanks around them
      "12|1|5|49|1|RegiFiscal|601|1|0",
      "12|1|5|49|2|RegiFiscal|601|3|0",
      // 12 characters on channel 50: 601
      "12|1|5|50|1|RegiFiscal|601|1|0",
      // channel RFC of the general public wins over the customer's blank one: 616
      "12|1|5|54|1|RegiFiscal|616|1|1",
      // no current history row: the channel's RFC, the general public: 616
      "12|1|5|57|1|RegiFiscal|616|<null>|<null>",
      "12|1|5|60|1|RegiFiscal|612|1|0",
      // no current history row (4) and the channel's RFC cleared: 616, not the 612 of the
      // customer before it
      "12|1|5|60|2|RegiFiscal|616|<null>|<null>",
      // the channel's RFC of 12 characters wins over the customer's 13: 603
      "12|1|5|61|1|RegiFiscal|603|1|1",
      "12|1|5|61|2|RegiFiscal|603|<null>|<null>",
      // a channel without a row has a blank RFC: the customer's 13 characters give 612,
      // and without a history row (1 is missing) the general public's 616
      "12|1|5|99|1|RegiFiscal|612|2|5",
      "12|1|5|99|2|RegiFiscal|616|<null>|<null>",
  };
  EXPECT_EQ(Customers(), expected);
  EXPECT_EQ(db.Rows("select c.*, h.* from clientes c join histcli h using (regcve, unicve, "
                    "almcve, cancve, ctecve) where c.regcve = 7 order by c.cancve"),
            otherStoreBefore);

  RunCustomers();
  EXPECT_EQ(Customers(), expected) << "a second run changes nothing more";
}

// ---------------------------------------------------------------------------------------
// Invoice stamp records

constexpr const char* kZeroUuid = "00000000-0000-0000-0000-000000000000";

struct Line {
  const char* canSur;
  const char* pagar;
  const char* iva;
  const char* ieps;
};
struct Submission {
  int16_t reg, uni, alm;
  int16_t ok;
  std::string timbre;
};
struct InvoiceCase {
  const char* name;
  const char* cargo;  // the invoice's charge
  const char* abono;  // paid on it so far
  bool hasDocument;
  std::string docKey;
  std::vector<Line> lines;
  std::vector<Submission> submissions;
  // What must follow: the document's DocKey, and the store's submission row of the
  // document as subtotal|IEPS|IVA|OK|timbre (empty: none).
  std::string docKeyAfter;
  std::string submissionAfter;
};

// The rows of one case: customer 40 + i of channel 7, invoice 2000 + i, document 600 + i.
std::string CaseRows(const InvoiceCase& c, int i) {
  const std::string cte = std::to_string(40 + i), folio = std::to_string(2000 + i),
                    ord = std::to_string(600 + i);
  std::string sql =
      "INSERT INTO clientes (regcve, unicve, almcve, cancve, ctecve, ctenom) VALUES (12, 1, 5, "
      "7, " +
      cte +
      ", 'Caso');"
      "INSERT INTO edocta (regcve, unicve, almcve, cancve, ctecve, grupo, subgrp, documento, "
      "fecha, movcve, cargo, abono) VALUES (12, 1, 5, 7, " +
      cte + ", 1, 1, " + folio + ", '2024-01-10', 51, " + c.cargo + ", 0), (12, 1, 5, 7, " + cte +
      ", 1, 2, 9" + folio + ", '2024-01-20', 60, 0, " + c.abono + ");";
  if (c.hasDocument) {
    sql +=
        "INSERT INTO documentos (regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, "
        "cancve, ctecve, dockey, docseriefiscal) VALUES (12, 1, 5, " +
        ord + ", 51, " + folio + ", '2024-01-10', 7, " + cte + ", '" + c.docKey + "', 'CAS');";
  }
  int ren = 0;
  for (const auto& l : c.lines) {
    sql +=
        "INSERT INTO docdeta (regcve, unicve, almcve, docord, docren, doccansur, docpagar, "
        "docimpiva, docimpieps) VALUES (12, 1, 5, " +
        ord + ", " + std::to_string(++ren) + ", " + l.canSur + ", " + l.pagar + ", " + l.iva +
        ", " + l.ieps + ");";
  }
  for (const auto& e : c.submissions) {
    sql +=
        "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, enviotimbre, "
        "enviook, envioxml, enviosubtotal) VALUES (" +
        std::to_string(e.reg) + ", " + std::to_string(e.uni) + ", " + std::to_string(e.alm) + ", " +
        ord + ", 51, '" + e.timbre + "', " + std::to_string(e.ok) + ", '<cfdi/>', 1);";
  }
  return sql;
}

TEST_F(FiscalTest, PaperInvoicesGetTheirStampRecords) {
  const std::string valid = "a1b2c3d4-E5F6-4711-8899-aabbccddeeff";
  const std::vector<InvoiceCase> cases = {
      // P = 116.00, Saldo = 50.00, E = 0, V = 16.00: paid 66 covers both taxes
      {"part paid",
       "116.00",
       "66.00",
       true,
       "",
       {{"1", "116.00", "16.00", "0"}},
       {},
       kZeroUuid,
       "50.00|0.000000|0.000000|1|" + std::string(kZeroUuid)},
      // the same, nothing paid: the whole VAT is outstanding
      {"nothing paid",
       "116.00",
       "0",
       true,
       "",
       {{"1", "116.00", "16.00", "0"}},
       {},
       kZeroUuid,
       "116.00|0.000000|16.000000|1|" + std::string(kZeroUuid)},
      // E = 10, V = 16, P = 126, Saldo = 121: paid 5 settles IEPS first
      {"IEPS first",
       "126.00",
       "5.00",
       true,
       "PENDIENTE",
       {{"2", "126.00", "16.00", "10.00"}},
       {},
       kZeroUuid,
       "121.00|5.000000|21.000000|1|" + std::string(kZeroUuid)},
      // a line not supplied counts in no sum (with it: P 216, V 32, E 10 -> 0, 0)
      {"line not supplied",
       "116.00",
       "0",
       true,
       "",
       {{"1", "116.00", "16.00", "0"}, {"0", "100.00", "16.00", "10.00"}},
       {},
       kZeroUuid,
       "116.00|0.000000|16.000000|1|" + std::string(kZeroUuid)},
      // no supplied line: every sum is 0, whatever the document before had
      {"no supplied line",
       "58.00",
       "0",
       true,
       "",
       {{"0", "58.00", "8.00", "3.00"}},
       {},
       kZeroUuid,
       "58.00|58.000000|58.000000|1|" + std::string(kZeroUuid)},
      {"no lines at all",
       "58.00",
       "8.00",
       true,
       "",
       {},
       {},
       kZeroUuid,
       "50.00|50.000000|50.000000|1|" + std::string(kZeroUuid)},
      // a submission not stamped: marked, and the store's row for the document stays
      {"submission with EnvioOK 0",
       "116.00",
       "0",
       true,
       "",
       {{"1", "116.00", "16.00", "0"}},
       {{12, 1, 5, 0, valid}},
       kZeroUuid,
       "1.00|<null>|<null>|0|" + valid},
      {"submission with a blank stamp",
       "116.00",
       "0",
       true,
       "PENDIENTE",
       {{"1", "116.00", "16.00", "0"}},
       {{12, 1, 5, 1, "   "}},
       kZeroUuid,
       "1.00|<null>|<null>|1|   "},
      // stamped: the document stays as it is, even with a malformed key
      {"stamped",
       "116.00",
       "0",
       true,
       "PENDIENTE",
       {{"1", "116.00", "16.00", "0"}},
       {{12, 1, 5, 1, valid}},
       "PENDIENTE",
       "1.00|<null>|<null>|1|" + valid},
      // a well-formed key without a submission: kept, no row
      {"well-formed key",
       "116.00",
       "0",
       true,
       valid,
       {{"1", "116.00", "16.00", "0"}},
       {},
       valid,
       ""},
      {"no document", "116.00", "0", false, "", {}, {}, "", ""},
  };
  std::string sql;
  for (size_t i = 0; i < cases.size(); ++i) sql += CaseRows(cases[i], static_cast<int>(i));
  db.Exec(sql);

  RunInvoices();

  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    const std::string ord = std::to_string(600 + i);
    EXPECT_EQ(
        db.Value("select rtrim(dockey) from documentos where regcve = 12 and docord = " + ord),
        c.docKeyAfter);
    EXPECT_EQ(db.Value("select enviosubtotal, envioieps, envioiva, enviook, enviotimbre from "
                       "enviocfdi where regcve = 12 and unicve = 1 and almcve = 5 and "
                       "envioord = " +
                       ord),
              c.submissionAfter);
    // Nothing but the store's one row, if any: no duplicate, no row of another store.
    EXPECT_EQ(db.Value("select count(*) from enviocfdi where envioord = " + ord),
              c.submissionAfter.empty() ? "0" : "1");
  }
}

TEST_F(FiscalTest, SampleStoreAndASecondRun) {
  const Rows submissionsBefore = Submissions();
  RunInvoices();

  EXPECT_EQ(Stamps(), (Rows{
                          // the other store's document of the same invoice data: untouched
                          "7|2|3|101|",
                          // 1001 (Saldo 50), 1002 ('PENDIENTE'), 1003 (EnvioOK 0): paper
                          "12|1|5|101|00000000-0000-0000-0000-000000000000",
                          "12|1|5|102|00000000-0000-0000-0000-000000000000",
                          "12|1|5|103|00000000-0000-0000-0000-000000000000",
                          // 1004 is paid: not open
                          "12|1|5|104|",
                          // a well-formed key
                          "12|1|5|105|6F9619FF-8B86-D011-B42D-00C04FC964FF",
                          // 1006: stamped with a blank stamp; 1007: no supplied line
                          "12|1|5|106|00000000-0000-0000-0000-000000000000",
                          "12|1|5|107|00000000-0000-0000-0000-000000000000",
                          // no open invoice of its own
                          "12|1|5|109|",
                      }));
  // The new rows, every column; 103 and 106 had a row of the store already. 1008 has no
  // document and gets nothing.
  EXPECT_EQ(
      db.Rows("select regcve, unicve, almcve, envioord, enviomovcve, '[' || envioserie || ']', "
              "enviofolio, enviofecha, enviofecini, enviofecfin, enviotimbre, "
              "'[' || envioerror || ']', enviook, envioxml, enviosubtotal, enviodesc, "
              "envioieps, envioiva, enviopoliza, enviofecpol, enviobasieps, enviobasiva from "
              "enviocfdi where envioxml <> '<cfdi/>' order by envioord"),
      (Rows{
          "12|1|5|101|51|[GDA]|1001|2024-02-10|0001-01-01 00:00:00|0001-01-01 00:00:00|"
          "00000000-0000-0000-0000-000000000000|[]|1|<SIN TIMBRE FISCAL POR FACTURA EN PAPEL>|"
          "50.00|0.00|0.000000|0.000000|0|2024-02-10|0.00|0.00",
          "12|1|5|102|52|[GDB]|1002|2024-02-12|0001-01-01 00:00:00|0001-01-01 00:00:00|"
          "00000000-0000-0000-0000-000000000000|[]|1|<SIN TIMBRE FISCAL POR FACTURA EN PAPEL>|"
          "121.00|0.00|5.000000|21.000000|0|2024-02-12|0.00|0.00",
          "12|1|5|107|51|[GDA]|1007|2024-03-03|0001-01-01 00:00:00|0001-01-01 00:00:00|"
          "00000000-0000-0000-0000-000000000000|[]|1|<SIN TIMBRE FISCAL POR FACTURA EN PAPEL>|"
          "58.00|0.00|58.000000|58.000000|0|2024-03-03|0.00|0.00",
      }));
  Rows rows = Submissions();
  EXPECT_EQ(rows.size(), submissionsBefore.size() + 3);
  for (const auto& before : submissionsBefore) {
    EXPECT_NE(std::find(rows.begin(), rows.end(), before), rows.end())
        << "a submission that was there stays as it was: " << before;
  }

  const Rows stamps = Stamps();
  RunInvoices();
  EXPECT_EQ(Stamps(), stamps) << "a second run changes nothing more";
  EXPECT_EQ(Submissions(), rows) << "a second run changes nothing more";
}

TEST_F(FiscalTest, DocKeyIsWrittenToTheDocumentProcessedOnly) {
  // The store's document 650 of an open invoice, and the other store's document with the
  // same DocOrd, which has a stamped submission: the search for a stamp reads that row
  // last, and still the store's own key must be written to the store's own document.
  db.Exec(
      "INSERT INTO edocta (regcve, unicve, almcve, cancve, ctecve, grupo, subgrp, documento, "
      "fecha, movcve, cargo, abono) VALUES (12, 1, 5, 7, 2, 9, 1, 3000, '2024-01-15', 51, "
      "100, 0);"
      "INSERT INTO documentos (regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, "
      "cancve, ctecve, dockey) VALUES (12, 1, 5, 650, 51, 3000, '2024-01-15', 7, 2, "
      "'PENDIENTE'), (7, 2, 3, 650, 51, 77, '2024-01-01', 7, 1, 'OTRA');"
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviook, enviotimbre) VALUES "
      "(7, 2, 3, 650, 1, '11111111-2222-3333-4444-555555555555')");
  RunInvoices();
  EXPECT_EQ(db.Rows("select regcve, rtrim(dockey) from documentos where docord = 650 order "
                    "by regcve"),
            (Rows{"7|OTRA", "12|PENDIENTE"}));
}

}  // namespace
}  // namespace kalu
