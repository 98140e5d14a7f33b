// The vehicle and operator services called over real HTTP on loopback, against the
// stand-in of the central transport system (tools/soap_standin.py).

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/http.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "soap/proxies.h"
#include "soap/records.h"
#include "soap/soap_parm.h"
#include "support/standin.h"
#include "support/test_support.h"

namespace kalu {
namespace {

// The body of a request as the stand-in recorded it.
std::string BodyOf(const std::string& request) {
  size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? "" : request.substr(end + 4);
}

// A loopback port where nobody listens.
int ClosedPort() {
  for (int port = 31999; port > 20000; --port) {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool free = bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    if (free) return port;
  }
  return 1;
}

// "location.xml" that points both services at a port of the loopback.
std::string LocationFile(int port, const std::string& extra = "") {
  return test::LocationXml(port, port, extra);
}

const char* const kThreeVehicles = R"({
  "vehicles": [
    {"VehNumEco": 101, "VehPlacas": "ABC123", "TipoVehSct": "C2", "VehModelo": 2019,
     "TipoVehCve": 4, "TipoVehDes": "Camión unitario", "NumPoliza": "P-1",
     "NomAseguradora": "GNP & Asociados", "FchVigencia": "2025-01-31", "VehStatusCve": 1,
     "VehStatusDes": "Activo", "VehSucCve": 1, "SUCNOM": "Norte", "VehUniCve": 2,
     "UniNom": "Centro", "VehAlmCve": 3, "AlmNom": "Bodega 3"},
    {"VehNumEco": 102, "VehPlacas": "DEF456", "VehSucCve": 1, "VehUniCve": 2, "VehAlmCve": 3},
    {"VehNumEco": 103, "VehPlacas": "GHI789", "VehSucCve": 1, "VehUniCve": 2, "VehAlmCve": 4},
    {"VehNumEco": 201, "VehPlacas": "OTRA01", "VehSucCve": 5, "VehUniCve": 2, "VehAlmCve": 3}
  ],
  "operators": [
    {"EmpTipo": 1, "EmpTipoDes": "Chofer", "EmpNum": 5001, "EmpRFC": "XAXX010101000",
     "EmpCURP": "XAXX010101HDFRRN09", "EmpTipoLicencia": "E", "EmpFchVigenciaLic": "2026-12-31",
     "EmpFchExpedicionLic": "2021-01-15", "EmpFchIng": "2020-03-05", "EmpFchBaja": "0000-00-00",
     "EmpNombre": "José Pérez", "EmpLicencia": "L-77", "EmpDireccion": "Calle 1",
     "EVALREG": "A", "SUCCVE": 1, "SUCNOM": "Norte", "UniCve": 2, "UniNom": "Centro",
     "AlmCve": 3, "AlmNom": "Bodega 3", "EMPSTATUS": 1},
    {"EmpTipo": 1, "EmpNum": 5002, "EmpRFC": "BBBB020202000", "SUCCVE": 1, "UniCve": 2}
  ]
})";

class SoapTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(standIn.Port(), 0) << "the stand-in did not start";
    setenv("no_proxy", "127.0.0.1,localhost", 1);  // the loopback never goes through a proxy
    folder.Write("location.xml", LocationFile(standIn.Port()));
  }
  // Makes every reply of the stand-in follow `mode` (a JSON object).
  void SetMode(const std::string& mode) const {
    std::string data = kThreeVehicles;
    data.insert(data.rfind('}'), ", \"mode\": " + mode);
    standIn.SetData(data);
  }
  ZQSCollection Vehicles(int16_t region = 1, int16_t unit = 2, const std::string& plates = "") {
    st2cartapor proxy(soap);
    return proxy.execute(region, unit, 0, Fixed4(), plates);
  }

  test::WorkFolder folder;
  test::ServicesStandIn standIn{folder.Path() / "standin", R"({"vehicles": [], "operators": []})"};
  SOAPParm_mod soap;
};

