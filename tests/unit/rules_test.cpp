// The decisions of the procedures that need no database: the RFC and fiscal regime of a
// customer, the taxes an open invoice still owes, and the table of the release's schema
// changes that the driver sends and the store check reads.

#include <gtest/gtest.h>

#include <string>

#include "procedures/pcardatosfiscal.h"
#include "procedures/pobtfacstimbre.h"
#include "runtime/text.h"
#include "upgrade/schema_changes.h"

namespace kalu {
namespace {

TEST(FiscalRules, RfcAndRegimeOfACustomer) {
  struct Case {
    std::string canRfc, cteRfc;
    int16_t channel;
    std::string rfc;
    int16_t regime;
  } cases[] = {
      // The channel's RFC wins over the customer's; blanks count as none.
      {"CAN010101AB1", "CTE0101019Z8", 3, "CAN010101AB1", 603},
      {"   ", "CTE0101019Z8", 3, "CTE0101019Z8", 603},
      {"", "", 3, "XAXX010101000", 616},
      {"", "  ", 5, "XAXX010101000", 616},
      // Twelve characters: a company, 601 for channels 5, 49 and 50, else 603.
      {"", "ABC0101019Z8", 5, "ABC0101019Z8", 601},
      {"", "ABC0101019Z8", 49, "ABC0101019Z8", 601},
      {"", "ABC0101019Z8", 50, "ABC0101019Z8", 601},
      {"", "ABC0101019Z8", 51, "ABC0101019Z8", 603},
      // Thirteen (a person) or any other length: 612; accents count as one character.
      {"", "ÑABC010101AB1", 5, "ÑABC010101AB1", 612},
      {"", "ÑBC010101AB1", 3, "ÑBC010101AB1", 603},
      {"", "AB", 3, "AB", 612},
  };
  for (const Case& c : cases) {
    std::string rfc = PCARDATOSFISCAL::ChosenRfc(c.canRfc, c.cteRfc);
    EXPECT_EQ(rfc, c.rfc) << c.canRfc << "|" << c.cteRfc;
    EXPECT_EQ(PCARDATOSFISCAL::RegimeCode(rfc, c.channel), c.regime) << rfc << " " << c.channel;
  }
}

TEST(InvoiceRules, WhatIsPaidSettlesTheIepsFirst) {
  struct Case {
    const char *total, *vat, *ieps, *saldo, *owedIeps, *owedVat;
  } cases[] = {
      {"116", "16", "0", "116", "0", "16"},  // nothing paid
      {"116", "16", "0", "0", "0", "0"},     // all paid
      // The rest after the IEPS is not bounded below: an IEPS not yet paid adds to the VAT.
      {"124", "16", "8", "124", "8", "24"},
      {"124", "16", "8", "120", "4", "20"},
      {"124", "16", "8", "110", "0", "10"},  // 14 paid: the IEPS and 6 of the VAT
      {"124", "16", "8", "0.0001", "0", "0"},
      {"124", "16", "8", "130", "14", "30"},  // an invoice that owes more than its total
      {"10.5", "1.4483", "0.0001", "10.5", "0.0001", "1.4484"},
  };
  for (const Case& c : cases) {
    auto owed =
        POBTFACSTIMBRE::OutstandingTaxes(Fixed4::FromText(c.total), Fixed4::FromText(c.vat),
                                         Fixed4::FromText(c.ieps), Fixed4::FromText(c.saldo));
    EXPECT_EQ(owed.ieps, Fixed4::FromText(c.owedIeps)) << c.total << " " << c.saldo;
    EXPECT_EQ(owed.iva, Fixed4::FromText(c.owedVat)) << c.total << " " << c.saldo;
  }
}

// Each fact the store check reads names what its statement changes: the table, every
// column and the type stand in the statement itself.
TEST(SchemaChanges, EachFactIsWhatItsStatementChanges) {
  int facts = 0, created = 0;
  for (const SchemaChange& change : SchemaChanges()) {
    const std::string sql = ToLower(change.statement);
    if (!change.LeavesFact()) {
      EXPECT_TRUE(sql.starts_with("drop table") || sql.starts_with("update") ||
                  sql.starts_with("delete"))
          << change.statement;
      continue;
    }
    ++facts;
    EXPECT_NE(sql.find(std::string(" ") + change.table + " "), std::string::npos) << sql;
    for (std::string_view column : change.Columns()) {
      EXPECT_NE(sql.find(std::string(column) + " "), std::string::npos) << column << ": " << sql;
    }
    if (*change.type) {
      EXPECT_NE(sql.find(std::string("type ") + change.type), std::string::npos) << sql;
    }
    if (change.CreatesTable()) ++created;
  }
  EXPECT_EQ(facts, 16);
  EXPECT_EQ(created, 3);
}

}  // namespace
}  // namespace kalu
