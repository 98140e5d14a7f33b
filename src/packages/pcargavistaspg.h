#pragma once
// Stored view definitions: copies every view of "SQLPG.XMZ" into VISTAPG, numbered by the
// pass of the walk in which its name and query text became complete, so that the same
// package always gives the same numbers.

#include <cstdint>
#include <string>

#include "platform/xml.h"
#include "run/context.h"

namespace kalu {

class PCARGAVISTASPG {
 public:
  static constexpr const char* kApp = "PCARGAVISTASPG";

  explicit PCARGAVISTASPG(Context& ctx) : ctx_(ctx) {}
  // inPackageFolder != 0: the package in the package folder; 0: downloaded first.
  void Run(int16_t inPackageFolder);

 private:
  // Inserts or updates the VISTAPG row `id` with the current name and query text.
  void StoreView(int16_t id);

  Context& ctx_;
  XmlReader reader_;
  std::string name_;
  std::string text_;
  int16_t nodeCounter_ = 0;
};

}  // namespace kalu