TEST_F(SoapTransport, VehicleRequestIsTheEnvelopeInItsOrderWithTheServiceHeaders) {
  standIn.SetData(kThreeVehicles);
  st2cartapor proxy(soap);
  proxy.execute(1, 2, 3, Fixed4(), " ABC123 ");
  std::string request = standIn.LastRequest();
  EXPECT_EQ(request.rfind("POST /morvel25/servlet/aws_vehiculos_cartaporte_v3 HTTP/1.1\r\n", 0), 0u)
      << request;
  EXPECT_NE(request.find("\r\nContent-type: text/xml;charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nSOAPAction: morvel25action/AWS_VEHICULOS_CARTAPORTE_V3.Execute\r\n"),
            std::string::npos);
  // The declaration names the encoding as given, utf-8.
  std::string body = BodyOf(standIn.LastRequest());
  size_t declarationEnd = body.find("?>\n");
  ASSERT_NE(declarationEnd, std::string::npos) << body;
  EXPECT_EQ(body.substr(0, declarationEnd + 3), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
  EXPECT_EQ(body.substr(declarationEnd + 3),
            "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
            "SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
            "<SOAP-ENV:Body><Execute xmlns=\"morvel25\"><Succve>1</Succve><Unicve>2</Unicve>"
            "<Almcve>3</Almcve><Numeco>0</Numeco><Placas>ABC123</Placas></Execute>"
            "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n");

  proxy.execute(100, 2, 1234567, Fixed4::FromText("123456789012"), "");
  body = BodyOf(standIn.LastRequest());
  EXPECT_NE(body.find("<Succve>**</Succve><Unicve>2</Unicve><Almcve>******</Almcve>"
                      "<Numeco>***********</Numeco><Placas></Placas>"),
            std::string::npos)
      << body;
}

TEST_F(SoapTransport, OperatorRequestHasItsSixParametersAndAction) {
  standIn.SetData(kThreeVehicles);
  st1cartapor proxy(soap);
  proxy.execute(1, 2, 0, 3, Fixed4::FromText("5001"), " XAXX010101000 ");
  std::string request = standIn.LastRequest();
  EXPECT_EQ(request.rfind("POST /morvel25/servlet/aws_operadores_cartaporte_v2 HTTP/1.1\r\n", 0),
            0u);
  EXPECT_NE(request.find("\r\nSOAPAction: morvel25action/AWS_OPERADORES_CARTAPORTE_V2.Execute\r\n"),
            std::string::npos);
  EXPECT_NE(BodyOf(standIn.LastRequest())
                .find("<Execute xmlns=\"morvel25\"><Succve>1</Succve><Unicve>2</Unicve>"
                      "<Almcve>0</Almcve><Emptipo>3</Emptipo><Empnum>5001</Empnum>"
                      "<Emprfc>XAXX010101000</Emprfc></Execute>"),
            std::string::npos)
      << BodyOf(standIn.LastRequest());
}

TEST_F(SoapTransport, VehiclesOfTheStoreComeBackWithEveryField) {
  // Text fields as escaped text, and as CDATA sections (stored as sent, "&" and all).
  for (const char* mode : {R"({"kind": "normal"})", R"({"kind": "cdata"})"}) {
    SCOPED_TRACE(mode);
    SetMode(mode);
    ZQSCollection vehicles = Vehicles(1, 2);
    EXPECT_EQ(soap.LastErrorNumber(), 0);
    EXPECT_EQ(soap.LastErrorText(), "No error.");
    ASSERT_EQ(vehicles.Count(), 3);
    // Every field of the first, written back in field order.
    EXPECT_EQ(vehicles.Item(1)->toxml("", ""),
              "<Etd_vcpv3_Etd_vcpv3Item xmlns=\"morvel25\"><VehNumEco>101</VehNumEco>"
              "<VehPlacas>ABC123</VehPlacas><TipoVehSct>C2</TipoVehSct><VehModelo>2019</VehModelo>"
              "<TipoVehCve>4</TipoVehCve><TipoVehDes>Camión unitario</TipoVehDes>"
              "<NumPoliza>P-1</NumPoliza><NomAseguradora>GNP &amp; Asociados</NomAseguradora>"
              "<FchVigencia>2025-01-31</FchVigencia><VehStatusCve>1</VehStatusCve>"
              "<VehStatusDes>Activo</VehStatusDes><VehSucCve>1</VehSucCve><SUCNOM>Norte</SUCNOM>"
              "<VehUniCve>2</VehUniCve><UniNom>Centro</UniNom><VehAlmCve>3</VehAlmCve>"
              "<AlmNom>Bodega 3</AlmNom></Etd_vcpv3_Etd_vcpv3Item>");
    EXPECT_EQ(vehicles.ItemAs<st1Etd_vcpv>(2).plates, "DEF456");
    EXPECT_EQ(vehicles.ItemAs<st1Etd_vcpv>(3).plates, "GHI789");
    EXPECT_EQ(vehicles.ItemAs<st1Etd_vcpv>(1).insurer, "GNP & Asociados");
  }

  ZQSCollection one = Vehicles(0, 0, "OTRA01");
  ASSERT_EQ(one.Count(), 1);
  EXPECT_EQ(one.ItemAs<st1Etd_vcpv>(1).region, 5);
}

TEST_F(SoapTransport, OperatorsComeBackWithTheirDates) {
  standIn.SetData(kThreeVehicles);
  st1cartapor proxy(soap);
  ZQSCollection operators = proxy.execute(0, 0, 0, 0, Fixed4(), "XAXX010101000");
  ASSERT_EQ(operators.Count(), 1);
  const auto& op = operators.ItemAs<st2cportev2>(1);
  EXPECT_EQ(op.name, "José Pérez");
  EXPECT_EQ(op.number, Fixed4::FromText("5001"));
  EXPECT_EQ(op.hireDate, DateFromParts(2020, 3, 5));
  EXPECT_EQ(op.leaveDate, kEmptyDate);
  EXPECT_EQ(op.warehouse, 3);
  EXPECT_EQ(op.status, 1);
  EXPECT_EQ(proxy.execute(1, 2, 0, 0, Fixed4(), "").Count(), 2);
}

TEST_F(SoapTransport, TwoCallsOnOneProxyShareNoReplyData) {
  standIn.SetData(kThreeVehicles);
  st2cartapor proxy(soap);
  ZQSCollection first = proxy.execute(1, 2, 0, Fixed4(), "");
  ZQSCollection second = proxy.execute(0, 0, 0, Fixed4(), "DEF456");
  EXPECT_EQ(first.Count(), 3);
  ASSERT_EQ(second.Count(), 1);
  EXPECT_EQ(second.ItemAs<st1Etd_vcpv>(1).plates, "DEF456");
  EXPECT_EQ(proxy.execute(9, 9, 0, Fixed4(), "").Count(), 0);
  EXPECT_EQ(first.Count(), 3);  // an earlier result stays as it was
}

// A reply envelope around `inside` (the children of the body).
std::string Reply(const std::string& inside) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><SOAP-ENV:Envelope "
         "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>" +
         inside + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string RawMode(const std::string& body) {
  std::string escaped;
  for (char c : body) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return R"({"kind": "raw", "body": ")" + escaped + "\"}";
}

