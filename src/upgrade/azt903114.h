#pragma once
// The upgrade driver of release 24.03.20: the schema changes and data fixes in their
// order, the store key from CONTROL, the catalogue, Carta Porte and fiscal procedures, and
// the tax base recalculation of the store's electronic-invoice rows.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "database/cursor.h"
#include "database/store_views.h"
#include "run/context.h"
#include "run/message_pump.h"
#include "runtime/numbers.h"

namespace kalu {

class AZT903114 {
 public:
  static constexpr const char* kApp = "PZT903114";

  explicit AZT903114(Context& ctx);

  // The entry operation: the whole upgrade.
  void Run();

  void zq_Init_all();
  // Reads the store key: the last CONTROL row marked '*' in region, unit, warehouse order.
  void ReadStoreKey();  // U1215S1
  // Tax base recalculation of the store's ENVIOCFDI rows of movements 51 and 52.
  void RecalculateInvoiceBases();  // U1315S1

  int16_t StoreRegion() const { return storeRegion_; }
  int16_t StoreUnit() const { return storeUnit_; }
  int16_t StoreWarehouse() const { return storeWarehouse_; }

 private:
  // The new bases of the row held: the IEPS and IVA base sums of its document's supplied
  // lines when the document exists, else 0.
  void NewBasesOfRow();  // U1415S3
  // Sends one literal statement at once.
  void StatementStep(std::string_view sql);
  // The steps of the run, in their order.
  void ApplySchemaChanges();
  void RecreateFoliosView();
  void RefreshCartaPorte();
  void ApplyDataFixes();
  void ReloadStoredViews();
  void LoadCatalogues();
  void RepairCustomersAndInvoices();
  void RecalculateTaxBases();
  void AnalyzeChangedTables();
  void Finish();

  // Runs one procedure of another subsystem, with its start and elapsed time in the log.
  void Call(std::string_view name, const std::function<void()>& procedure);
  Cursor DriverCursor(std::string_view id, std::string_view sql, CursorKind kind);

  Context& ctx_;
  std::string statementText_;
  std::string executionText_;
  int16_t storeRegion_ = 0;
  int16_t storeUnit_ = 0;
  int16_t storeWarehouse_ = 0;
  std::string storeActive_;
  int32_t docOrd_ = 0;
  // The document of the invoice row held, as read with it.
  struct RowDocument {
    bool exists = false;
    Fixed4 iepsBase;
    Fixed4 ivaBase;
  } rowDocument_;
  Fixed4 newIeps_;
  Fixed4 newIva_;
  // The views the drops of the run take with them, read before each drop.
  std::vector<StoreView> takenViews_;
  MessagePump pump_;  // window messages and the step's rows, every 10 ms
};

// The view of the open invoices that the driver creates.
std::string EdoCtaFoliosViewStatement();
// The query of the store key: the CONTROL rows marked '*' (CtrAct, CtrAlm, CtrUni, CtrReg);
// the last row read is the store.
const char* StoreKeyStatement();

}  // namespace kalu
