#pragma once
// Operator import: asks the central operator service for vehicle operators (drivers) and
// stores every one returned, whatever its status, in OPERADORVEH, one row per RFC. The
// action code has the meanings of the vehicle import:
//   1  one operator of another store by RFC, stored as external (OpeVLocal 0) and
//      confirmed in a message;
//   2  all operators of the store's region and unit (last CONTROL row), stored as the
//      store's own (OpeVLocal 1);
//   3  one external operator by RFC, refreshed keeping its OpeVLocal, and removed when
//      the service no longer returns it.
// One commit at the end; a failed service call or a number out of range ends the import
// before it, with the run-time error passing to the caller.

#include <cstdint>
#include <map>
#include <string>

#include "run/context.h"
#include "soap/collection.h"
#include "soap/soap_parm.h"

namespace kalu {

class POPERADORADDP {
 public:
  static constexpr const char* kApp = "POPERADORADDP";

  // `soap`: the service locations, which the call of the operator service reports to.
  POPERADORADDP(Context& ctx, SOAPParm_mod& soap)
      : ctx_(ctx), soap_(soap), operators_(&ctx.display) {}

  // `rfc`: in, the RFC asked for under actions 1 and 3 (" " under action 2);
  // out, the RFC of the last record processed. `action`: the action code above.
  void Run(std::string& rfc, int16_t action);

  void zq_Init_all();

 private:
  // Inserts or updates the operator of the current record; under action 1 confirms it in
  // a message.
  void StoreOperator(const std::string& rfc, int16_t action);  // U111601

  // An OPERADORVEH row (or the values of a record about to become one).
  struct Operator {
    std::string rfc;
    std::string nombre;
    std::string licencia;
    int16_t tipo = 0;
    int32_t num = 0;
    std::string statusLic;
    int16_t status = 0;
    int16_t local = 0;
  };

  // The row values from the current record; OpeVLocal by the action (1 own, 0 external,
  // otherwise as held).
  void SetRowFromRecord(const std::string& rfc, int16_t action);

  Context& ctx_;
  SOAPParm_mod& soap_;
  int16_t succve_ = 0;
  int16_t unicve_ = 0;
  int16_t almcve_ = 0;
  int16_t emptipo_ = 0;
  int32_t empnum_ = 0;
  ZQSCollection operators_;
  bool processed_ = false;
  Operator record_;  // values of the record being processed
  Operator row_;     // row values written to OPERADORVEH
  // The reply's operators in the store (RFC as keys compare → OpeVLocal), with those this
  // call has written.
  std::map<std::string, int16_t> stored_;
};

}  // namespace kalu