const std::string kResponse = "<R.ExecuteResponse xmlns=\"morvel25\">";
const std::string kItem =
    "<Etd_vcpv3.Etd_vcpv3Item><VehPlacas>A1</VehPlacas></Etd_vcpv3.Etd_vcpv3Item>";
const std::string kNl = "\r\n";

TEST_F(SoapTransport, RepliesGiveTheirOutcome) {
  struct Case {
    const char* name;
    std::string mode;
    int32_t number;     // 0: no error
    std::string text;   // the run-time error's description
    int16_t count = 0;  // items returned when there is no error
  };
  const Case cases[] = {
      {"empty result element", RawMode(Reply(kResponse + "<Etd_vcpv3/></R.ExecuteResponse>")), 0,
       "", 0},
      {"result element without children",
       RawMode(Reply(kResponse + "<Etd_vcpv3></Etd_vcpv3></R.ExecuteResponse>")), 0, "", 0},
      {"prefixed result in morvel25",
       RawMode(Reply("<m:Resp xmlns:m=\"morvel25\"><m:Etd_vcpv3>" + kItem + kItem +
                     "</m:Etd_vcpv3></m:Resp>")),
       0, "", 2},
      {"first element is not the result",
       RawMode(Reply(kResponse + "<Otro>1</Otro><Etd_vcpv3/></R.ExecuteResponse>")), 1,
       "Name of parameter 1 different than expected."},
      {"result in another namespace",
       RawMode(Reply(kResponse + "<Etd_vcpv3 xmlns=\"otro\">" + kItem +
                     "</Etd_vcpv3></R.ExecuteResponse>")),
       1, "Name of parameter 1 different than expected."},
      {"wrong element after one good result",
       RawMode(
           Reply(kResponse + "<Etd_vcpv3>" + kItem + "</Etd_vcpv3><Otro/></R.ExecuteResponse>")),
       2, "Name of parameter 2 different than expected."},
      {"stranger after the items inside the result",
       RawMode(
           Reply(kResponse + "<Etd_vcpv3>" + kItem + "<Otro/></Etd_vcpv3></R.ExecuteResponse>")),
       3, "Name of parameter 3 different than expected."},
      {"item with an element of no field",
       RawMode(Reply(kResponse +
                     "<Etd_vcpv3><Etd_vcpv3.Etd_vcpv3Item><Otro>x</Otro><VehPlacas>A1</VehPlacas>"
                     "</Etd_vcpv3.Etd_vcpv3Item></Etd_vcpv3></R.ExecuteResponse>")),
       1, "Name of parameter 1 different than expected."},
      {"item ending with an element of no field",
       RawMode(Reply(kResponse + "<Etd_vcpv3>" + kItem +
                     "<Etd_vcpv3.Etd_vcpv3Item><VehPlacas>A1</VehPlacas><Otro>x</Otro>"
                     "</Etd_vcpv3.Etd_vcpv3Item></Etd_vcpv3></R.ExecuteResponse>")),
       2, "Name of parameter 2 different than expected."},
      {"client fault",
       R"({"kind": "fault", "faultcode": "SOAP-ENV:Client", "faultstring": "Falta Succve",
           "detail": "linea 1"})",
       -20004,
       "Error in client request." + kNl + "Message: Falta Succve" + kNl + "Detail: linea 1"},
      {"client fault in other letter case",
       R"({"kind": "fault", "faultcode": "soap-env:CLIENT  ", "faultstring": "m"})", -20004,
       "Error in client request." + kNl + "Message: m" + kNl + "Detail: "},
      {"server fault with status 200",
       R"({"kind": "fault", "faultcode": "SOAP-ENV:Server", "faultstring": "caido",
           "detail": "d", "status": 200})",
       -20005, "Error in server execution." + kNl + "Message: caido" + kNl + "Detail: d"},
      {"other fault code", R"({"kind": "fault", "faultcode": "Sender", "faultstring": "x"})",
       -20006, "Unknown error: Sender" + kNl + "Message: x" + kNl + "Detail: "},
      {"fault under the prefix soap of a common SOAP stack",
       R"({"kind": "prefixed_fault", "prefix": "soap", "faultcode": "soap:Client",
           "faultstring": "Falta Succve", "detail": "linea 1"})",
       -20004,
       "Error in client request." + kNl + "Message: Falta Succve" + kNl + "Detail: linea 1"},
      {"fault under the prefix soapenv",
       R"({"kind": "prefixed_fault", "prefix": "soapenv", "faultcode": "soapenv:Server",
           "faultstring": "caido", "detail": "d"})",
       -20005, "Error in server execution." + kNl + "Message: caido" + kNl + "Detail: d"},
      {"fault whose texts are CDATA sections",
       RawMode("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
               "<soap:Body><soap:Fault><faultcode>SOAP-ENV:Client</faultcode>"
               "<faultstring><![CDATA[a < b]]></faultstring><detail><![CDATA[x & y]]></detail>"
               "</soap:Fault></soap:Body></soap:Envelope>"),
       -20004, "Error in client request." + kNl + "Message: a < b" + kNl + "Detail: x & y"},
      {"Fault in a namespace that is not SOAP 1.1 is a reply element",
       RawMode("<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">"
               "<soap:Body><soap:Fault><faultcode>soap:Client</faultcode>"
               "<faultstring>m</faultstring></soap:Fault></soap:Body></soap:Envelope>"),
       1, "Name of parameter 1 different than expected."},
      {"fault never closed",
       RawMode("<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
               "<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
               "<faultstring>m</faultstring><detail>d</detail><otro>"),
       -20005, "Error in server execution." + kNl + "Message: m" + kNl + "Detail: d"},
      {"envelope with an empty body", RawMode(Reply("")), -20001, "Malformed SOAP message."},
      {"XML that is no SOAP reply", RawMode("<html><p>hola</p></html>"), -20001,
       "Malformed SOAP message."},
      {"HTTP error status", R"({"kind": "http_error", "status": 500})", -10022,
       "HTTP response code said error (HTTP Error: 500 Internal Server Error)"},
      {"HTTP error with its own reason",
       R"({"kind": "http_error", "status": 503, "reason": "Fuera de servicio"})", -10022,
       "HTTP response code said error (HTTP Error: 503 Fuera de servicio)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetMode(c.mode);
    try {
      ZQSCollection vehicles = Vehicles();
      EXPECT_EQ(c.number, 0) << "not raised";
      EXPECT_EQ(vehicles.Count(), c.count);
      EXPECT_EQ(soap.LastErrorNumber(), 0);
      EXPECT_EQ(soap.LastErrorText(), "No error.");
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), c.number);
      EXPECT_EQ(e.Description(), c.text);
      EXPECT_EQ(soap.LastErrorNumber(), 0);  // the lookup before raising has set it
    }
  }
}

