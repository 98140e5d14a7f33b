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

  // Shows the database error of the last check and hands the failure to the reaction.
  void U11FY1(const std::string& document, const std::string& option);
  // Run after every database check: the message of U11FY1 while a view is being created,
  // then the session's reaction (a failure ends the run).
  void EHFY0(int16_t& ZQActiveErrHndl, const std::string& document, const std::string& option);

  // The views the drops of the run took with them, each read from the catalog before its
  // drop, in an order in which they can be created again.
  const std::vector<StoreView>& Taken() const { return taken_; }

 private:
  // One statement at once, checked only, then EHFY0.
  void Execute(const std::string& sql, const std::string& document, const std::string& option);
  void CheckOnly(int16_t status, const std::string& document, const std::string& option);
  void ShowReaderError();

  Context& ctx_;
  XmlReader reader_;
  std::string name_;
  std::string text_;
  int16_t ZQActiveErrHndl_ = 0;
  std::vector<StoreView> taken_;
};

}  // namespace kalu
