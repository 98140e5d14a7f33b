#pragma once
// Stored view definitions applied to the server: with option "C" every view of the
// package is created or replaced, with any other option every view is dropped with
// everything that depends on it. The procedure commits nothing: the caller runs the drop
// pass and the create pass in one transaction and commits after both, so that a run that
// ends anywhere between the first drop and the last creation (a failure, a kill, a power
// cut) leaves every view as it was before.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/store_views.h"
#include "platform/xml.h"
#include "run/context.h"

namespace kalu {

class PCONSULTASPG {
 public:
  static constexpr const char* kApp = "PCONSULTASPG";

  explicit PCONSULTASPG(Context& ctx) : ctx_(ctx) {}
  // `document`: the package document, opened as named relative to the working
  // folder. `option`: "C" creates (trailing blanks aside), anything else drops.
  void Run(const std::string& document, const std::string& option);

  // The views the drops of the run took with them, each read from the catalog before its
  // drop, in an order in which they can be created again.
  const std::vector<StoreView>& Taken() const { return taken_; }

 private:
  void ShowReaderError();

  Context& ctx_;
  XmlReader reader_;
  std::string name_;
  std::string text_;
  std::vector<StoreView> taken_;
};

}  // namespace kalu