TEST_F(SoapTransport, ReplyCutShortIsAMalformedMessage) {
  // The reply stops inside the reply element, wherever the cut falls.
  for (int bytes : {300, 400, 457}) {
    SetMode(R"({"kind": "truncated", "bytes": )" + std::to_string(bytes) + "}");
    st2cartapor proxy(soap);
    int32_t number = 0;
    std::string text;
    try {
      proxy.execute(1, 2, 0, Fixed4(), "");
    } catch (const RuntimeError& e) {
      number = e.Number();
      text = e.Description();
    }
    EXPECT_EQ(number, -20001) << bytes;
    EXPECT_EQ(text, "Malformed SOAP message.") << bytes;
  }
}

TEST_F(SoapTransport, TransportFailuresNeverHang) {
  // A server that answers too late: the location's time-out of 1 second ends the call.
  folder.Write("location.xml", LocationFile(standIn.Port(), "<timeout>1</timeout>"));
  SetMode(R"({"kind": "delay", "seconds": 8})");
  SOAPParm_mod patient;
  st2cartapor proxy(patient);
  try {
    proxy.execute(1, 2, 0, Fixed4(), "");
    FAIL() << "not raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), -10028);
    EXPECT_NE(e.Description().find("timed out"), std::string::npos) << e.Description();
    EXPECT_EQ(e.Description().substr(e.Description().size() - 17), " (HTTP Error: 0 )");
  }

  // Nobody listening on the port.
  folder.Write("location.xml", LocationFile(ClosedPort()));
  SOAPParm_mod nobody;
  st1cartapor operators(nobody);
  try {
    operators.execute(1, 2, 0, 0, Fixed4(), "");
    FAIL() << "not raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), -10007);
  }
}

