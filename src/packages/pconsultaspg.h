#pragma once
// Stored view definitions applied to the server: with option "C" every view of the
// package is created or replaced, with any other option every view is dropped with
// everything that depends on it. Each view is committed on its own.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml.h"
#include "run/context.h"

namespace kalu {

class PCONSULTASPG {
 public:
  static constexpr const char* kApp = "PCONSULTASPG";

  explicit PCONSULTASPG(Context& ctx) : ctx_(ctx) {}
  // AV12Archiv: the package document, opened as named relative to the working folder.
  // AV13Opcion: "C" creates (trailing blanks aside), anything else drops.
  void Run(std::string& AV12Archiv, std::string& AV13Opcion);

  // Shows the database error of the last check and hands the failure to the reaction.
  void U11FY1(std::string& AV12Archiv, std::string& AV13Opcion);
  // Run after every database check: the message of U11FY1 while a view is being created,
  // then the session's reaction (a failure ends the run).
  void EHFY0(int16_t& ZQActiveErrHndl, std::string& AV12Archiv, std::string& AV13Opcion);

 private:
  // One statement at once, checked only, then EHFY0.
  void Execute(const std::string& sql, std::string& AV12Archiv, std::string& AV13Opcion);
  void CheckOnly(int16_t status, std::string& AV12Archiv, std::string& AV13Opcion);
  void ShowReaderError();

  Context& ctx_;
  XmlReader reader_;
  std::string name_;
  std::string text_;
  int16_t ZQActiveErrHndl_ = 0;
};

}  // namespace kalu
