// Reads vehicle replies of growing size into a collection of records, the way the vehicle
// service's reply is read, and prints per size the reply's bytes, the records per second
// and the time of the reply. The largest is the most a collection holds (32767 records,
// its count is 16-bit), so the figures say how long the biggest readable reply takes.
//
//   bench_soap_reply

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/http.h"
#include "platform/xml.h"
#include "soap/collection.h"
#include "soap/records.h"

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
  return 0;
}
