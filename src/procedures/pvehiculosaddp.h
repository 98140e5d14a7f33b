#pragma once
// Vehicle import: asks the central vehicle service for vehicles and keeps those in
// operation in VEHICULOS, one row per plate number. The action code chooses what is asked
// and how the rows are marked:
//   1  one vehicle of another store by its plates, stored as external (VehLocal 0) and
//      confirmed in a message;
//   2  the whole fleet of the store's region and unit (last CONTROL row), stored as the
//      store's own (VehLocal 1);
//   3  one external vehicle by its plates, refreshed keeping its VehLocal, and removed when
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

class Cursor;

class PVEHICULOSADDP {
 public:
  static constexpr const char* kApp = "PVEHICULOSADDP";
  static constexpr const char* kInOperation = "EN OPERACION";

  // `soap`: the service locations, which the call of the vehicle service reports to.
  PVEHICULOSADDP(Context& ctx, SOAPParm_mod& soap)
      : ctx_(ctx), soap_(soap), vehicles_(&ctx.display) {}

  // `plates`: in, the plates asked for under actions 1 and 3 (" " under
  // action 2); out, the plates of the last record processed. `action`: the action
  // code above.
  void Run(std::string& plates, int16_t action);

  void zq_Init_all();

 private:
  // Inserts or updates the vehicle of the current record when it is in operation; under
  // action 1 confirms it in a message.
  void StoreVehicle(const std::string& plates, int16_t action);  // U111631

  // A VEHICULOS row (or the values of a record about to become one).
  struct Vehicle {
    std::string placas;
    int32_t numeco = 0;
    std::string tipoVehSct;
    int16_t modelo = 0;
    int16_t tipoVehCve = 0;
    std::string tipoVehDes;
    std::string numPoliza;
    std::string nomAseguradora;
    std::string fechVigencia;  // kept as the text received
    int16_t statusCve = 0;
    std::string statusDes;
    int16_t local = 0;
  };

  // The row values from the current record; VehLocal by the action (1 own fleet, 0
  // external, otherwise as held).
  void SetRowFromRecord(const std::string& plates, int16_t action);
  // Binds the eleven columns after the plates, from parameter `first` on.
  void BindColumns(Cursor& cursor, int first) const;

  Context& ctx_;
  SOAPParm_mod& soap_;
  int16_t succve_ = 0;
  int16_t unicve_ = 0;
  int16_t almcve_ = 0;
  int32_t numeco_ = 0;
  ZQSCollection vehicles_;
  bool processed_ = false;
  Vehicle record_;  // values of the record being processed
  Vehicle row_;     // row values written to VEHICULOS
  // The reply's vehicles in the store (plates as keys compare → VehLocal), with those this
  // call has written.
  std::map<std::string, int16_t> stored_;
};

}  // namespace kalu
