#pragma once
// Colonies catalogue load: missing colonies from "CATCOLONIAS.XMZ".
//
// The package is a sequence of "RowColonia" elements with the fields "CPCve", "Colonia" and
// "ColoniaNombre"; a row is stored at its end. Existing colonies are never changed.
//
// The colonies the store has are read once before the walk; the new ones travel to
// COLONIAS in batches, each committed without waiting for the disk, the last one with the
// final commit.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "database/bulk.h"
#include "packages/catalog_package.h"
#include "platform/xml.h"
#include "run/context.h"
#include "run/message_pump.h"

namespace kalu {

class PCARGACATCOLONIAS {
 public:
  static constexpr const char* kApp = "PCARGACATCOLONIAS";
  static constexpr const char* kPackage = "CATCOLONIAS.XMZ";

  explicit PCARGACATCOLONIAS(Context& ctx) : ctx_(ctx), pump_(ctx) {}

  // inPackageFolder not 0: the package in the package folder; 0: downloaded
  // first. A number outside its range raises error 6 to the caller.
  void Run(int16_t inPackageFolder);

 private:
  // Looks at the postal code of the row; nothing depends on it, so it reads nothing.
  void LookAtPostalCode();  // U1115I1
  // Inserts the colony collected from the package unless COLONIAS has it (or an earlier
  // row of the package gave it).
  void StoreColony();  // U1215I1

  Context& ctx_;
  MessagePump pump_;
  XmlReader reader_;
  int16_t rowFlag_ = 0;
  int32_t postalCode_ = 0;
  int16_t colony_ = 0;
  std::string colonyName_;
  std::unordered_set<int64_t> knownColonies_;  // in COLONIAS or written by this call
  std::optional<BatchWriter> newColonies_;
};

}  // namespace kalu
