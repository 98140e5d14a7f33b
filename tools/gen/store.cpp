#include "gen/store.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "gen/sandbox.h"
#include "packages/package_format.h"

namespace kalu::gen {

namespace {

struct StoreKey {
  int region = 0;
  int unit = 0;
  int warehouse = 0;
};

constexpr StoreKey kActiveStore = {12, 1, 5};
constexpr StoreKey kOtherStores[] = {{7, 2, 3}, {3, 1, 1}};
// A store that is not in CONTROL but whose submissions share the database.
constexpr StoreKey kForeignStore = {21, 1, 2};

// Channels of the template's CANALES; 1 and 2 never carry open invoices.
const std::vector<int> kChannels = {1, 2, 5, 7, 7, 49, 50, 54, 57, 60, 60};
const std::vector<std::string> kFirstNames = {"María", "José",  "Juan",   "Guadalupe",
                                              "Ángel", "Sofía", "Héctor", "Lucía",
                                              "Ramón", "Elena", "Víctor", "Patricia"};
const std::vector<std::string> kLastNames = {"Núñez",    "García", "Hernández", "López",
                                             "Martínez", "Pérez",  "Sánchez",   "Ramírez",
                                             "Ávila",    "Peña",   "Gómez",     "Díaz"};
const std::vector<std::string> kStreets = {"Av. Juárez",    "Calle Morelos", "Av. Vallarta",
                                           "Calle Hidalgo", "Periférico",    "Av. Patria"};

// Numbers of rows at a factor; at least one of each.
size_t Scaled(double factor, double full) {
  return std::max<size_t>(1, static_cast<size_t>(std::llround(factor * full)));
}

// 2024-01-01 plus `day` days (within 2024).
std::string Date(int day) {
  static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  while (month < 11 && day >= kMonthDays[month]) day -= kMonthDays[month++];
  char text[48];
  std::snprintf(text, sizeof text, "2024-%02d-%02d", month + 1, day + 1);
  return text;
}

// An amount held in cents, as the database writes it.
std::string Money(long long cents) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", cents < 0 ? "-" : "", std::llabs(cents) / 100,
                std::llabs(cents) % 100);
  return text;
}

std::string Uuid(Random& rng) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int group : {8, 4, 4, 4, 12}) {
    if (!text.empty()) text += '-';
    for (int i = 0; i < group; ++i) text += kHex[rng.Below(16)];
  }
  return text;
}

std::string Rfc(Random& rng, size_t letters) {
  std::string text;
  for (size_t i = 0; i < letters; ++i) text += static_cast<char>('A' + rng.Below(26));
  char digits[72];
  std::snprintf(digits, sizeof digits, "%02zu%02zu%02zu", 50 + rng.Below(50), 1 + rng.Below(12),
                1 + rng.Below(28));
  text += digits;
  for (int i = 0; i < 3; ++i) text += "0123456789ABCDEFGHJK"[rng.Below(20)];
  return text;
}

// Builds the COPY text of one table, a row at a time.
class TableWriter {
 public:
  TableWriter(std::string name, std::string columns) {
    table_.name = std::move(name);
    table_.columns = std::move(columns);
  }
  // One row of values as text (these tables need no NULL).
  void Row(std::initializer_list<std::string> values) {
    bool first = true;
    for (const auto& v : values) {
      if (!first) table_.rows += '\t';
      first = false;
      for (char c : v) {
        if (c == '\\' || c == '\t' || c == '\n') table_.rows += '\\';
        table_.rows += c == '\t' ? 't' : (c == '\n' ? 'n' : c);
      }
    }
    table_.rows += '\n';
    ++table_.count;
  }
  Table Take() { return std::move(table_); }

 private:
  Table table_;
};

std::string N(long long value) {
  return std::to_string(value);
}

struct Customer {
  int channel = 0;
  int number = 0;
};

struct Line {
  long long supplied = 0;  // thousandths
  long long pay = 0, iva = 0, ieps = 0, ivaBase = 0, iepsBase = 0;
};

struct Document {
  int order = 0;
  int movement = 0;
  int number = 0;
  int day = 0;
  Customer customer;
  std::string key;
  std::string series;
  std::vector<Line> lines;
  long long Total() const {
    long long total = 0;
    for (const auto& l : lines) total += l.pay;
    return total;
  }
};

struct Sizes {
  size_t customers, documents, submissions, openInvoices, paidInvoices;
};

