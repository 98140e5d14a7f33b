#pragma once
// Customer fiscal data repair: every customer of one store gets the colony of its current
// address (the first colony of its postal code) and a fiscal regime code of the SAT
// catalogue derived from the RFC of its channel or of its address.
//
// The customers are read with their channel, current address and first colony in one
// query; the repairs travel back in batches, each committed without waiting for the disk,
// the last one with the final commit. A second run repeats the same repairs.

#include <cstdint>
#include <string>
#include <string_view>

#include "run/context.h"

namespace kalu {

class PCARDATOSFISCAL {
 public:
  static constexpr const char* kApp = "PCARDATOSFISCAL";
  // The RFC of the general public, taken when neither channel nor customer has one.
  static constexpr const char* kGenericRfc = "XAXX010101000";

  explicit PCARDATOSFISCAL(Context& ctx) : ctx_(ctx) {}

  // Walks the customers of the store region-unit-warehouse (A52RegCve, A54UniCve,
  // A56AlmCve) in key order.
  void Run(int16_t region, int16_t unit, int16_t warehouse);

  void zq_Init_all();

  // The RFC a customer is invoiced with: the channel's when it is not blank, else the
  // address's, else the general public's. An empty address RFC stands for a customer
  // without a current history row.
  static std::string ChosenRfc(std::string_view canRfc, std::string_view cteRfc);
  // The SAT regime code of an RFC: 616 general public, 601 or 603 for a legal person (12
  // characters; 601 on channels 5, 49 and 50), 612 for anything else.
  static int16_t RegimeCode(std::string_view rfc, int16_t canCve);

 private:
  // The first colony of the postal code held (cteCP_) into colonia_, 0 when it has none.
  // The walk reads it with each customer; this lookup serves a single postal code.
  void FirstColonyOfPostalCode();  // U1115X3

  Context& ctx_;
  int16_t regCve_ = 0;
  int16_t uniCve_ = 0;
  int16_t almCve_ = 0;
  int16_t canCve_ = 0;
  int32_t cteCve_ = 0;
  int16_t cteUltHist_ = 0;
  int16_t cteHist_ = 0;
  std::string canRfc_;
  std::string cteRfc_;
  int32_t cteCP_ = 0;
  int16_t colonia_ = 0;
  int16_t regimeCode_ = 0;
};

}  // namespace kalu