TEST_F(SoapTransport, ReplyLargerThanTheLimitIsATransportFailure) {
  SetMode(R"({"kind": "oversize", "bytes": 67200000})");
  try {
    Vehicles();
    FAIL() << "not raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), -10063);
    EXPECT_EQ(e.Description(), "Reply larger than 67108864 bytes (HTTP Error: 200 OK)");
  }

  // The limit of the client itself, on a smaller reply.
  SetMode(R"({"kind": "oversize", "bytes": 5000})");
  HttpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(standIn.Port());
  client.SetBaseURL("/morvel25/servlet");
  client.SetReplyLimit(4000);
  client.AddRequestText("x");
  client.Execute("POST", "aws_vehiculos_cartaporte_v3");
  EXPECT_EQ(client.ErrCode(), HttpClient::kErrReplyTooLarge);
  EXPECT_EQ(client.ResponseText(), "");
  client.SetReplyLimit(6000);
  client.Execute("POST", "aws_vehiculos_cartaporte_v3");
  EXPECT_EQ(client.ErrCode(), 0);
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_EQ(client.ReasonLine(), "OK");
  EXPECT_EQ(client.ResponseText().size(), 5000u);
}

TEST_F(SoapTransport, FailureIsOnlyRecordedWhenTheLocationDoesNotCancel) {
  folder.Write("location.xml", LocationFile(standIn.Port(), "<cancelonerror>2</cancelonerror>"));
  SetMode(R"({"kind": "fault", "faultcode": "SOAP-ENV:Server", "faultstring": "m"})");
  SOAPParm_mod lenient;
  st2cartapor proxy(lenient);
  ZQSCollection vehicles = proxy.execute(1, 2, 0, Fixed4(), "");
  EXPECT_EQ(vehicles.Count(), 0);
  EXPECT_EQ(lenient.LastErrorNumber(), -20005);
  EXPECT_EQ(lenient.LastErrorText(), "Error in server execution.\r\nMessage: m\r\nDetail: ");

  SetMode(RawMode(
      Reply(kResponse + "<Etd_vcpv3>" + kItem + "</Etd_vcpv3><Otro/>" + "</R.ExecuteResponse>")));
  vehicles = proxy.execute(1, 2, 0, Fixed4(), "");
  EXPECT_EQ(vehicles.Count(), 1);  // what was read before the stranger
  EXPECT_EQ(lenient.LastErrorNumber(), 2);
}

