// The Carta Porte refresh against a real PostgreSQL and the stand-in of the central
// services: when a refresh is due, what the services are asked, which vehicles and
// operators end up in VEHICULOS and OPERADORVEH with which local flag, the removal of
// external entries, and what a failing service leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "procedures/pactualizasat.h"
#include "procedures/poperadoraddp.h"
#include "procedures/pvehiculosaddp.h"
#include "procedures/pvehiculosdel.h"
#include "runtime/errors.h"
#include "support/standin.h"
#include "support/test_support.h"
#include "upgrade/azt903114.h"

namespace kalu {
namespace {

using test::LocationXml;
using test::RequestParameters;
using test::ServicesStandIn;
using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;
using Rows = std::vector<std::string>;

std::string DemoServicesData() {
  std::ifstream in(test::SourceDir() / "fixtures" / "services" / "standin.json");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A vehicle of the service's reply (JSON), of region 30 unit 1 unless told.
std::string Vehicle(const std::string& plates, const std::string& status, int numeco,
                    int region = 30, int unit = 1, const std::string& model = "2020") {
  return "{\"VehNumEco\": " + std::to_string(numeco) + ", \"VehPlacas\": \"" + plates +
         "\", \"TipoVehSct\": \"C2\", \"VehModelo\": " + model +
         ", \"TipoVehCve\": 3, \"TipoVehDes\": \"CAMION UNITARIO DE 2 EJES\", \"NumPoliza\": "
         "\"POL-" +
         std::to_string(numeco) +
         "\", \"NomAseguradora\": \"Seguros Atlas\", \"FchVigencia\": \"2025-06-30\", "
         "\"VehStatusCve\": 1, \"VehStatusDes\": \"" +
         status + "\", \"VehSucCve\": " + std::to_string(region) +
         ", \"VehUniCve\": " + std::to_string(unit) + ", \"VehAlmCve\": 1}";
}

// An operator of the service's reply (JSON), of region 30 unit 1 unless told.
std::string Operator(const std::string& rfc, const std::string& name, int num, int status = 1,
                     int region = 30, int unit = 1) {
  return "{\"EmpTipo\": 1, \"EmpNum\": " + std::to_string(num) + ", \"EmpRFC\": \"" + rfc +
         "\", \"EmpNombre\": \"" + name + "\", \"EmpLicencia\": \"LIC-" + std::to_string(num) +
         "\", \"EVALREG\": \"VIGENTE\", \"SUCCVE\": " + std::to_string(region) +
         ", \"UniCve\": " + std::to_string(unit) +
         ", \"AlmCve\": 1, \"EMPSTATUS\": " + std::to_string(status) + "}";
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

std::string ServicesData(const std::vector<std::string>& vehicles,
                         const std::vector<std::string>& operators, const std::string& mode = "") {
  return "{\"vehicles\": [" + Join(vehicles) + "], \"operators\": [" + Join(operators) + "]" +
         (mode.empty() ? "" : ", \"mode\": " + mode) + "}";
}

std::string Fault(const std::string& code, const std::string& text, const std::string& detail) {
  return ServicesData({}, {},
                      "{\"kind\": \"fault\", \"faultcode\": \"" + code + "\", \"faultstring\": \"" +
                          text + "\", \"detail\": \"" + detail + "\"}");
}

Rows Vehicles(const TestDatabase& db) {
  return db.Rows(
      "select rtrim(vehplacas), vehlocal, vehnumeco, rtrim(vehstatusdes) from vehiculos order "
      "by vehplacas");
}

Rows Operators(const TestDatabase& db) {
  return db.Rows(
      "select rtrim(opevrfc), opevlocal, opevnum, opevstatus from operadorveh order by opevrfc");
}

Rows RefreshDates(const TestDatabase& db) {
  return db.Rows("select ctrreg, ctrfec, ctrfecsat from control order by ctrreg, ctruni, ctralm");
}

bool Contains(const Rows& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void RunRefresh(const TestDatabase& db, int16_t option) {
  TestContext t(db.Name());
  PACTUALIZASAT(*t).Run(option);
}

// The store's own vehicles in operation and operators of the demo's services.
const Rows kDemoVehicles = {"23AF7K|1|101|EN OPERACION", "47AK2M|1|102|EN OPERACION",
                            "74AS6Y|1|107|EN OPERACION", "82AL5R|1|103|EN OPERACION",
                            "90AT4B|1|108|EN OPERACION"};
const Rows kDemoOperators = {"GAHM850312KJ4|1|12001|1", "HEVC880917QW2|1|12004|3",
                             "LOSJ790624TR8|1|12002|1", "MAGA910205PL3|1|12003|2",
                             "RAMR760430HN5|1|12005|0", "SOTE930811BC7|1|12006|1"};

struct CartaPorteTest : ::testing::Test {
  WorkFolder wf;
  std::unique_ptr<ServicesStandIn> services;

  void SetUp() override {
    TestDatabase::WriteDsn();
    services = std::make_unique<ServicesStandIn>(wf.Path() / "servicios", DemoServicesData());
    services->WriteLocationFile(wf.Path());
  }

  // A fresh store database at the release's schema.
  static std::unique_ptr<TestDatabase> Store() {
    auto db = std::make_unique<TestDatabase>();
    db->UpgradeSchema();
    return db;
  }
};

TEST_F(CartaPorteTest, DemoStoreGetsItsFleetOnceForItsBusinessDate) {
  auto db = Store();
  {
    TestContext t(db->Name());
    int16_t option = 2;
    PACTUALIZASAT(*t).Run(option);

    const auto& progress = t.display.progress;
    auto firstOperator = std::find(progress.begin(), progress.end(),
                                   "Actualizando Operadores Vehiculares, RFC:  GAHM850312KJ4");
    auto firstVehicle =
        std::find(progress.begin(), progress.end(), "Actualizacion de Vehiculos,  Placas:  23AF7K");
    ASSERT_NE(firstOperator, progress.end());
    ASSERT_NE(firstVehicle, progress.end());
    EXPECT_LT(firstOperator, firstVehicle) << "operators come first";
    // A vehicle that is not stored still shows; each import blanks the display at its end.
    EXPECT_TRUE(Contains(progress, "Actualizacion de Vehiculos,  Placas:  61AP8T"));
    EXPECT_EQ(std::count(progress.begin(), progress.end(), std::string(47, ' ')), 2);
    EXPECT_EQ(t.display.LastProgress(), std::string(47, ' '));
    EXPECT_TRUE(t.display.messages.empty());
  }
  EXPECT_EQ(Vehicles(*db), kDemoVehicles);
  EXPECT_EQ(Operators(*db), kDemoOperators);
  EXPECT_EQ(db->Rows("select vehplacas, vehnumeco, vehtipovehsct, vehmodelo, vehtipovehcve, "
                     "rtrim(vehtipovehdes), vehnnumpoliza, vehnomaseguradora, vehfechvigencia, "
                     "vehstatuscve, rtrim(vehstatusdes), vehlocal from vehiculos where vehplacas "
                     "= '47AK2M'"),
            Rows{"47AK2M |102|C3    |2021|4|CAMION UNITARIO DE 3 EJES|QLT-0098812|Quálitas "
                 "Compañía de Seguros|2025-03-15|1|EN OPERACION|1"});
  EXPECT_EQ(db->Rows("select opevrfc, rtrim(opevnombre), rtrim(opevlicencia), opevttipo, opevnum, "
                     "rtrim(opevstatuslic), opevstatus, opevlocal from operadorveh where opevrfc "
                     "= 'MAGA910205PL3'"),
            Rows{"MAGA910205PL3|Ana María Martínez Gómez|JAL-B-1120456|2|12003|VIGENTE|2|1"});
  EXPECT_EQ(RefreshDates(*db), (Rows{"7|2024-03-18|2024-03-20", "12|2024-03-20|2024-03-20"}));

  // The same business date again: no service is asked and nothing changes.
  services->ForgetRequests();
  RunRefresh(*db, 2);
  EXPECT_FALSE(services->Requested());
  EXPECT_EQ(Vehicles(*db), kDemoVehicles);
  EXPECT_EQ(Operators(*db), kDemoOperators);
}

TEST_F(CartaPorteTest, RefreshRunsByOptionAndTheLastControlRowsDates) {
  // Before: 7-2-3 business date 03-18 refreshed 03-01, 12-1-5 business date 03-20
  // refreshed 03-19. An external vehicle the services do not know goes when a refresh runs.
  struct Case {
    const char* name;
    const char* setup;
    int16_t option;
    bool refreshed;
    Rows dates;
  } cases[] = {
      {"option 2, the last row already refreshed for its date (the first row is not)",
       "update control set ctrfecsat = ctrfec where ctrreg = 12",
       2,
       false,
       {"7|2024-03-18|2024-03-01", "12|2024-03-20|2024-03-20"}},
      {"option 2, dates differ: every row gets the last row's business date",
       "",
       2,
       true,
       {"7|2024-03-18|2024-03-20", "12|2024-03-20|2024-03-20"}},
      {"option 2, the last row never refreshed",
       "update control set ctrfecsat = null",
       2,
       true,
       {"7|2024-03-18|2024-03-20", "12|2024-03-20|2024-03-20"}},
      {"option 1 refreshes whatever the dates and records nothing",
       "update control set ctrfecsat = ctrfec where ctrreg = 12",
       1,
       true,
       {"7|2024-03-18|2024-03-01", "12|2024-03-20|2024-03-20"}},
      {"option 1 with different dates",
       "",
       1,
       true,
       {"7|2024-03-18|2024-03-01", "12|2024-03-20|2024-03-19"}},
      {"any other option does nothing",
       "",
       3,
       false,
       {"7|2024-03-18|2024-03-01", "12|2024-03-20|2024-03-19"}},
      {"option 2 without CONTROL rows", "delete from control", 2, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto db = Store();
    if (*c.setup) db->Exec(c.setup);
    db->Exec(
        "insert into vehiculos (vehplacas, vehnumeco, vehstatusdes, vehlocal) values "
        "('JAL9999', 9, 'EN OPERACION', 0)");
    services->ForgetRequests();
    RunRefresh(*db, c.option);
    EXPECT_EQ(services->Requested(), c.refreshed);
    EXPECT_EQ(Vehicles(*db), c.refreshed ? kDemoVehicles : Rows{"JAL9999|0|9|EN OPERACION"});
    EXPECT_EQ(Operators(*db), c.refreshed ? kDemoOperators : Rows{});
    EXPECT_EQ(RefreshDates(*db), c.dates);
  }
}

TEST_F(CartaPorteTest, OwnFleetIsAskedByTheLastControlRowWithWarehouseZero) {
  struct Case {
    const char* name;
    const char* setup;
    bool vehicles;  // else operators
    const char* request;
    Rows stored;
  } cases[] = {
      {"vehicles of 12-1", "", true, "Succve=12;Unicve=1;Almcve=0;Numeco=0;Placas=", kDemoVehicles},
      {"operators of 12-1", "", false,
       "Succve=12;Unicve=1;Almcve=0;Emptipo=0;Empnum=0;Emprfc=", kDemoOperators},
      {"a later row of another store decides",
       "insert into control (ctrreg, ctruni, ctralm, ctract) values (21, 1, 2, ' ')",
       true,
       "Succve=21;Unicve=1;Almcve=0;Numeco=0;Placas=",
       {"93CK8F|1|401|EN OPERACION"}},
      {"a later row of another unit decides, for operators",
       "insert into control (ctrreg, ctruni, ctralm, ctract) values (12, 2, 1, ' ')",
       false,
       "Succve=12;Unicve=2;Almcve=0;Emptipo=0;Empnum=0;Emprfc=",
       {"PEDF870519MX1|1|12101|1"}},
      {"no CONTROL row",
       "delete from control",
       true,
       "Succve=0;Unicve=0;Almcve=0;Numeco=0;Placas=",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto db = Store();
    if (*c.setup) db->Exec(c.setup);
    {
      TestContext t(db->Name());
      std::string key = " ";
      int16_t action = 2;
      if (c.vehicles) {
        PVEHICULOSADDP(*t, t.soap).Run(key, action);
      } else {
        POPERADORADDP(*t, t.soap).Run(key, action);
      }
    }
    EXPECT_EQ(RequestParameters(services->LastRequest()), c.request);
    EXPECT_EQ(c.vehicles ? Vehicles(*db) : Operators(*db), c.stored);
  }
}

TEST_F(CartaPorteTest, OnlyVehiclesInOperationAreStored) {
  struct Case {
    const char* plates;
    const char* status;
    bool stored;
  } cases[] = {
      {"VEH0001", "EN OPERACION", true},
      {"VEH0002", "EN OPERACION ", true},
      {"VEH0003", "EN OPERACION   ", true},
      {"VEH0004", "en operacion", false},
      {"VEH0005", "En Operacion", false},
      {"VEH0006", " EN OPERACION", false},
      {"VEH0007", "EN TALLER", false},
      {"VEH0008", "BAJA", false},
      {"VEH0009", "", false},
  };
  std::vector<std::string> fleet;
  Rows expected;
  int numeco = 1;
  for (const auto& c : cases) {
    fleet.push_back(Vehicle(c.plates, c.status, numeco, 12, 1));
    if (c.stored)
      expected.push_back(std::string(c.plates) + "|1|" + std::to_string(numeco) + "|EN OPERACION");
    ++numeco;
  }
  services->SetData(ServicesData(fleet, {}));
  auto db = Store();
  TestContext t(db->Name());
  std::string plates = " ";
  int16_t action = 2;
  PVEHICULOSADDP(*t, t.soap).Run(plates, action);
  EXPECT_EQ(plates, "VEH0009") << "the plates of the last record";
  EXPECT_EQ(Vehicles(*db), expected);
  EXPECT_EQ(t.display.progress.size(), std::size(cases) + 1);
}

TEST_F(CartaPorteTest, OwnFleetTakesOverExternalEntriesOfTheSameKey) {
  auto db = Store();
  db->Exec(
      "insert into vehiculos (vehplacas, vehnumeco, vehnomaseguradora, vehstatusdes, vehlocal) "
      "values ('23AF7K', 9, 'Aseguradora anterior', 'EN OPERACION', 0);"
      "insert into operadorveh (opevrfc, opevnombre, opevnum, opevstatus, opevlocal) "
      "values ('GAHM850312KJ4', 'Nombre anterior', 9, 4, 0)");
  RunRefresh(*db, 1);
  EXPECT_EQ(Vehicles(*db), kDemoVehicles);
  EXPECT_EQ(Operators(*db), kDemoOperators);
  EXPECT_EQ(db->Value("select vehnomaseguradora from vehiculos where vehplacas = '23AF7K'"),
            "Grupo Nacional Provincial");
  EXPECT_EQ(db->Value("select rtrim(opevnombre) from operadorveh where opevrfc = 'GAHM850312KJ4'"),
            "Martín García Hernández");
}

TEST_F(CartaPorteTest, ExternalEntriesAreRefreshedOrRemovedKeepingTheLocalFlag) {
  // Entries of another store (region 30) the services know, and some they no longer know.
  services->SetData(
      ServicesData({Vehicle("EXT0001", "EN OPERACION", 901), Vehicle("EXT0003", "EN TALLER", 903),
                    Vehicle("LOC0002", "EN OPERACION", 912)},
                   {Operator("EXTO010101AB1", "Operador Externo Uno", 801),
                    Operator("LOCO040404AB4", "Operador Propio Cuatro", 804, 2)}));
  auto db = Store();
  db->Exec(
      "insert into vehiculos (vehplacas, vehnumeco, vehstatusdes, vehlocal) values "
      "('EXT0001', 1, 'EN OPERACION', 0), ('EXT0002', 2, 'EN OPERACION', 0), "
      "('EXT0003', 3, 'EN OPERACION', 0), ('LOC0001', 11, 'EN OPERACION', 1), "
      "('LOC0002', 12, 'EN OPERACION', 1);"
      "insert into operadorveh (opevrfc, opevnum, opevstatus, opevlocal) values "
      "('EXTO010101AB1', 1, 1, 0), ('EXTO020202AB2', 2, 1, 0), ('LOCO030303AB3', 3, 1, 1), "
      "('LOCO040404AB4', 4, 1, 1)");
  {
    TestContext t(db->Name());
    PACTUALIZASAT(*t).RefreshExternal();  // the external entries (local flag 0)
    // The store's own entries asked one by one.
    for (std::string key : {"LOC0001", "LOC0002"}) {
      int16_t action = 3;
      PVEHICULOSADDP(*t, t.soap).Run(key, action);
    }
    for (std::string key : {"LOCO030303AB3", "LOCO040404AB4"}) {
      int16_t action = 3;
      POPERADORADDP(*t, t.soap).Run(key, action);
    }
    EXPECT_TRUE(Contains(t.display.progress, "Actualizacion de Vehiculos,  Placas:  EXT0001"));
    EXPECT_TRUE(
        Contains(t.display.progress, "Actualizando Operadores Vehiculares, RFC:  EXTO010101AB1"));
    EXPECT_TRUE(t.display.messages.empty());
  }
  EXPECT_EQ(Vehicles(*db), (Rows{"EXT0001|0|901|EN OPERACION",     // refreshed, still external
                                 "EXT0003|0|3|EN OPERACION",       // not in operation: untouched
                                 "LOC0001|1|11|EN OPERACION",      // own, not returned: kept
                                 "LOC0002|1|912|EN OPERACION"}));  // own, refreshed, still own
  EXPECT_EQ(Operators(*db),
            (Rows{"EXTO010101AB1|0|801|1", "LOCO030303AB3|1|3|1", "LOCO040404AB4|1|804|2"}));
  EXPECT_EQ(db->Value("select rtrim(opevnombre) from operadorveh where opevrfc = 'EXTO010101AB1'"),
            "Operador Externo Uno");
}

TEST_F(CartaPorteTest, ExternalEntriesAreAskedWithoutTrailingBlanks) {
  struct Case {
    const char* rows;
    const char* request;
  } cases[] = {
      {"insert into vehiculos (vehplacas, vehlocal) values ('AB12', 0)",
       "Succve=0;Unicve=0;Almcve=0;Numeco=0;Placas=AB12"},
      {"insert into operadorveh (opevrfc, opevlocal) values ('KAL010101AB1', 0)",
       "Succve=0;Unicve=0;Almcve=0;Emptipo=0;Empnum=0;Emprfc=KAL010101AB1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    auto db = Store();
    db->Exec(c.rows);
    services->ForgetRequests();
    TestContext t(db->Name());
    PACTUALIZASAT(*t).RefreshExternal();
    EXPECT_EQ(RequestParameters(services->LastRequest()), c.request);
    EXPECT_TRUE(Vehicles(*db).empty()) << "not returned: removed";
    EXPECT_TRUE(Operators(*db).empty()) << "not returned: removed";
  }
}

TEST_F(CartaPorteTest, RemovalDeletesOnlyExternalEntries) {
  const Rows allVehicles = {"EXT0001|0|1|EN OPERACION", "LOC0001|1|2|EN OPERACION"};
  const Rows allOperators = {"EXTO010101AB1|0|1|1", "LOCO030303AB3|1|2|1"};
  struct Case {
    const char* plates;
    const char* rfc;
    int16_t action;
    Rows vehicles;
    Rows operators;
  } cases[] = {
      {"EXT0001", "EXTO010101AB1", 0, allVehicles, allOperators},
      {"EXT0001", "EXTO010101AB1", 3, allVehicles, allOperators},
      {"EXT0001", "EXTO010101AB1", 1, {"LOC0001|1|2|EN OPERACION"}, allOperators},
      {"LOC0001", "", 1, allVehicles, allOperators},
      {"EXT0001", "EXTO010101AB1", 2, allVehicles, {"LOCO030303AB3|1|2|1"}},
      {"", "LOCO030303AB3", 2, allVehicles, allOperators},
      {"", "NOEXISTE", 2, allVehicles, allOperators},
  };
  auto db = Store();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.plates) + "/" + c.rfc + "/" + std::to_string(c.action));
    db->Exec(
        "delete from vehiculos; delete from operadorveh;"
        "insert into vehiculos (vehplacas, vehnumeco, vehstatusdes, vehlocal) values "
        "('EXT0001', 1, 'EN OPERACION', 0), ('LOC0001', 2, 'EN OPERACION', 1);"
        "insert into operadorveh (opevrfc, opevnum, opevstatus, opevlocal) values "
        "('EXTO010101AB1', 1, 1, 0), ('LOCO030303AB3', 2, 1, 1)");
    TestContext t(db->Name());
    std::string plates = c.plates, rfc = c.rfc;
    int16_t action = c.action;
    PVEHICULOSDEL(*t).Run(plates, rfc, action);
    // Read over another connection: what is seen was committed.
    EXPECT_EQ(Vehicles(*db), c.vehicles);
    EXPECT_EQ(Operators(*db), c.operators);
    EXPECT_EQ(plates, c.plates);
    EXPECT_EQ(rfc, c.rfc);
  }
}

TEST_F(CartaPorteTest, EntriesAskedOnRequestAreExternalAndConfirmed) {
  struct Case {
    bool vehicle;
    const char* key;
    Rows messages;
    Rows stored;
  } cases[] = {
      {true,
       "28BF5C",
       {"Se ha Agregado y/o Actualizado exitosamente las Placas externas:  28BF5C"},
       {"28BF5C|0|301|EN OPERACION"}},
      {true,
       "55BH2D",  // in the workshop: not stored, still confirmed
       {"Se ha Agregado y/o Actualizado exitosamente las Placas externas:  55BH2D"},
       {}},
      {true, "ZZZ999", {}, {}},
      {false,
       "CUVR820102AB9",
       {"Se ha Agregado y/o Actualizado  exitosamente, tu operador Vehicular externo: "
        "CUVR820102AB9"},
       {"CUVR820102AB9|0|7001|1"}},
      {false, "ZZZZ010101ZZZ", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    auto db = Store();
    TestContext t(db->Name());
    std::string key = c.key;
    int16_t action = 1;
    if (c.vehicle) {
      PVEHICULOSADDP(*t, t.soap).Run(key, action);
    } else {
      POPERADORADDP(*t, t.soap).Run(key, action);
    }
    EXPECT_EQ(t.display.messages, c.messages);
    EXPECT_EQ(c.vehicle ? Vehicles(*db) : Operators(*db), c.stored);
  }
}

TEST_F(CartaPorteTest, FailingServiceStopsTheRefreshUntilItIsBack) {
  ServicesStandIn faulty(wf.Path() / "averiado", ServicesData({}, {}));
  ServicesStandIn down(wf.Path() / "caido", ServicesData({}, {}));
  down.Stop();
  // The demo's fleet with one vehicle whose model does not fit 16 bits, after two stored.
  std::string demo = DemoServicesData();
  std::string overflowing = demo;
  overflowing.replace(overflowing.find("\"VehModelo\": 2018"), 17, "\"VehModelo\": 70000");
  ServicesStandIn overflow(wf.Path() / "desbordado", overflowing);

  const int good = services->Port();
  struct Case {
    const char* name;
    std::string data;  // of the faulty stand-in
    int vehiclesPort;
    int operatorsPort;
    int32_t number;
    std::string text;  // the start of the description
    size_t operatorsKept;
  } cases[] = {
      {"both services unreachable", "", down.Port(), down.Port(), -10007, "", 0},
      {"the operator service answers a server fault",
       Fault("SOAP-ENV:Server", "Servicio no disponible", "Base de datos en mantenimiento"), good,
       faulty.Port(), -20005,
       "Error in server execution.\r\nMessage: Servicio no disponible\r\nDetail: Base de datos "
       "en mantenimiento",
       0},
      {"the vehicle service unreachable after the operators came", "", down.Port(), good, -10007,
       "", 6},
      {"the vehicle service answers a client fault",
       Fault("soap-env:Client", "Parametro Succve invalido", ""), faulty.Port(), good, -20004,
       "Error in client request.\r\nMessage: Parametro Succve invalido\r\nDetail: ", 6},
      {"a vehicle's model out of range", "", overflow.Port(), good, kErrOverflow, "Overflow", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto db = Store();
    if (!c.data.empty()) faulty.SetData(c.data);
    wf.Write("location.xml", LocationXml(c.vehiclesPort, c.operatorsPort));
    {
      TestContext t(db->Name());
      int16_t option = 2;
      try {
        PACTUALIZASAT(*t).Run(option);
        ADD_FAILURE() << "no run-time error";
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), c.number);
        EXPECT_EQ(e.Description().substr(0, c.text.size()), c.text);
        if (c.number == -10007) {
          EXPECT_NE(e.Description().find(" (HTTP Error: 0 )"), std::string::npos)
              << e.Description();
        }
      }
      // Seen over another connection while the failed run's connection is still open: the
      // import that finished was committed, the failed one committed nothing.
      EXPECT_EQ(Operators(*db).size(), c.operatorsKept);
      EXPECT_EQ(Vehicles(*db), Rows{});
      EXPECT_EQ(RefreshDates(*db), (Rows{"7|2024-03-18|2024-03-01", "12|2024-03-20|2024-03-19"}));
    }
    // The services are back: the next run completes the refresh.
    wf.Write("location.xml", LocationXml(good, good));
    RunRefresh(*db, 2);
    EXPECT_EQ(Vehicles(*db), kDemoVehicles);
    EXPECT_EQ(Operators(*db), kDemoOperators);
    EXPECT_EQ(RefreshDates(*db), (Rows{"7|2024-03-18|2024-03-20", "12|2024-03-20|2024-03-20"}));
  }
}

TEST_F(CartaPorteTest, UpgradeStopsAtTheRefreshWhileTheServicesAreDown) {
  TestDatabase db;  // before the release's schema changes
  services->Stop();
  {
    TestContext t(db.Name());
    try {
      AZT903114(*t).Run();
      ADD_FAILURE() << "no run-time error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), -10007);
    }
    EXPECT_EQ(t.display.messages, Rows{"Presione ACEPTAR para iniciar la REORGANIZACION"});
  }
  // The schema changes before the refresh stay; the refresh and the fixes after it are not
  // made.
  EXPECT_EQ(db.Value("select count(*) from information_schema.columns where column_name in "
                     "('vehlocal', 'opevlocal')"),
            "2");
  EXPECT_EQ(Vehicles(db), Rows{});
  EXPECT_EQ(RefreshDates(db), (Rows{"7|2024-03-18|2024-03-01", "12|2024-03-20|2024-03-19"}));
  EXPECT_EQ(db.Value("select rtrim(edoalias) from estados where edocve = 9"), "DF");

  // Back again, the refresh the upgrade calls completes.
  services->Start();
  RunRefresh(db, 2);
  EXPECT_EQ(Vehicles(db), kDemoVehicles);
  EXPECT_EQ(Operators(db), kDemoOperators);
  EXPECT_EQ(RefreshDates(db), (Rows{"7|2024-03-18|2024-03-20", "12|2024-03-20|2024-03-20"}));
}

TEST_F(CartaPorteTest, FailedCallThatDoesNotCancelRemovesNothing) {
  // A location that does not cancel on errors hands back an empty collection from a failed
  // call; that says nothing about the entry, which stays.
  services->SetData(Fault("SOAP-ENV:Server", "Servicio no disponible", ""));
  services->WriteLocationFile(wf.Path(), "<CancelOnError>2</CancelOnError>");
  auto db = Store();
  db->Exec(
      "insert into vehiculos (vehplacas, vehnumeco, vehstatusdes, vehlocal) values "
      "('EXT0001', 1, 'EN OPERACION', 0);"
      "insert into operadorveh (opevrfc, opevnum, opevstatus, opevlocal) values "
      "('EXTO010101AB1', 1, 1, 0)");
  TestContext t(db->Name());
  PACTUALIZASAT refresh(*t);
  refresh.RefreshExternal();
  EXPECT_EQ(refresh.LastSoapError(), -20005);
  EXPECT_EQ(Vehicles(*db), Rows{"EXT0001|0|1|EN OPERACION"});
  EXPECT_EQ(Operators(*db), Rows{"EXTO010101AB1|0|1|1"});
}

}  // namespace
}  // namespace kalu
