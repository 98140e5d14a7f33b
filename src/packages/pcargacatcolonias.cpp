#include "packages/pcargacatcolonias.h"

#include "runtime/convert.h"
#include "runtime/numbers.h"
#include "runtime/text.h"
#include "startup/cursor.h"

namespace kalu {

namespace {

constexpr const char* kColonySql =
    "SELECT CPCve, Colonia FROM COLONIAS WHERE CPCve = ? AND Colonia = ?";
constexpr const char* kInsertColonySql =
    "INSERT INTO COLONIAS (CPCve, Colonia, ColoniaNombre) VALUES (?, ?, ?)";

constexpr int kColonyNameWidth = 80;

}  // namespace

void PCARGACATCOLONIAS::Run(int16_t& AV26Local) {
  if (ObtainPackage(ctx_, AV26Local, kPackage)) {
    Progress(ctx_, "Actualización de Códigos Postales...");
    rowFlag_ = 0;
    // The start and the end of a row carry the same name; the row is stored at its end.
    // The fields are not cleared between rows: a missing field keeps the previous row's.
    WalkPackage(ctx_, reader_, kApp, kPackage, [&](const std::string& name) {
      if (name == "RowColonia") {
        if (rowFlag_ != 0) {
          U1115I1(AV26Local);
          U1215I1(AV26Local);
          rowFlag_ = 0;
        } else {
          rowFlag_ = 1;
        }
      } else if (name == "CPCve") {
        postalCode_ = ToInt32(LeadingNumericValue(reader_.Value()));
      } else if (name == "Colonia") {
        colony_ = ToInt16(LeadingNumericValue(reader_.Value()));
      } else if (name == "ColoniaNombre") {
        colonyName_ = Trim(reader_.Value());
      }
    });
  }
  ProcedureEpilogue(ctx_, true);
}

void PCARGACATCOLONIAS::U1115I1([[maybe_unused]] int16_t& AV26Local) {}

void PCARGACATCOLONIAS::U1215I1([[maybe_unused]] int16_t& AV26Local) {
  Progress(ctx_, "Creando Còdigo Postal a " + Trim(NumberToText(postalCode_, 10, 0)) + " " +
                     Trim(colonyName_));
  pump_.EveryTenMs();
  Cursor p14943(ctx_.session, kApp, "P14943", kColonySql, CursorKind::Read);
  p14943.SetInt32(1, postalCode_).SetInt16(2, colony_);
  if (!p14943.FetchFirst()) {
    Cursor p14944(ctx_.session, kApp, "P14944", kInsertColonySql, CursorKind::Update);
    p14944.SetInt32(1, postalCode_).SetInt16(2, colony_).SetText(3, colonyName_, kColonyNameWidth);
    p14944.Execute();
    p14944.Close();
  }
  p14943.Close();
  ctx_.session.Commit();
}

}  // namespace kalu
