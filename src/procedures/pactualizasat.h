#pragma once
// Carta Porte refresh: the store's vehicles and operators from the central transport
// system. Under option 1 the refresh runs at once; under option 2 only when the business
// date of the last CONTROL row differs from the date of its last refresh, and then every
// CONTROL row records that business date as refreshed (CtrFecSat). A run-time error of
// an import passes to the caller and leaves CtrFecSat as it was.
//
// The upgrade empties both tables before it asks for the refresh, so it cannot wait for
// the business date to change: it asks for RefreshAndRecord, which refreshes at once and
// records the business date as option 2 does. A second run after a failure, or a run on a
// day whose refresh already ran, thus ends with the fleet the services supply.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "run/context.h"
#include "runtime/convert.h"
#include "soap/soap_parm.h"

namespace kalu {

class PACTUALIZASAT {
 public:
  static constexpr const char* kApp = "PACTUALIZASAT";
  static constexpr int16_t kRefreshNow = 1;
  static constexpr int16_t kRefreshWhenDue = 2;

  explicit PACTUALIZASAT(Context& ctx) : ctx_(ctx) {}

  // `option`: kRefreshNow or kRefreshWhenDue; other values do nothing.
  void Run(int16_t option);
  // The refresh at once, whatever the dates, then every CONTROL row records the business
  // date of the last row as refreshed.
  void RefreshAndRecord();

  void zq_Init_all();
  // Refreshes every external vehicle by its plates, then every external operator by RFC.
  void RefreshExternal();  // U1214W1
  // The last SOAP error of the refresh's service calls.
  int16_t LastSoapError() const { return soap_.LastErrorNumber(); }

 private:
  // The import run: the store's operators, then its vehicles, commit, then the refresh of
  // the external entries.
  void ImportAll();  // U1114W1
  // The business date and the refresh date of the last CONTROL row in key order.
  void ReadDates();
  // Sets CtrFecSat of every CONTROL row to the business date read, and commits.
  void RecordRefresh();
  // Runs `import` with action 3 on the key (column 2, right-trimmed) of every row of the
  // cursor, then commits. The rows are read on while the imports commit.
  void RefreshEach(std::string_view cursorId, std::string_view sql, std::string& key,
                   const std::function<void(std::string&, int16_t)>& import);

  Context& ctx_;
  // The service locations, read at the first call of a service, and the last SOAP error:
  // the imports of this refresh call the services through them.
  SOAPParm_mod soap_;
  DateValue businessDate_ = kEmptyDate;
  DateValue refreshDate_ = kEmptyDate;
  int16_t ctrReg_ = 0;
  int16_t ctrUni_ = 0;
  int16_t ctrAlm_ = 0;
  std::string placas_;
  std::string rfc_;
};

}  // namespace kalu
