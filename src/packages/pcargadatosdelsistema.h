#pragma once
// System data catalogue load: the catalogues (DATOS) and their entries (DATOS1) from
// "DATOS.XMZ". Missing rows are inserted and existing ones get the new descriptions; with
// mode 1 every catalogue is deleted first. One transaction, committed at the end. The rows
// there are read once per table; the inserts and updates go out without waiting.

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "platform/xml.h"
#include "run/context.h"
#include "runtime/convert.h"

namespace kalu {

class PCARGADATOSDELSISTEMA {
 public:
  static constexpr const char* kApp = "PCARGADATOSDELSISTEMA";

  explicit PCARGADATOSDELSISTEMA(Context& ctx) : ctx_(ctx) {}
  // inPackageFolder != 0: the package in the package folder; 0: downloaded first.
  void Run(int16_t inPackageFolder);

  void zq_Init_all();

 private:
  // Mode 1: every catalogue and its entries deleted.
  void Purge();
  // The "CAMPO" elements of "TABLA_DATOS", searched from the reader's position.
  void LoadCatalogues();
  void SaveCatalogue();
  // Second pass: the "DATO" elements of "TABLA_DATOS1", wherever it stands.
  void LoadEntries();
  void SaveEntry();
  // PGUARDASESION for this load: the user, date and time come back, the log gets its row.
  void SaveSession();

  Context& ctx_;
  XmlReader reader_;
  int16_t mode_ = 0;
  std::string datNoCa_;
  std::string datDesCa_;
  int16_t datCve_ = 0;
  std::string datDes_;
  std::string user_;
  DateValue date_ = kEmptyDate;
  DateValue time_ = kEmptyDate;
  // The catalogue numbers and the entries (number, code) in the store, as keys compare
  // there, with those this load has inserted.
  std::set<std::string> catalogues_;
  std::set<std::pair<std::string, int16_t>> entries_;
};

}  // namespace kalu
