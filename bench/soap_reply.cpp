// Reads vehicle replies of growing size into a collection of records, the way the vehicle
// service's reply is read, and prints per size the reply's bytes, the records per second
// and the time of the reply. The largest is the most a collection holds (32767 records,
// its count is 16-bit), so the figures say how long the biggest readable reply takes.
// Then one-line replies whose header holds 20,000 to 80,000 elements with an undefined
// namespace prefix, read by the vehicle call: each error costs the same, so the times
// grow in proportion to the count, and every one fails with the reader's error.
//
//   bench_soap_reply

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/http.h"
#include "platform/xml.h"
#include "runtime/errors.h"
#include "soap/collection.h"
#include "soap/proxies.h"
#include "soap/records.h"
#include "soap/soap_parm.h"

namespace {

using namespace kalu;

// A result element with `count` vehicles carrying every field.
std::string VehicleResult(int count) {
  std::string xml = "<Etd_vcpv3 xmlns=\"morvel25\">";
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    xml += "<Etd_vcpv3.Etd_vcpv3Item><VehNumEco>" + n + "</VehNumEco><VehPlacas>P" + n +
           "</VehPlacas><TipoVehSct>C2</TipoVehSct><VehModelo>2019</VehModelo>"
           "<TipoVehCve>3</TipoVehCve><TipoVehDes>CAMION UNITARIO DE 2 EJES</TipoVehDes>"
           "<NumPoliza>GNP-4471203</NumPoliza><NomAseguradora>Grupo Nacional Provincial"
           "</NomAseguradora><FchVigencia>2024-12-31</FchVigencia><VehStatusCve>1"
           "</VehStatusCve><VehStatusDes>EN OPERACION</VehStatusDes><VehSucCve>12</VehSucCve>"
           "<SUCNOM>Region Occidente</SUCNOM><VehUniCve>1</VehUniCve><UniNom>Guadalajara Sur"
           "</UniNom><VehAlmCve>5</VehAlmCve><AlmNom>Almacen Guadalajara Sur</AlmNom>"
           "</Etd_vcpv3.Etd_vcpv3Item>";
  }
  return xml + "</Etd_vcpv3>";
}

// A vehicle reply on one line whose header holds `count` elements <x:h/> of a prefix that
// no namespace declares.
std::string UndefinedPrefixReply(int count) {
  std::string header;
  for (int i = 0; i < count; ++i) header += "<x:h/>";
  return "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<SOAP-ENV:Header>" +
         header + "</SOAP-ENV:Header><SOAP-ENV:Body>" +
         "<AWS_VEHICULOS_CARTAPORTE_V3.ExecuteResponse xmlns=\"morvel25\">" + VehicleResult(1) +
         "</AWS_VEHICULOS_CARTAPORTE_V3.ExecuteResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// Reads the undefined-prefix replies; false when one of them does not fail.
bool UndefinedPrefixReplies() {
  std::printf("%10s %12s %10s  %s\n", "elements", "reply bytes", "ms/reply", "outcome");
  for (int count : {20000, 40000, 80000}) {
    std::string reply = UndefinedPrefixReply(count);
    SOAPParm_mod soap("no-location.xml");
    st2cartapor vehicles(soap);
    auto start = std::chrono::steady_clock::now();
    std::string outcome = "no error";
    bool failed = false;
    try {
      vehicles.CallWithReply(reply);
    } catch (const RuntimeError& e) {
      outcome = std::to_string(e.Number()) + " " + e.Description();
      failed = true;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%10d %12zu %10.1f  %s\n", count, reply.size(), 1000 * seconds, outcome.c_str());
    if (!failed) return false;
  }
  return true;
}

}  // namespace

int main() {
  std::printf("%10s %12s %14s %10s\n", "records", "reply bytes", "records/s", "ms/reply");
  for (int count : {1000, 5000, 25000, 32767}) {
    std::string reply = VehicleResult(count);
    auto start = std::chrono::steady_clock::now();
    ZQSCollection vehicles;
    vehicles.ContainedFullType = st1Etd_vcpv::kFullType;
    if (vehicles.fromxml(reply) < 1 || vehicles.Count() != count) {
      std::fprintf(stderr, "reply of %d records not read\n", count);
      return 1;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%10d %12zu %14.0f %10.1f\n", count, reply.size(), count / seconds, 1000 * seconds);
  }
  std::printf("reply limit of the HTTP client: %zu bytes\n", HttpClient::kDefaultReplyLimit);
  if (!UndefinedPrefixReplies()) {
    std::fprintf(stderr, "a reply with undefined prefixes was taken for a success\n");
    return 1;
  }
  return 0;
}
