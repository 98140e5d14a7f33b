#include "upgrade/schema_changes.h"

#include <array>

namespace kalu {

namespace {

constexpr std::array<SchemaChange, 21> kSchemaChanges = {{
    {"ALTER TABLE Clientes ADD COLUMN cteregfisdat character(10) default "
     "'RegiFiscal'::character;",
     "clientes", "cteregfisdat", ""},
    {"Update Clientes set cteregfisdat='RegiFiscal';", "", "", ""},
    {"ALTER TABLE HistCli ADD COLUMN CteColonia smallint;", "histcli", "ctecolonia", ""},
    {"ALTER TABLE Clientes ADD COLUMN cteregfiscve smallint;", "clientes", "cteregfiscve", ""},
    {"DROP TABLE codigopostal;", "", "", ""},
    {"DROP TABLE colonias;", "", "", ""},
    {"CREATE TABLE codigopostal  (   cpcve numeric(5,0) NOT NULL,   edocve smallint,   muncve "
     "smallint,   loccve smallint,   CONSTRAINT codigopostal_pkey PRIMARY KEY (cpcve)   )  WITH "
     "(   OIDS=FALSE  ); ",
     "codigopostal", "cpcve,edocve,muncve,loccve", ""},
    {"CREATE TABLE colonias  (   cpcve numeric(5,0) NOT NULL,   colonia smallint NOT NULL,   "
     "colonianombre character varying(80),   CONSTRAINT colonias_pkey PRIMARY KEY (cpcve, "
     "colonia)   )  WITH (   OIDS=FALSE  ); ",
     "colonias", "cpcve,colonia,colonianombre", ""},
    {"CREATE TABLE enviocfdi11  (   regcve smallint NOT NULL,   unicve smallint NOT NULL,   "
     "almcve smallint NOT NULL,   envioord integer NOT NULL,   envioecord integer NOT NULL,   "
     "enviotpoimp numeric(2,0) NOT NULL,   enviotasaimp numeric(3,0) NOT NULL,   enviobasimp "
     "numeric(12,2),   envioimpimp numeric(16,6),   CONSTRAINT enviocfdi11_pkey PRIMARY KEY "
     "(regcve, unicve, almcve, envioord, envioecord, enviotpoimp, enviotasaimp)   )  WITH (   "
     "OIDS=FALSE  ); ",
     "enviocfdi11",
     "regcve,unicve,almcve,envioord,envioecord,enviotpoimp,enviotasaimp,enviobasimp,envioimpimp",
     ""},
    {"ALTER TABLE enviocfdi1 ADD COLUMN envioecbaseieps numeric(12,2); ", "enviocfdi1",
     "envioecbaseieps", ""},
    {"ALTER TABLE enviocfdi1 ADD COLUMN envioecbaseiva numeric(12,2); ", "enviocfdi1",
     "envioecbaseiva", ""},
    {"ALTER TABLE enviocfdi ADD COLUMN enviobasieps numeric(12,2); ", "enviocfdi", "enviobasieps",
     ""},
    {"ALTER TABLE enviocfdi ADD COLUMN enviobasiva numeric(12,2); ", "enviocfdi", "enviobasiva",
     ""},
    {"ALTER TABLE enviocfdi1 ALTER COLUMN envioecieps TYPE numeric(16,6); ", "enviocfdi1",
     "envioecieps", "numeric(16,6)"},
    {"ALTER TABLE enviocfdi1 ALTER COLUMN envioeciva TYPE numeric(16,6); ", "enviocfdi1",
     "envioeciva", "numeric(16,6)"},
    {"ALTER TABLE enviocfdi ALTER COLUMN envioieps TYPE numeric(16,6); ", "enviocfdi", "envioieps",
     "numeric(16,6)"},
    {"ALTER TABLE enviocfdi ALTER COLUMN envioiva TYPE numeric(16,6); ", "enviocfdi", "envioiva",
     "numeric(16,6)"},
    {"ALTER TABLE operadorveh ADD COLUMN OpeVLocal numeric(1) DEFAULT 0;", "operadorveh",
     "opevlocal", ""},
    {"ALTER TABLE vehiculos ADD COLUMN VehLocal numeric(1) DEFAULT 0;", "vehiculos", "vehlocal",
     ""},
    {"delete from operadorveh;", "", "", ""},
    {"delete from vehiculos;", "", "", ""},
}};

constexpr std::array<const char*, 4> kDataFixes = {
    "Update Canales set CanRFC = '', Canrazon = '',  candomicilio = '',  Canedocve = 0, "
    "CanMuncve  = 0, CanLocCve = 0, CanPoblacion = '', CanForPagCve =0,  CanMetPagCve = 0, "
    "CanCodigoPostal = 0 where cancve not in(57,54);",
    "Update Canales set CanForPagCve =99,  CanMetPagCve = 3 where cancve in (57,54);",
    "Update Clientes set CteForPagCve =99,  CteMetPagCve = 3 where cancve in (57,54);",
    "Update Estados set EdoAlias = 'CMX' where EdoCve = 9;",
};

constexpr std::array<const char*, 16> kChangedTables = {
    "canales",    "clientes",  "histcli",     "estados",   "codigopostal", "colonias",
    "documentos", "enviocfdi", "enviocfdi11", "vehiculos", "operadorveh",  "datos",
    "datos1",     "vistapg",   "logsystem",   "control"};

}  // namespace

std::vector<std::string_view> SchemaChange::Columns() const {
  std::vector<std::string_view> names;
  std::string_view rest = columns;
  while (!rest.empty()) {
    std::size_t comma = rest.find(',');
    names.push_back(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return names;
}

bool SchemaChange::CreatesTable() const {
  return std::string_view(statement).starts_with("CREATE TABLE");
}

std::span<const SchemaChange> SchemaChanges() {
  return kSchemaChanges;
}

std::span<const char* const> DataFixStatements() {
  return kDataFixes;
}

std::span<const char* const> ChangedTables() {
  return kChangedTables;
}

}  // namespace kalu