// Everything of the database but the catalogues: the rows of every store.
class StoreRows {
 public:
  StoreRows(const Shape& shape, const Catalog& catalog, Random& rng) : shape_(shape), rng_(rng) {
    for (const auto& pc : catalog.postalCodes) codes_.insert(pc.code);
    for (int code : codes_) codeList_.push_back(code);
  }

  void AddStore(const StoreKey& key, bool active, const Sizes& sizes,
                const std::vector<Document>& shared) {
    control_.Row({N(key.region), N(key.unit), N(key.warehouse), active ? "*" : " ",
                  active ? "Tienda Guadalajara Sur" : "Tienda " + N(key.region),
                  active ? "2024-03-20" : "2024-03-18", "2024-03-19"});
    std::vector<Customer> customers = AddCustomers(key, sizes.customers);
    std::vector<Document> documents = MakeDocuments(customers, sizes.documents);
    // Documents that another store also holds: the same number, date, movement, channel and
    // customer under another internal number.
    for (Document d : shared) {
      d.order = static_cast<int>(documents.size()) + 1;
      documents.push_back(d);
    }
    for (const auto& d : documents) AddDocument(key, d);
    const std::set<int> open = AddInvoices(key, documents, sizes);
    const std::set<int> stamped = AddSubmissions(key, documents, sizes.submissions);
    if (!active) return;
    active_ = documents;
    for (int order : open) {
      if (!stamped.contains(order)) unstampedOpen_.insert(order);
    }
  }

  // Stamped and unstamped submissions of store `key` under document numbers of the active
  // store.
  void AddForeignSubmissions(const StoreKey& key) {
    for (size_t i = 0; i < active_.size(); i += 4) {
      const Document& d = active_[i];
      const bool stamped = i % 8 == 0;
      AddSubmission(key, d, stamped ? Uuid(rng_) : "", stamped ? 1 : 0);
    }
  }

  // Documents of the active store that another store may share: every tenth, and every
  // open invoice's document without a stamped submission (the ones the upgrade marks).
  std::vector<Document> Shareable() const {
    std::vector<Document> shared;
    for (size_t i = 0; i < active_.size(); ++i) {
      if (i % 10 == 0 || unstampedOpen_.contains(active_[i].order)) shared.push_back(active_[i]);
    }
    return shared;
  }

  void Finish(std::vector<Table>& tables) {
    for (auto* t :
         {&control_, &customers_, &history_, &documents_, &lines_, &account_, &submissions_}) {
      tables.push_back(t->Take());
    }
  }

 private:
  int PostalCode(size_t index) {
    // With orphans, one address in five has a postal code the catalogue lacks.
    if (shape_.orphans && index % 5 == 0) {
      int code;
      do code = 1000 + static_cast<int>(rng_.Below(99000));
      while (codes_.contains(code));
      return code;
    }
    return rng_.Pick(codeList_);
  }

  std::string CustomerRfc(size_t index) {
    switch (index % 8) {
      case 0:
        return "";
      case 1:
        return "XAXX010101000";
      case 2:
        return " " + Rfc(rng_, 3) + " ";
      case 3:
      case 4:
        return Rfc(rng_, 3);
      default:
        return Rfc(rng_, 4);
    }
  }

  std::vector<Customer> AddCustomers(const StoreKey& key, size_t count) {
    std::map<int, int> numbers;
    std::vector<Customer> customers;
    for (size_t i = 0; i < count; ++i) {
      Customer c{rng_.Pick(kChannels), 0};
      c.number = ++numbers[c.channel];
      customers.push_back(c);
      // Without history: one customer in seven has none at all, another its current row
      // missing.
      int latest = 2;
      int rows = 2;
      if (shape_.noHistory && i % 7 == 3) latest = rows = 0;
      if (shape_.noHistory && i % 7 == 5) latest = 3;
      const bool credit = c.channel >= 5 && c.channel != 54 && c.channel != 57;
      customers_.Row({N(key.region), N(key.unit), N(key.warehouse), N(c.channel), N(c.number),
                      rng_.Pick(kFirstNames) + " " + rng_.Pick(kLastNames), N(latest),
                      credit ? "3" : "1", credit ? "2" : "1"});
      for (int h = 1; h <= rows; ++h) {
        history_.Row({N(key.region), N(key.unit), N(key.warehouse), N(c.channel), N(c.number), N(h),
                      rng_.Pick(kStreets) + " " + N(1 + rng_.Below(2000)), N(PostalCode(i)),
                      CustomerRfc(i + h)});
      }
    }
    return customers;
  }

