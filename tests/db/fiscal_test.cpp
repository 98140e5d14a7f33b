// Customers' fiscal data and the stamp records of open invoices against a real PostgreSQL:
// the regime table and colonies over the sample store, the outstanding amounts of paper
// invoices, what counts as stamped, other stores left alone, and a second run.

#include <gtest/gtest.h>

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
        "select regcve, unicve, almcve, docord, dockey from documentos order by 1, 2, 3, 4");
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

TEST(FiscalRegime, CodeOfTheChosenRfc) {
  struct Case {
    const char* rfc;
    int16_t canCve;
    int16_t code;
  } cases[] = {
      {"XAXX010101000", 49, 616},
      {"XAXX010101000   ", 7, 616},
      {"GEJ850101AB1", 5, 601},
      {"GEJ850101AB1", 49, 601},
      {"GEJ850101AB1", 50, 601},
      {"GEJ850101AB1", 7, 603},
      {" GEJ850101AB1 ", 49, 601},
      {"  GEJ850101AB1", 7, 603},
      {"NUMM800101AB2", 49, 612},
      {"GEJ850101A", 7, 612},
      {"", 7, 612},
      {" XAXX010101000", 7, 612},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PCARDATOSFISCAL::RegimeCode(c.rfc, c.canCve), c.code)
        << "'" << c.rfc << "' channel " << c.canCve;
  }
  EXPECT_EQ(PCARDATOSFISCAL::ChosenRfc("GEJ850101AB1", "NUMM800101AB2"), "GEJ850101AB1");
  EXPECT_EQ(PCARDATOSFISCAL::ChosenRfc("   ", "NUMM800101AB2"), "NUMM800101AB2");
  EXPECT_EQ(PCARDATOSFISCAL::ChosenRfc("", "  "), "XAXX010101000");
}

}  // namespace
}  // namespace kalu
