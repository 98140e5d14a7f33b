#include "packages/pcargacatcolonias.h"

#include "database/cursor.h"
#include "runtime/convert.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kColoniesSql = "SELECT CPCve, Colonia FROM COLONIAS";
constexpr const char* kNewColoniesColumns = "cpcve integer, colonia smallint, nombre text";
constexpr const char* kInsertColoniesSql =
    "INSERT INTO COLONIAS (CPCve, Colonia, ColoniaNombre) SELECT cpcve, colonia, nombre FROM "
    "{batch}";

constexpr int kColonyNameWidth = 80;

// One number for a postal code and a colony number.
int64_t ColonyKey(int32_t postalCode, int16_t colony) {
  return static_cast<int64_t>(postalCode) * 65536 + static_cast<uint16_t>(colony);
}

}  // namespace

void PCARGACATCOLONIAS::Run(int16_t inPackageFolder) {
  if (std::optional<std::string> document = ObtainPackage(ctx_, inPackageFolder, kPackage)) {
    Progress(ctx_, "Actualización de Códigos Postales...");
    rowFlag_ = 0;
    knownColonies_.clear();
    Cursor known(ctx_.session, kApp, "P14943", kColoniesSql, CursorKind::Read);
    for (bool row = known.FetchFirst(); row; row = known.FetchNext()) {
      knownColonies_.insert(ColonyKey(known.Int32(1), known.Int16(2)));
    }
    known.Close();
    newColonies_.emplace(ctx_.session, kApp, "P14944", kNewColoniesColumns, kInsertColoniesSql);
    // The start and the end of a row carry the same name; the row is stored at its end.
    // The fields are not cleared between rows: a missing field keeps the previous row's.
    WriteDecidedOnFailure(ctx_.session, newColonies_, [&] {
      WalkPackage(ctx_, reader_, kApp, kPackage, std::move(*document),
                  [&](const std::string& name) {
                    if (name == "RowColonia") {
                      if (rowFlag_ != 0) {
                        LookAtPostalCode();
                        StoreColony();
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
    });
    newColonies_->Flush();
    pump_.ReportRows();
  }
  ProcedureEpilogue(ctx_, true);
}

void PCARGACATCOLONIAS::LookAtPostalCode() {}

void PCARGACATCOLONIAS::StoreColony() {
  Progress(ctx_, "Creando Còdigo Postal a " + Trim(NumberToText(postalCode_, 10, 0)) + " " +
                     Trim(colonyName_));
  pump_.CountRows(1);
  pump_.EveryTenMs();
  // A colony the store has, or that an earlier row gave, keeps its first row.
  if (knownColonies_.insert(ColonyKey(postalCode_, colony_)).second) {
    newColonies_->Int32(postalCode_).Int16(colony_).Text(colonyName_, kColonyNameWidth).EndRow();
  }
}

}  // namespace kalu
