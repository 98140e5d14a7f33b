// Records, collections, the factory and the service locations of the web-service client.

#include <gtest/gtest.h>

#include <string>

#include "build_config.h"
#include "platform/http.h"
#include "platform/recording_display.h"
#include "platform/xml.h"
#include "runtime/errors.h"
#include "soap/collection.h"
#include "soap/factory.h"
#include "soap/proxies.h"
#include "soap/records.h"
#include "soap/soap_parm.h"
#include "support/test_support.h"

namespace kalu {
namespace {

const std::string kVehicleItem = "Etd_vcpv3.Etd_vcpv3Item";

// A vehicle item element holding `fields` (in the namespace morvel25 by default).
std::string VehicleXml(const std::string& fields, const std::string& ns = "morvel25") {
  return "<" + kVehicleItem + " xmlns=\"" + ns + "\">" + fields + "</" + kVehicleItem + ">";
}

TEST(SoapRecord, ReadsEveryVehicleFieldWhateverTheOrder) {
  st1Etd_vcpv v;
  int16_t status = v.fromxml(VehicleXml(
      "<AlmNom>Bodega</AlmNom><VehAlmCve>7</VehAlmCve><UniNom>Centro</UniNom>"
      "<VehUniCve>2</VehUniCve><SUCNOM>Norte</SUCNOM><VehSucCve>1</VehSucCve>"
      "<VehStatusDes>Activo</VehStatusDes><VehStatusCve>3</VehStatusCve>"
      "<FchVigencia>2025-01-31</FchVigencia><NomAseguradora>GNP</NomAseguradora>"
      "<NumPoliza>P-77</NumPoliza><TipoVehDes>Camion</TipoVehDes><TipoVehCve>4</TipoVehCve>"
      "<VehModelo>2019</VehModelo><TipoVehSct>C2</TipoVehSct><VehPlacas>ABC123</VehPlacas>"
      "<VehNumEco>123.4567</VehNumEco>"));
  EXPECT_GE(status, 1);
  EXPECT_EQ(v.economicNumber.Raw(), 1234567);
  EXPECT_EQ(v.plates, "ABC123");
  EXPECT_EQ(v.sctType, "C2");
  EXPECT_EQ(v.modelYear, 2019);
  EXPECT_EQ(v.vehicleType, 4);
  EXPECT_EQ(v.vehicleTypeName, "Camion");
  EXPECT_EQ(v.policyNumber, "P-77");
  EXPECT_EQ(v.insurer, "GNP");
  EXPECT_EQ(v.policyValidUntil, "2025-01-31");
  EXPECT_EQ(v.status, 3);
  EXPECT_EQ(v.statusName, "Activo");
  EXPECT_EQ(v.region, 1);
  EXPECT_EQ(v.regionName, "Norte");
  EXPECT_EQ(v.unit, 2);
  EXPECT_EQ(v.unitName, "Centro");
  EXPECT_EQ(v.warehouse, 7);
  EXPECT_EQ(v.warehouseName, "Bodega");
}

TEST(SoapRecord, ElementsMatchByExactLocalNameInTheRecordsNamespaceOrNone) {
  struct Case {
    const char* name;
    std::string xml;
    int16_t status;      // 1: read to the end tag; negative: position of the stranger
    const char* plates;  // what VehPlacas holds afterwards
  };
  const Case cases[] = {
      {"namespace morvel25", VehicleXml("<VehPlacas>AAA1</VehPlacas>"), 1, "AAA1"},
      {"no namespace", VehicleXml("<VehPlacas xmlns=\"\">BBB2</VehPlacas>", ""), 1, "BBB2"},
      {"prefixed morvel25", VehicleXml("<m:VehPlacas xmlns:m=\"morvel25\">CCC3</m:VehPlacas>"), 1,
       "CCC3"},
      {"other namespace",
       VehicleXml("<VehModelo>1</VehModelo><VehPlacas xmlns=\"otro\">DDD4</VehPlacas>"), -2, ""},
      {"lower case", VehicleXml("<vehplacas>EEE5</vehplacas>"), -1, ""},
      {"unknown element", VehicleXml("<VehColor>rojo</VehColor><VehPlacas>F</VehPlacas>"), -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    st1Etd_vcpv v;
    EXPECT_EQ(v.fromxml(c.xml), c.status);
    EXPECT_EQ(v.plates, c.plates);
  }
}

TEST(SoapRecord, NumbersRoundHalfToEvenAndOverflowIsError6) {
  const std::pair<const char*, int16_t> cases[] = {{"12.6", 13}, {"12.5", 12}, {"13.5", 14},
                                                   {"-2.5", -2}, {" 7abc", 7}, {"x", 0}};
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    st1Etd_vcpv v;
    v.fromxml(VehicleXml(std::string("<VehSucCve>") + text + "</VehSucCve>"));
    EXPECT_EQ(v.region, expected);
  }
  st1Etd_vcpv v;
  try {
    v.fromxml(VehicleXml("<VehSucCve>40000</VehSucCve>"));
    FAIL() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
  }
}

TEST(SoapRecord, OperatorDatesReadAndWriteAsTheServicesWriteThem) {
  st2cportev2 op;
  EXPECT_GE(
      op.fromxml("<Etd_Operadores_cportev2.Etd_Operadores_cportev2Item xmlns=\"morvel25\">"
                 "<EmpFchBaja>0000-00-00</EmpFchBaja><EmpFchIng>2024-03-05</EmpFchIng>"
                 "<EmpFchVigenciaLic>2023-04-31</EmpFchVigenciaLic><EmpRFC>XAXX010101000</EmpRFC>"
                 "</Etd_Operadores_cportev2.Etd_Operadores_cportev2Item>"),
      1);
  EXPECT_EQ(op.leaveDate, kEmptyDate);
  EXPECT_EQ(op.hireDate, DateFromParts(2024, 3, 5));
  EXPECT_EQ(op.licenseValidUntil,
            kEmptyDate);  // 31 April is no date
  std::string xml = op.toxml("ignored", "");
  EXPECT_NE(xml.find("<EmpFchBaja>0000-00-00</EmpFchBaja>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<EmpFchIng>2024-03-05</EmpFchIng>"), std::string::npos) << xml;
  EXPECT_EQ(
      xml.rfind("<Etd_Operadores_cportev2_Etd_Operadores_cportev2Item xmlns=\"morvel25\">", 0), 0u)
      << xml;
}

TEST(SoapRecord, WritesFieldsInTableOrderWithTheirWidths) {
  st1UOpItem item;
  item.region = 12;
  item.unit = 12;
  item.reference = "  REF 1 ";
  EXPECT_EQ(item.toxml("x", ""),
            "<sdtConcBancaria.UOpItem xmlns=\"KALU2001\"><RegCve>12</RegCve><UniCve>*</UniCve>"
            "<Referencia>REF 1</Referencia></sdtConcBancaria.UOpItem>");

  // The element takes a prefix only for a namespace other than the class's own.
  struct Case {
    const char* nameSpace;
    const char* start;
  };
  const Case cases[] = {
      {"", "<Item xmlns=\"KALU2001\">"},
      {"  ", "<Item xmlns=\"KALU2001\">"},
      {"KALU2001", "<Item xmlns=\"KALU2001\">"},
      {"otro", "<Itemns:Item xmlns:Itemns=\"otro\" xmlns=\"KALU2001\">"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nameSpace);
    XmlWriter writer;
    writer.OpenFragment();
    item.writexml(writer, "Item", c.nameSpace);
    writer.Close();
    EXPECT_EQ(writer.FragmentText().rfind(c.start, 0), 0u) << writer.FragmentText();
  }
}

TEST(SoapRecord, CloneCopiesEveryFieldAndInitializeClearsThem) {
  st2cporteIt op;
  op.fromxml(
      "<Etd_Operadores_cporte.Etd_Operadores_cporteItem><EmpTipo>3</EmpTipo>"
      "<EmpNum>1234</EmpNum><EmpNombre>Ana</EmpNombre><AlmCve>99</AlmCve>"
      "</Etd_Operadores_cporte.Etd_Operadores_cporteItem>");
  auto copy = std::dynamic_pointer_cast<st2cporteIt>(op.Clone());
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.get(), &op);
  EXPECT_EQ(copy->toxml("", ""), op.toxml("", ""));
  EXPECT_EQ(copy->name, "Ana");
  copy->initialize();
  EXPECT_EQ(copy->toxml("", ""), st2cporteIt().toxml("", ""));
  EXPECT_EQ(op.warehouse, 99);
}

// A collection of vehicles read from `xml` (the reader on its first node).
int16_t ReadVehicles(ZQSCollection& c, const std::string& xml) {
  c.ContainedType = kVehicleItem;
  c.ContainedFullType = "Etd_vcpv3_Etd_vcpv3Item";
  return c.fromxml(xml);
}

TEST(SoapCollection, ReadsItemsUpToTheEndOfTheResult) {
  ZQSCollection c;
  int16_t status =
      ReadVehicles(c, "<Etd_vcpv3 xmlns=\"morvel25\">" + VehicleXml("<VehPlacas>A1</VehPlacas>") +
                          VehicleXml("<VehPlacas>B2</VehPlacas>") + "</Etd_vcpv3>");
  EXPECT_GE(status, 1);
  ASSERT_EQ(c.Count(), 2);
  EXPECT_EQ(c.ItemAs<st1Etd_vcpv>(1).plates, "A1");
  EXPECT_EQ(c.ItemAs<st1Etd_vcpv>(2).plates, "B2");

  // An item with a stranger stops the reading with its negative status.
  ZQSCollection bad;
  EXPECT_EQ(ReadVehicles(bad, "<Etd_vcpv3>" + VehicleXml("<Color>x</Color>") +
                                  VehicleXml("<VehPlacas>B2</VehPlacas>") + "</Etd_vcpv3>"),
            -1);
  EXPECT_EQ(bad.Count(), 1);
}

TEST(SoapCollection, ReadsAnEncodedArrayByItsSize) {
  RecordingDisplay display;
  ZQSCollection c(&display);
  std::string items =
      "<i><VehPlacas>A1</VehPlacas></i><i><VehPlacas>B2</VehPlacas></i>"
      "<i><VehPlacas>C3</VehPlacas></i>";
  EXPECT_GE(ReadVehicles(c, "<a arrayType=\"x:Item[2]\">" + items + "</a>"), 1);
  EXPECT_EQ(c.Count(), 2);
  EXPECT_TRUE(display.messages.empty());

  ZQSCollection unsized(&display);
  EXPECT_EQ(ReadVehicles(unsized, "<a arrayType=\"x:Item[]\">" + items + "</a>"), 1);
  EXPECT_EQ(unsized.Count(), 0);
  ASSERT_EQ(display.messages.size(), 1u);
  EXPECT_EQ(display.messages[0], "Error Could Not Read Encoded Array Size ");
}

TEST(SoapCollection, PositionsAreOneBasedAndObjectsFoundByIdentity) {
  ZQSCollection c;
  auto a = std::make_shared<st1UOpItem>();
  auto b = std::make_shared<st1UOpItem>();
  auto d = std::make_shared<st1UOpItem>();
  c.Add(a);
  c.Add(b, -1);
  c.Add(d, 1);  // before the first
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(c.IndexOf(d.get()), 1);
  EXPECT_EQ(c.IndexOf(a.get()), 2);
  EXPECT_EQ(c.IndexOf(b.get()), 3);
  st1UOpItem equal = *a;  // same values, another object
  EXPECT_EQ(c.IndexOf(&equal), 0);
  c.Remove(1);
  EXPECT_EQ(c.Item(1), a);
  EXPECT_EQ(c.IndexOf(d.get()), 0);

  for (int16_t bad : {0, 3, -2}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(c.Item(bad), RuntimeError);
    EXPECT_THROW(c.Remove(bad), RuntimeError);
  }
  EXPECT_THROW(c.Add(d, 5), RuntimeError);
  EXPECT_THROW(c.ItemAs<st1Etd_vcpv>(1), RuntimeError);

  ZQSCollection copy = c.Clone();
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_NE(copy.Item(1), a);
  EXPECT_EQ(c.IndexOf(copy.Item(1).get()), 0);
  c.Clear();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(copy.Count(), 2);
}

TEST(SoapCollection, WritesItsItemsUnderTheContainedType) {
  ZQSCollection c;
  c.ContainedType = "UOp";
  auto item = std::make_shared<st1UOpItem>();
  item->reference = "R";
  c.Add(item);
  const std::string uop =
      "<UOp xmlns=\"KALU2001\"><RegCve>0</RegCve><UniCve>0</UniCve><Referencia>R</Referencia>"
      "</UOp>";
  EXPECT_EQ(c.toxml("Lista", ""), "<Lista>" + uop + "</Lista>");
  EXPECT_EQ(c.toxml("Lista", "KALU2001"),
            "<Listacolns:Lista xmlns:Listacolns=\"KALU2001\">" + uop + "</Listacolns:Lista>");
}

TEST(SoapFactory, CreatesTheSixTypesByExactName) {
  SOAPParm_mod soap;
  struct Case {
    const char* name;
    bool (*is)(SoapObject*);
  };
  const Case cases[] = {
      {"Etd_vcpv3_Etd_vcpv3Item", [](SoapObject* o) { return !!dynamic_cast<st1Etd_vcpv*>(o); }},
      {"morvel25_ws_vehiculos_cartaporte_v3",
       [](SoapObject* o) { return !!dynamic_cast<st2cartapor*>(o); }},
      {"morvel25_ws_operadores_cartaporte_v2",
       [](SoapObject* o) { return !!dynamic_cast<st1cartapor*>(o); }},
      {"Etd_Operadores_cportev2_Etd_Operadores_cportev2Item",
       [](SoapObject* o) { return !!dynamic_cast<st2cportev2*>(o); }},
      {"Etd_Operadores_cporte_Etd_Operadores_cporteItem",
       [](SoapObject* o) { return !!dynamic_cast<st2cporteIt*>(o); }},
      {"sdtConcBancaria.UOpItem", [](SoapObject* o) { return !!dynamic_cast<st1UOpItem*>(o); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto object = AZT903114Factory::CreateByTypeName(c.name, &soap);
    ASSERT_TRUE(object);
    EXPECT_TRUE(c.is(object.get()));
  }
  EXPECT_FALSE(AZT903114Factory::CreateByTypeName("etd_vcpv3_etd_vcpv3item", &soap));
  EXPECT_FALSE(AZT903114Factory::CreateByTypeName("Etd_vcpv3", &soap));

  // A collection of an unknown item type cannot read its items.
  ZQSCollection c;
  c.ContainedFullType = "Desconocido";
  EXPECT_THROW(c.fromxml("<a><b><x>1</x></b></a>"), RuntimeError);
}

TEST(SoapProxyObject, ReadsNothingAndWritesAnEmptyElement) {
  SOAPParm_mod soap;
  st2cartapor proxy(soap);
  XmlReader reader;
  reader.OpenText("<a><b>1</b></a>");
  reader.Read();
  EXPECT_EQ(proxy.readxml(reader), 1);
  EXPECT_EQ(reader.Name(), "a");
  EXPECT_EQ(proxy.toxml("x", ""), "<morvel25_ws_vehiculos_cartaporte_v3/>");
  EXPECT_EQ(proxy.toxml("x", "urn:x"),
            "<morvel25_ws_vehiculos_cartaporte_v3ns:morvel25_ws_vehiculos_cartaporte_v3 "
            "xmlns:morvel25_ws_vehiculos_cartaporte_v3ns=\"urn:x\"/>");
  EXPECT_TRUE(std::dynamic_pointer_cast<st2cartapor>(proxy.Clone()));
}

// A vehicle reply whose header holds `header` and whose result holds one vehicle.
std::string VehicleReply(const std::string& header) {
  return "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<SOAP-ENV:Header>" +
         header +
         "</SOAP-ENV:Header><SOAP-ENV:Body>"
         "<AWS_VEHICULOS_CARTAPORTE_V3.ExecuteResponse xmlns=\"morvel25\"><Etd_vcpv3>" +
         VehicleXml("<VehPlacas>23AF7K</VehPlacas>") +
         "</Etd_vcpv3></AWS_VEHICULOS_CARTAPORTE_V3.ExecuteResponse></SOAP-ENV:Body>"
         "</SOAP-ENV:Envelope>";
}

TEST(SoapReply, AReaderErrorFailsTheCallOnTheLastLineAsOnAnyOther) {
  struct Case {
    const char* what;
    std::string reply;
    int32_t number;  // 0: the call hands on its vehicle
    const char* text;
  };
  const std::string prefixes = "<x:h/><x:h/><x:h/>";
  const std::string whole = VehicleReply("");
  const Case cases[] = {
      {"a whole reply on one line", whole, 0, "No error."},
      {"undefined prefixes on the only line", VehicleReply(prefixes), -201,
       "Namespace prefix x on h is not defined (line 1)"},
      {"undefined prefixes on the last of several lines", "\n\n" + VehicleReply(prefixes), -201,
       "Namespace prefix x on h is not defined (line 3)"},
      {"a mismatched end tag on the only line", VehicleReply("<a></b>"), -76,
       "Opening and ending tag mismatch: a line 1 and b (line 1)"},
      {"a reply cut short on its only line", whole.substr(0, whole.size() - 40), -20001,
       "Malformed SOAP message."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SOAPParm_mod soap("no-location.xml");
    st2cartapor vehicles(soap);
    try {
      ZQSCollection result = vehicles.CallWithReply(c.reply);
      EXPECT_EQ(c.number, 0) << "not raised";
      EXPECT_EQ(result.Count(), 1);
      EXPECT_EQ(soap.LastErrorText(), c.text);
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), c.number);
      EXPECT_EQ(e.Description(), c.text);
    }
  }
}

TEST(SoapLocation, BaseUrlLosesBlanksAndOneTrailingSlash) {
  const std::pair<const char*, const char*> cases[] = {{"/morvel25/servlet/", "/morvel25/servlet"},
                                                       {"  /a/b  ", "/a/b"},
                                                       {"/a//", "/a/"},
                                                       {"   ", ""},
                                                       {"/", ""},
                                                       {"", ""}};
  for (const auto& [given, stored] : cases) {
    SCOPED_TRACE(given);
    SOAPLocation location;
    location.SetBaseURL(given);
    EXPECT_EQ(location.BaseURL(), stored);
  }
}

TEST(SoapLocations, BuiltInTableWithoutLocationFile) {
  test::WorkFolder folder;
  SOAPParm_mod soap;
  auto vehicles = soap.GetLocation("morvel25_ws_vehiculos_cartaporte_v3");
  ASSERT_TRUE(vehicles);
  EXPECT_EQ(soap.LastErrorNumber(), 0);
  EXPECT_EQ(soap.LastErrorText(), "No error.");
  EXPECT_EQ(vehicles->Host, KALU_SERVICES_HOST);
  EXPECT_EQ(vehicles->Port, 80);
  EXPECT_EQ(vehicles->BaseURL(), "/morvel25/servlet");
  EXPECT_EQ(vehicles->Secure, 0);
  EXPECT_EQ(vehicles->Timeout, 0);
  EXPECT_EQ(vehicles->CancelOnError, 0);
  EXPECT_EQ(vehicles->Authentication, 0);
  EXPECT_EQ(soap.GetLocation("MORVEL25_WS_VEHICULOS_CARTAPORTE_V3"), vehicles);
  auto operators = soap.GetLocation("morvel25_ws_operadores_cartaporte_v2");
  ASSERT_TRUE(operators);
  EXPECT_EQ(operators->Host, KALU_SERVICES_HOST);
  EXPECT_EQ(operators->BaseURL(), "/morvel25/servlet");

  EXPECT_FALSE(soap.GetLocation("otro_servicio"));
  EXPECT_EQ(soap.LastErrorNumber(), -20007);
  EXPECT_EQ(soap.LastErrorText(), "Invalid location name.");
}

TEST(SoapLocations, LocationFileChangesAndAddsLocations) {
  test::WorkFolder folder;
  folder.Write("location.xml", R"(<?xml version="1.0" encoding="utf-8"?>
<ZQLocations>
  <ZQLocation name="morvel25_ws_vehiculos_cartaporte_v3">
    <Common><host>10.0.0.5</host><port>8080</port></Common>
  </ZQLocation>
  <Comentario>otros nodos entre entradas</Comentario>
  <ZQLocation name="MORVEL25_WS_OPERADORES_CARTAPORTE_V2">
    <HTTP><HOST>10.0.0.6</HOST><Port>81</Port><BaseURL>/x/y//</BaseURL><Secure>0</Secure>
      <TimeOut>30.5</TimeOut><CancelOnError>2</CancelOnError>
      <authentication><authenticationuser>no</authenticationuser></authentication>
    </HTTP>
  </ZQLocation>
  <ZQLocation name="nuevo_servicio">
    <Common><Authentication><AuthenticationUser>u</AuthenticationUser>
      <AUTHENTICATIONREALM>r</AUTHENTICATIONREALM><authenticationpassword>p</authenticationpassword>
      </Authentication></Common>
  </ZQLocation>
</ZQLocations>)");
  SOAPParm_mod soap;
  auto vehicles = soap.GetLocation("morvel25_ws_vehiculos_cartaporte_v3");
  ASSERT_TRUE(vehicles);
  EXPECT_EQ(vehicles->Host, "10.0.0.5");
  EXPECT_EQ(vehicles->Port, 8080);
  EXPECT_EQ(vehicles->BaseURL(), "/morvel25/servlet");  // the rest as built in
  EXPECT_EQ(vehicles->Timeout, 0);
  EXPECT_EQ(vehicles->Secure, 0);

  auto operators = soap.GetLocation("morvel25_ws_operadores_cartaporte_v2");
  ASSERT_TRUE(operators);
  EXPECT_EQ(operators->Name, "morvel25_ws_operadores_cartaporte_v2");
  EXPECT_EQ(operators->Host, "10.0.0.6");
  EXPECT_EQ(operators->Port, 81);
  EXPECT_EQ(operators->BaseURL(), "/x/y/");
  EXPECT_EQ(operators->Timeout, 30);  // 30.5 to the even neighbour
  EXPECT_EQ(operators->CancelOnError, 2);
  EXPECT_EQ(operators->AuthenticationUser, "");  // "authentication" in lower case is ignored
  EXPECT_EQ(operators->AuthenticationMethod, 0);

  auto added = soap.GetLocation("NUEVO_SERVICIO");
  ASSERT_TRUE(added);
  EXPECT_EQ(added->Name, "nuevo_servicio");
  EXPECT_EQ(added->Port, 8080);
  EXPECT_EQ(added->Timeout, 240);
  EXPECT_EQ(added->Host, KALU_INTERNAL_HOST);
  EXPECT_EQ(added->BaseURL(), "/servicios/servlet");
  EXPECT_EQ(added->Secure, 0);
  EXPECT_EQ(added->Authentication, 0);  // no element of the file sets it
  EXPECT_EQ(added->AuthenticationMethod, 0);
  EXPECT_EQ(added->AuthenticationUser, "u");
  EXPECT_EQ(added->AuthenticationRealm, "r");
  EXPECT_EQ(added->AuthenticationPassword, "p");
}

TEST(SoapLocations, BrokenOrUnfinishedFilesNeverLoop) {
  struct Case {
    const char* name;
    std::string file;
    const char* vehiclesHost;  // afterwards
    bool added;                // "extra" is in the table
  };
  const std::string services = KALU_SERVICES_HOST;
  const Case cases[] = {
      {"not XML", "esto no es XML", KALU_SERVICES_HOST, false},
      {"no ZQLocations", "<Otra><ZQLocation name=\"extra\"/></Otra>", KALU_SERVICES_HOST, false},
      {"ends inside a section",
       "<ZQLocations><ZQLocation name=\"morvel25_ws_vehiculos_cartaporte_v3\"><Common>"
       "<host>h1</host><secure>0</secure><port>",
       "h1", false},
      {"ends inside an entry",
       "<ZQLocations><ZQLocation name=\"extra\"><Common><host>h2</host></Common>",
       KALU_SERVICES_HOST, true},
      {"ends inside Authentication",
       "<ZQLocations><ZQLocation name=\"extra\"><Common><Authentication>", KALU_SERVICES_HOST,
       true},
      {"empty entry and section do not swallow the next entry",
       "<ZQLocations><ZQLocation name=\"extra\"/><ZQLocation name=\"extra\"><Common/></ZQLocation>"
       "<ZQLocation name=\"morvel25_ws_vehiculos_cartaporte_v3\"><Common><host>h3</host>"
       "</Common></ZQLocation></ZQLocations>",
       "h3", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WorkFolder folder;
    folder.Write("location.xml", c.file);
    SOAPParm_mod soap;
    auto vehicles = soap.GetLocation("morvel25_ws_vehiculos_cartaporte_v3");
    ASSERT_TRUE(vehicles);
    EXPECT_EQ(vehicles->Host, c.vehiclesHost);
    EXPECT_EQ(soap.GetLocation("extra") != nullptr, c.added);
  }
}

TEST(SoapLocations, PortIsAnyTcpPortAndNothingElse) {
  test::WorkFolder folder;
  auto write = [&](const std::string& port) {
    folder.Write("location.xml",
                 "<ZQLocations><ZQLocation name=\"morvel25_ws_vehiculos_cartaporte_v3\"><Common>"
                 "<port>" +
                     port + "</port></Common></ZQLocation></ZQLocations>");
  };
  write("65000");
  SOAPParm_mod soap;
  HttpClient client;
  soap.ConfigureHttpClient("morvel25_ws_vehiculos_cartaporte_v3", client);
  EXPECT_EQ(client.UrlOf("x"),
            std::string("http://") + KALU_SERVICES_HOST + ":65000/morvel25/servlet/x");

  write("-1");
  SOAPParm_mod refused;
  try {
    refused.GetLocation("morvel25_ws_vehiculos_cartaporte_v3");
    FAIL() << "not raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kErrInvalidCall);
    EXPECT_EQ(e.Description(),
              "Puerto no válido en location.xml para la ubicación "
              "\"morvel25_ws_vehiculos_cartaporte_v3\": \"-1\" (debe ser un número de 1 a 65535)");
  }
}

TEST(SoapLocations, ConfigureHttpClientCopiesTheSetFields) {
  test::WorkFolder folder;
  folder.Write("location.xml",
               "<ZQLocations><ZQLocation name=\"morvel25_ws_vehiculos_cartaporte_v3\"><HTTP>"
               "<host>127.0.0.1</host><port>8123</port><timeout>7</timeout></HTTP></ZQLocation>"
               "</ZQLocations>");
  SOAPParm_mod soap;
  HttpClient client;
  soap.ConfigureHttpClient("morvel25_ws_vehiculos_cartaporte_v3", client);
  EXPECT_EQ(client.UrlOf("aws_vehiculos_cartaporte_v3"),
            "http://127.0.0.1:8123/morvel25/servlet/aws_vehiculos_cartaporte_v3");
  EXPECT_EQ(client.Timeout(), 7);
  EXPECT_EQ(client.Secure(), 0);

  HttpClient untouched;
  soap.ConfigureHttpClient("no_existe", untouched);
  EXPECT_EQ(soap.LastErrorNumber(), -20007);
  EXPECT_EQ(untouched.UrlOf("o"), "http://:80/o");
}

}  // namespace
}  // namespace kalu
