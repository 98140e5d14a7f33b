#include "packages/pcargacp_sat.h"

#include "database/cursor.h"
#include "runtime/convert.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kStateForUpdateSql =
    "SELECT EdoAlias, EdoCve FROM ESTADOS WHERE EdoCve = ?  FOR UPDATE OF ESTADOS";
constexpr const char* kSetAliasSql = "UPDATE ESTADOS SET EdoAlias=?  WHERE EdoCve = ?";
constexpr const char* kPostalCodesSql = "SELECT CPCve FROM CODIGOPOSTAL";
constexpr const char* kNewCodesColumns =
    "cpcve integer, edocve smallint, muncve smallint, loccve smallint";
constexpr const char* kInsertPostalCodesSql =
    "INSERT INTO CODIGOPOSTAL (CPCve, EdoCve, MunCve, LocCve) SELECT cpcve, edocve, muncve, "
    "loccve FROM {batch}";
constexpr const char* kStatesOfAliasSql =
    "SELECT EdoAlias, EdoCve FROM ESTADOS WHERE EdoAlias = ? ORDER BY EdoCve";

constexpr int kAliasWidth = 3;

std::string Number(int32_t value) {
  return Trim(NumberToText(value, 10, 0));
}

}  // namespace

void PCARGACP_SAT::Run(int16_t inPackageFolder) {
  if (std::optional<std::string> document = ObtainPackage(ctx_, inPackageFolder, kPackage)) {
    Progress(ctx_, "Actualización de Códigos Postales...");
    rowFlag_ = 0;
    state_ = 0;
    alias_.clear();
    // The state walk: a pair is applied when the next "EdoCve" or the end of the state
    // table arrives; the end of the state table hands over to the postal-code walk.
    WriteDecidedOnFailure(ctx_.session, newCodes_, [&] {
      WalkPackage(ctx_, reader_, kApp, kPackage, std::move(*document),
                  [&](const std::string& name) {
                    if (name == "EdoCve") {
                      if (rowFlag_ != 0) {
                        SetStateAlias();
                      } else {
                        rowFlag_ = 1;
                      }
                      state_ = ToInt16(LeadingNumericValue(reader_.Value()));
                    } else if (name == "EdoAlias") {
                      alias_ = reader_.Value();
                    } else if (name == "EDO_Rel" && rowFlag_ != 0) {
                      SetStateAlias();
                      rowFlag_ = 0;
                      WalkPostalCodes();
                      rowFlag_ = 0;
                    }
                  });
    });
  }
  ProcedureEpilogue(ctx_, true);
}

void PCARGACP_SAT::SetStateAlias() {
  Cursor p13462(ctx_.session, kApp, "P13462", kStateForUpdateSql, CursorKind::Update);
  p13462.SetInt16(1, state_);
  if (p13462.FetchFirst()) {
    Cursor p13463(ctx_.session, kApp, "P13463", kSetAliasSql, CursorKind::Update);
    p13463.SetText(1, alias_, kAliasWidth).SetInt16(2, p13462.Int16(2));
    p13463.Execute();
  }
  p13462.Close();
  ctx_.session.CommitAsync();
}

void PCARGACP_SAT::WalkPostalCodes() {
  rowFlag_ = 1;
  state_ = municipality_ = locality_ = 0;
  knownCodes_.clear();
  Cursor known(ctx_.session, kApp, "P13464", kPostalCodesSql, CursorKind::Read);
  for (bool row = known.FetchFirst(); row; row = known.FetchNext()) {
    knownCodes_.insert(known.Int32(1));
  }
  known.Close();
  newCodes_.emplace(ctx_.session, kApp, "P13465", kNewCodesColumns, kInsertPostalCodesSql);
  // The flag starts set, so the first "CP_CVEs" node met (the end of the element that holds
  // the state table) completes a row; from then on they open and close rows alternately.
  while (!reader_.Eof()) {
    const std::string name = RTrim(reader_.Name());
    if (name == "CP_CVEs") {
      if (rowFlag_ != 0) {
        CreatePostalCode();
        rowFlag_ = 0;
      } else {
        rowFlag_ = 1;
      }
    } else if (name == "c_CodigoPostal") {
      postalCode_ = ToInt32(LeadingNumericValue(reader_.Value()));
    } else if (name == "c_Estado") {
      alias_ = reader_.Value();
    } else if (name == "c_Municipio") {
      municipality_ = ToInt16(LeadingNumericValue(reader_.Value()));
    } else if (name == "c_Localidad") {
      locality_ = ToInt16(LeadingNumericValue(reader_.Value()));
    }
    reader_.Read();
  }
  newCodes_->Flush();
  pump_.ReportRows();
}

void PCARGACP_SAT::CreatePostalCode() {
  StateOfAlias();
  Progress(ctx_, "Creando Còdigo Postal a Edo " + Number(state_) + ", Mun " +
                     Number(municipality_) + ", Loc " + Number(locality_) + ", C.P. " +
                     Number(postalCode_));
  pump_.CountRows(1);
  pump_.EveryTenMs();
  // A postal code the store has, or that an earlier row gave, keeps its first row.
  if (knownCodes_.insert(postalCode_).second) {
    newCodes_->Int32(postalCode_).Int16(state_).Int16(municipality_).Int16(locality_).EndRow();
  }
  state_ = municipality_ = locality_ = 0;
}

void PCARGACP_SAT::StateOfAlias() {
  auto found = stateOfAlias_.find(alias_);
  if (found == stateOfAlias_.end()) {
    std::optional<int16_t> last;
    Cursor p13466(ctx_.session, kApp, "P13466", kStatesOfAliasSql, CursorKind::Read);
    p13466.SetText(1, alias_, kAliasWidth);
    for (bool row = p13466.FetchFirst(); row; row = p13466.FetchNext()) last = p13466.Int16(2);
    p13466.Close();
    found = stateOfAlias_.emplace(alias_, last).first;
  }
  if (found->second) state_ = *found->second;
}

}  // namespace kalu