  std::vector<Document> MakeDocuments(const std::vector<Customer>& customers, size_t count) {
    std::vector<Document> documents;
    for (size_t i = 0; i < count; ++i) {
      Document d;
      d.order = static_cast<int>(i) + 1;
      const size_t kind = rng_.Below(20);
      d.movement = kind < 9 ? 51 : (kind < 18 ? 52 : (kind == 18 ? 53 : 60));
      d.number = 1000 + d.order;
      d.day = static_cast<int>(rng_.Below(79));
      d.customer = rng_.Pick(customers);
      const size_t key = rng_.Below(10);
      d.key = key < 7 ? "" : (key == 7 ? "PENDIENTE" : Uuid(rng_));
      d.series = d.movement == 51 ? "GDA" : (d.movement == 52 ? "GDB" : "NCR");
      // Without lines: one document in nine has none, one in eleven none supplied.
      const bool none = shape_.noLines && i % 9 == 4;
      const bool unsupplied = shape_.noLines && i % 11 == 6;
      for (int l = 0; !none && l < 3; ++l) {
        Line line;
        line.supplied = unsupplied || rng_.Below(10) == 0 ? 0 : 1000 * (1 + rng_.Below(10));
        if (line.supplied && rng_.Below(8) == 0) line.supplied += 500;
        line.ivaBase = 1000 + static_cast<long long>(rng_.Below(99000));
        line.iva = (line.ivaBase * 16 + 50) / 100;
        if (rng_.Below(5) == 0) {
          line.iepsBase = line.ivaBase;
          line.ieps = (line.iepsBase * 8 + 50) / 100;
        }
        line.pay = line.ivaBase + line.iva + line.ieps;
        d.lines.push_back(line);
      }
      documents.push_back(d);
    }
    return documents;
  }

  void AddDocument(const StoreKey& key, const Document& d) {
    documents_.Row({N(key.region), N(key.unit), N(key.warehouse), N(d.order), N(d.movement),
                    N(d.number), Date(d.day), N(d.customer.channel), N(d.customer.number), d.key,
                    d.series, Money(d.Total())});
    for (size_t l = 0; l < d.lines.size(); ++l) {
      const Line& line = d.lines[l];
      char supplied[32];
      std::snprintf(supplied, sizeof supplied, "%lld.%03lld", line.supplied / 1000,
                    line.supplied % 1000);
      lines_.Row({N(key.region), N(key.unit), N(key.warehouse), N(d.order), N(l + 1), supplied,
                  Money(line.pay), Money(line.iva), Money(line.ieps), Money(line.ivaBase),
                  Money(line.iepsBase)});
    }
  }

  // Invoices in the customers' accounts: the first invoice documents stay open (half of them
  // partly paid), the next ones are paid. With orphans, one open invoice in ten has a number
  // that no document carries. Gives the internal numbers of the open invoices' documents.
  std::set<int> AddInvoices(const StoreKey& key, const std::vector<Document>& documents,
                            const Sizes& sizes) {
    std::set<int> openOrders;
    std::map<std::pair<int, int>, int> groups;
    size_t open = 0, paid = 0, payment = 5000;
    for (const auto& d : documents) {
      if (open >= sizes.openInvoices && paid >= sizes.paidInvoices) break;
      if ((d.movement != 51 && d.movement != 52) || d.customer.channel <= 2) continue;
      const bool isOpen = open < sizes.openInvoices;
      (isOpen ? open : paid)++;
      const int group = ++groups[{d.customer.channel, d.customer.number}];
      const long long charge = d.Total() > 0 ? d.Total() : 10000;
      const int number = shape_.orphans && isOpen && open % 10 == 0 ? 900000 + d.order : d.number;
      auto row = [&](int sub, int doc, int day, int movement, long long cargo, long long abono) {
        account_.Row({N(key.region), N(key.unit), N(key.warehouse), N(d.customer.channel),
                      N(d.customer.number), N(group), N(sub), N(doc), Date(day), N(movement),
                      Money(cargo), Money(abono)});
      };
      row(1, number, d.day, d.movement, charge, 0);
      if (isOpen && number == d.number) openOrders.insert(d.order);
      if (!isOpen) {
        row(2, static_cast<int>(++payment), d.day + 3, rng_.Below(4) ? 60 : 61, 0, charge);
      } else if (rng_.Below(2)) {
        row(2, static_cast<int>(++payment), d.day + 2, 60, 0,
            1 + static_cast<long long>(rng_.Below(static_cast<size_t>(charge - 1))));
      }
    }
    return openOrders;
  }