TEST_F(SoapTransport, EveryTcpPortIsReachableAndOthersEndTheCallUnsent) {
  for (int port : {1, 32767, 32768, 44300, 65535}) {
    SCOPED_TRACE(port);
    test::ServicesStandIn there(folder.Path() / ("standin" + std::to_string(port)), kThreeVehicles,
                                port);
    if (there.Port() == 0) {
      std::cout << "port " << port << " is taken here: not tried\n";
      continue;
    }
    folder.Write("location.xml", LocationFile(port));
    SOAPParm_mod located;
    st2cartapor proxy(located);
    EXPECT_EQ(proxy.execute(1, 2, 0, Fixed4(), "").Count(), 3);
  }

  for (const char* port : {"0", "65536", "abc"}) {
    SCOPED_TRACE(port);
    standIn.ForgetRequests();
    folder.Write("location.xml",
                 "<ZQLocations><ZQLocation name=\"morvel25_ws_vehiculos_cartaporte_v3\"><Common>"
                 "<host>127.0.0.1</host><port>" +
                     std::string(port) + "</port></Common></ZQLocation></ZQLocations>");
    SOAPParm_mod located;
    st2cartapor proxy(located);
    try {
      proxy.execute(1, 2, 0, Fixed4(), "");
      ADD_FAILURE() << "not raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), 5);
      EXPECT_EQ(e.Description(),
                "Puerto no válido en location.xml para la ubicación "
                "\"morvel25_ws_vehiculos_cartaporte_v3\": \"" +
                    std::string(port) + "\" (debe ser un número de 1 a 65535)");
    }
    EXPECT_FALSE(standIn.Requested());
  }
}

}  // namespace
}  // namespace kalu
