#pragma once
// System data catalogue load: the catalogues (DATOS) and their entries (DATOS1) from
// "DATOS.XMZ". Missing rows are inserted and existing ones get the new descriptions; with
// mode 1 every catalogue is deleted first. One transaction, committed at the end.

#include <cstdint>
#include <string>

#include "platform/xml.h"
#include "run/context.h"
#include "runtime/convert.h"

namespace kalu {

class PCARGADATOSDELSISTEMA {
 public:
  static constexpr const char* kApp = "PCARGADATOSDELSISTEMA";

  explicit PCARGADATOSDELSISTEMA(Context& ctx) : ctx_(ctx) {}
  // AV18Local != 0: the package in the package folder; 0: downloaded first.
  void Run(int16_t& AV18Local);

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
};

}  // namespace kalu