  void AddSubmission(const StoreKey& key, const Document& d, const std::string& stamp, int ok) {
    long long subtotal = 0, iva = 0, ieps = 0;
    for (const auto& l : d.lines) {
      subtotal += l.ivaBase;
      iva += l.iva;
      ieps += l.ieps;
    }
    submissions_.Row({N(key.region),
                      N(key.unit),
                      N(key.warehouse),
                      N(d.order),
                      N(d.movement),
                      d.series,
                      N(d.number),
                      Date(d.day),
                      Date(d.day) + " 10:00:00",
                      Date(d.day) + " 10:00:05",
                      stamp,
                      ok ? "" : "PAC sin respuesta",
                      N(ok),
                      "<cfdi/>",
                      Money(subtotal),
                      "0.00",
                      Money(ieps),
                      Money(iva),
                      "0",
                      Date(d.day)});
  }

  // Submissions of `count` documents picked at random: most stamped, some failed (EnvioOK
  // 0), some with a blank stamp. With orphans, some name documents that do not exist. Gives
  // the internal numbers of the stamped documents.
  std::set<int> AddSubmissions(const StoreKey& key, const std::vector<Document>& documents,
                               size_t count) {
    std::set<int> stamped;
    std::vector<size_t> picked(documents.size());
    for (size_t i = 0; i < picked.size(); ++i) picked[i] = i;
    count = std::min(count, picked.size());
    for (size_t i = 0; i < count; ++i)
      std::swap(picked[i], picked[i + rng_.Below(picked.size() - i)]);
    picked.resize(count);
    std::sort(picked.begin(), picked.end());
    for (size_t i : picked) {
      Document d = documents[i];
      if (shape_.orphans && i % 13 == 0) d.order += static_cast<int>(documents.size()) + 100;
      const size_t kind = rng_.Below(20);
      if (kind < 16) {
        AddSubmission(key, d, Uuid(rng_), 1);
        stamped.insert(d.order);
      } else if (kind < 18) {
        AddSubmission(key, d, "", 0);
      } else if (kind == 18) {
        AddSubmission(key, d, "   ", 1);
      } else {
        AddSubmission(key, d, Uuid(rng_), 0);
      }
    }
    return stamped;
  }

  const Shape& shape_;
  Random& rng_;
  std::set<int> codes_;
  std::vector<int> codeList_;
  std::vector<Document> active_;
  std::set<int> unstampedOpen_;
  TableWriter control_{"control", "ctrreg, ctruni, ctralm, ctract, ctrnom, ctrfec, ctrfecsat"};
  TableWriter customers_{"clientes",
                         "regcve, unicve, almcve, cancve, ctecve, ctenom, cteulthist, "
                         "cteforpagcve, ctemetpagcve"};
  TableWriter history_{"histcli",
                       "regcve, unicve, almcve, cancve, ctecve, ctehist, ctedomicilio, ctecp, "
                       "cterfc"};
  TableWriter documents_{"documentos",
                         "regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, cancve, "
                         "ctecve, dockey, docseriefiscal, doctotal"};
  TableWriter lines_{"docdeta",
                     "regcve, unicve, almcve, docord, docren, doccansur, docpagar, docimpiva, "
                     "docimpieps, docbasiva, docbasieps"};
  TableWriter account_{"edocta",
                       "regcve, unicve, almcve, cancve, ctecve, grupo, subgrp, documento, "
                       "fecha, movcve, cargo, abono"};
  TableWriter submissions_{"enviocfdi",
                           "regcve, unicve, almcve, envioord, enviomovcve, envioserie, "
                           "enviofolio, enviofecha, enviofecini, enviofecfin, enviotimbre, "
                           "envioerror, enviook, envioxml, enviosubtotal, enviodesc, envioieps, "
                           "envioiva, enviopoliza, enviofecpol"};
};

// Postal codes and colonies repeated later in their packages with other values (the first
// row is the one kept), and colonies of postal codes the package lacks.
void BendCatalog(const Shape& shape, Catalog& catalog, Random& rng) {
  if (shape.duplicates) {
    const size_t codes = catalog.postalCodes.size();
    for (size_t i = 0; i < codes; i += 7) {
      PostalCodeRow again = catalog.postalCodes[i];
      again.alias = rng.Pick(catalog.states).alias;
      again.municipality += 1;
      catalog.postalCodes.push_back(again);
    }
    const size_t colonies = catalog.colonies.size();
    for (size_t i = 0; i < colonies; i += 6) {
      ColonyRow again = catalog.colonies[i];
      again.name += " (repetida)";
      catalog.colonies.push_back(again);
    }
  }
  if (shape.orphans) {
    std::set<int> known;
    for (const auto& pc : catalog.postalCodes) known.insert(pc.code);
    const size_t orphans = std::max<size_t>(1, catalog.colonies.size() / 20);
    for (size_t i = 0; i < orphans; ++i) {
      int code;
      do code = 1000 + static_cast<int>(rng.Below(99000));
      while (known.contains(code));
      catalog.colonies.push_back({code, 1 + static_cast<int>(rng.Below(3)), "Colonia sin código"});
    }
  }
}

