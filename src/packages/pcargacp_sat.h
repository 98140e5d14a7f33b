#pragma once
// Postal-code catalogue load: state aliases and missing postal codes from "CP_SAT_CFDI33.XMZ".
//
// The package holds the state table "EDO_Rel" (pairs "EdoCve"/"EdoAlias") inside the first
// "CP_CVEs" element, ahead of that element's fields, and then one "CP_CVEs" element per
// postal code ("c_CodigoPostal", "c_Estado", "c_Municipio", "c_Localidad"). The state walk
// sets each alias as its pair completes; at the end of the state table the postal-code
// walk takes over and stores a postal code at every other "CP_CVEs" node. Both walks share
// the row flag. Existing postal codes are never changed and states are never created.
//
// The postal codes the store has are read once when the postal-code walk starts; the new
// ones travel to CODIGOPOSTAL in batches, each committed without waiting for the disk, the
// last one with the final commit.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>

#include "database/bulk.h"
#include "packages/catalog_package.h"
#include "platform/xml.h"
#include "run/context.h"
#include "run/message_pump.h"

namespace kalu {

class PCARGACP_SAT {
 public:
  static constexpr const char* kApp = "PCARGACP_SAT";
  static constexpr const char* kPackage = "CP_SAT_CFDI33.XMZ";

  explicit PCARGACP_SAT(Context& ctx) : ctx_(ctx), pump_(ctx) {}

  // inPackageFolder not 0: the package in the package folder; 0: downloaded
  // first. A number outside its range raises error 6 to the caller.
  void Run(int16_t inPackageFolder);

 private:
  // Sets the alias of the state collected from the package when ESTADOS has that state;
  // commits (without waiting for the disk: the final commit does).
  void SetStateAlias();  // U1111E1
  // The postal-code walk, from the reader's current node to the end of the document.
  void WalkPostalCodes();  // U1211E1
  // Creates the postal code collected from the package unless CODIGOPOSTAL has it (or an
  // earlier row of the package gave it), then clears state, municipality and locality.
  void CreatePostalCode();  // U1311E1
  // The state number of the collected alias: the highest EdoCve carrying it, or the state
  // number unchanged when no state does. The states do not change during the walk, so
  // each alias is looked up once.
  void StateOfAlias();  // U1411E1

  Context& ctx_;
  MessagePump pump_;
  XmlReader reader_;
  int16_t rowFlag_ = 0;
  int16_t state_ = 0;
  std::string alias_;
  int32_t postalCode_ = 0;
  int16_t municipality_ = 0;
  int16_t locality_ = 0;
  std::unordered_set<int32_t> knownCodes_;  // in CODIGOPOSTAL or written by this call
  std::optional<BatchWriter> newCodes_;
  std::map<std::string, std::optional<int16_t>> stateOfAlias_;  // the last EdoCve found
};

}  // namespace kalu