bool CopyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}

}  // namespace

const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = {
      {.name = "plain"},
      {.name = "packages", .duplicates = true, .orphans = true},
      {.name = "stores", .stores = true, .foreignSubmissions = true},
      {.name = "sparse", .orphans = true, .noLines = true, .noHistory = true},
      {.name = "mixed",
       .duplicates = true,
       .orphans = true,
       .stores = true,
       .foreignSubmissions = true,
       .noLines = true,
       .noHistory = true},
  };
  return shapes;
}

const Shape* FindShape(std::string_view name) {
  for (const auto& s : Shapes()) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

Store MakeStore(std::vector<State> states, const Shape& shape, double factor, uint64_t seed) {
  Store store;
  Random catalogRng(seed);
  const size_t postalCodes = std::min(Scaled(factor, 95000), PossiblePostalCodes(states));
  store.catalog = MakeCatalog(std::move(states), postalCodes, Scaled(factor, 150000), catalogRng);
  Random rng(seed ^ 0x5eed5eed5eedULL);
  BendCatalog(shape, store.catalog, rng);

  const Sizes active = {Scaled(factor, 20000), Scaled(factor, 100000), Scaled(factor, 83800),
                        Scaled(factor, 30000), Scaled(factor, 10000)};
  StoreRows rows(shape, store.catalog, rng);
  rows.AddStore(kActiveStore, true, active, {});
  if (shape.stores) {
    const Sizes other = {Scaled(factor, 10000), Scaled(factor, 50000), Scaled(factor, 41900),
                         Scaled(factor, 15000), Scaled(factor, 5000)};
    rows.AddStore(kOtherStores[0], false, other, rows.Shareable());
    rows.AddStore(kOtherStores[1], false, other, {});
  }
  if (shape.foreignSubmissions) rows.AddForeignSubmissions(kForeignStore);
  rows.Finish(store.tables);
  return store;
}

std::string LoadStore(const std::string& conninfo, const Store& store, Statistics statistics) {
  Connection c(conninfo);
  std::string error = c.Exec(
      "BEGIN; DELETE FROM control; DELETE FROM clientes; DELETE FROM histcli; "
      "DELETE FROM edocta; DELETE FROM documentos; DELETE FROM docdeta; "
      "DELETE FROM enviocfdi; DELETE FROM enviocfdi1; DELETE FROM codigopostal; "
      "DELETE FROM colonias");
  for (const auto& table : store.tables) {
    if (error.empty() && statistics == Statistics::None) {
      error = c.Exec("ALTER TABLE " + table.name + " SET (autovacuum_enabled = off)");
    }
    if (error.empty()) error = c.Copy(table.name, table.columns, table.rows);
  }
  if (error.empty()) error = c.Exec("COMMIT");
  for (const auto& table : store.tables) {
    if (error.empty() && statistics == Statistics::Analysed) {
      error = c.Exec("ANALYZE " + table.name);
    }
  }
  return error;
}

bool WriteStoreFolder(const std::filesystem::path& folder, const Store& store,
                      const std::filesystem::path& packages,
                      const std::filesystem::path& registry) {
  const auto importar = folder / "Importar";
  std::error_code ec;
  std::filesystem::create_directories(importar, ec);
  bool ok = WriteDocument(importar, "CP_SAT_CFDI33", PostalCodeDocument(store.catalog), true) &&
            WriteDocument(importar, "CATCOLONIAS", ColonyDocument(store.catalog), true);
  for (const char* name : {"SQLPG", "DATOS"}) {
    std::vector<uint8_t> xml;
    ok = ok && ReadWholeFile(packages / (std::string(name) + ".xml"), xml).ok() &&
         WriteDocument(importar, name, std::string(xml.begin(), xml.end()), true);
  }
  return ok && CopyFile(packages / "SQLPG.xml", folder / "SQLPG.XMZ") &&
         CopyFile(registry, folder / "registry.reg");
}

}  // namespace kalu::gen
