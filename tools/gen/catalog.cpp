#include "gen/catalog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>

#include "packages/package_format.h"

namespace kalu::gen {

namespace {

const std::map<std::string, std::pair<int, int>> kPostalRanges = {
    {"CMX", {1, 16}},  {"AGU", {20, 20}}, {"BCN", {21, 22}}, {"BCS", {23, 23}}, {"CAM", {24, 24}},
    {"COA", {25, 27}}, {"COL", {28, 28}}, {"CHP", {29, 30}}, {"CHH", {31, 33}}, {"DUR", {34, 35}},
    {"GUA", {36, 38}}, {"GRO", {39, 41}}, {"HID", {42, 43}}, {"JAL", {44, 49}}, {"MEX", {50, 57}},
    {"MIC", {58, 61}}, {"MOR", {62, 62}}, {"NAY", {63, 63}}, {"NLE", {64, 67}}, {"OAX", {68, 71}},
    {"PUE", {72, 75}}, {"QUE", {76, 76}}, {"ROO", {77, 77}}, {"SLP", {78, 79}}, {"SIN", {80, 82}},
    {"SON", {83, 85}}, {"TAB", {86, 86}}, {"TAM", {87, 89}}, {"TLA", {90, 90}}, {"VER", {91, 96}},
    {"YUC", {97, 97}}, {"ZAC", {98, 99}},
};

const std::vector<std::string> kKinds = {
    "",
    "",
    "",
    "",
    "Fraccionamiento ",
    "Residencial ",
    "Barrio de ",
    "Ampliación ",
    "Unidad Habitacional ",
    "Lomas de ",
    "Jardines de ",
    "Villas de ",
    "Rinconada ",
    "Real de ",
    "Valle de ",
    "Prados de ",
    "Paseos de ",
    "Arboledas de ",
    "Hacienda ",
    "Colinas de ",
    "Ejido ",
    "Privada ",
    "Bosques de ",
};

const std::vector<std::string> kNames = {
    "San José",
    "Santa María",
    "San Miguel",
    "Guadalupe",
    "La Asunción",
    "El Mirador",
    "Los Ángeles",
    "Las Águilas",
    "El Fresno",
    "Benito Juárez",
    "Emiliano Zapata",
    "Lázaro Cárdenas",
    "Miguel Hidalgo",
    "Independencia",
    "La Purísima",
    "El Porvenir",
    "San Juan Bosco",
    "Santa Cecilia",
    "La Concepción",
    "San Andrés",
    "Niños Héroes",
    "Francisco I. Madero",
    "Obrera",
    "Revolución",
    "La Joya",
    "Santa Fe",
    "Tlatelolco",
    "El Colibrí",
    "Los Pinos",
    "Las Fuentes",
    "San Rafael",
    "El Mezquite",
    "La Huerta",
    "Los Cedros",
    "San Martín de Porres",
    "Santa Rosalía",
    "El Sabino",
    "Camino Real",
    "Nuevo México",
    "La Calzada",
    "San Isidro",
    "Ojo de Agua",
    "Las Peñas",
    "El Zapote",
    "Tepeyac",
    "Cuauhtémoc",
    "La Esperanza",
    "Vicente Guerrero",
    "José María Morelos",
    "Fátima",
    "La Cañada",
    "Santa Úrsula",
    "El Fénix",
    "Jardín Balbuena",
    "Plan de Ayala",
    "Insurgentes",
    "Lomas Verdes",
    "Álamos",
    "Magisterial",
    "Las Ánimas",
};

const std::vector<std::string> kSuffixes = {
    "",
    "",
    "",
    "",
    "",
    "",
    " Norte",
    " Sur",
    " Oriente",
    " Poniente",
    " Primera Sección",
    " Segunda Sección",
    " II",
    " III",
    " Centro",
    " Ampliación",
};

std::vector<std::vector<std::string>> ReadTable(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  if (!std::getline(in, line)) return rows;  // header
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream s(line);
    std::string f;
    while (std::getline(s, f, '\t')) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

struct PostalCode {
  int code = 0;
  const State* state = nullptr;
  const Entry* municipality = nullptr;
  const Entry* locality = nullptr;
  int colonies = 0;
};

// Every possible code of every state's ranges; N of them kept at random, in code order.
// Consecutive codes share a municipality for a run, as real ones do.
std::vector<PostalCode> MakePostalCodes(const std::vector<State>& states, size_t count,
                                        Random& rng) {
  std::vector<PostalCode> all;
  for (const auto& s : states) {
    auto range = kPostalRanges.at(s.alias);
    const Entry* mun = nullptr;
    const Entry* loc = nullptr;
    int runLeft = 0;
    for (int code = range.first * 1000; code < (range.second + 1) * 1000; ++code) {
      if (runLeft-- <= 0) {
        mun = &rng.Pick(s.municipalities);
        loc = &rng.Pick(s.localities);
        runLeft = 10 + static_cast<int>(rng.Below(90));
      }
      all.push_back({code, &s, mun, loc, 0});
    }
  }
  // A partial Fisher-Yates shuffle picks `count` of them.
  for (size_t i = 0; i < count; ++i) std::swap(all[i], all[i + rng.Below(all.size() - i)]);
  all.resize(count);
  std::sort(all.begin(), all.end(),
            [](const PostalCode& a, const PostalCode& b) { return a.code < b.code; });
  return all;
}

// "Lomas de" + "El Fresno" reads "Lomas del Fresno", "Valle de" + "Las Águilas" "Valle de
// las Águilas".
std::string Join(const std::string& kind, const std::string& name) {
  const bool endsWithDe = kind.size() >= 3 && kind.compare(kind.size() - 3, 3, "de ") == 0;
  if (endsWithDe && name.rfind("El ", 0) == 0)
    return kind.substr(0, kind.size() - 1) + "l " + name.substr(3);
  if (endsWithDe &&
      (name.rfind("La ", 0) == 0 || name.rfind("Las ", 0) == 0 || name.rfind("Los ", 0) == 0)) {
    return kind + "l" + name.substr(1);
  }
  return kind + name;
}

std::string ColonyName(const PostalCode& pc, int colony, Random& rng) {
  if (colony == 1 && rng.Below(4) == 0) return pc.municipality->name + " Centro";
  if (rng.Below(10) == 0) return Join(rng.Pick(kKinds), pc.locality->name);
  return Join(rng.Pick(kKinds), rng.Pick(kNames)) + rng.Pick(kSuffixes);
}

}  // namespace

bool LoadStates(const std::filesystem::path& dir, std::vector<State>& states) {
  auto estados = ReadTable(dir / "sat_estados.tsv");
  auto municipios = ReadTable(dir / "sat_municipios.tsv");
  auto localidades = ReadTable(dir / "sat_localidades.tsv");
  if (estados.empty() || municipios.empty() || localidades.empty()) return false;
  std::map<std::string, size_t> byAlias;
  for (const auto& r : estados) {
    // Only states whose postal-code ranges are known can be given postal codes.
    if (r.size() < 3 || !kPostalRanges.contains(r[1])) return false;
    byAlias[r[1]] = states.size();
    states.push_back({std::atoi(r[0].c_str()), r[1], r[2], {}, {}});
  }
  auto add = [&](const std::vector<std::vector<std::string>>& table, bool municipality) {
    for (const auto& r : table) {
      auto it = byAlias.find(r.size() >= 3 ? r[0] : "");
      if (it == byAlias.end()) continue;
      State& s = states[it->second];
      (municipality ? s.municipalities : s.localities).push_back({std::atoi(r[1].c_str()), r[2]});
    }
  };
  add(municipios, true);
  add(localidades, false);
  for (const auto& s : states) {
    if (s.municipalities.empty() || s.localities.empty()) return false;
  }
  return true;
}

size_t PossiblePostalCodes(const std::vector<State>& states) {
  size_t possible = 0;
  for (const auto& s : states) {
    const auto& range = kPostalRanges.at(s.alias);
    possible += (range.second - range.first + 1) * 1000;
  }
  return possible;
}

Catalog MakeCatalog(std::vector<State> states, size_t postalCodes, size_t colonies, Random& rng) {
  Catalog catalog;
  catalog.states = std::move(states);
  std::vector<PostalCode> codes = MakePostalCodes(catalog.states, postalCodes, rng);
  for (size_t i = 0; i < colonies; ++i) {
    ++codes[i < codes.size() ? i : rng.Below(codes.size())].colonies;
  }
  for (const auto& pc : codes) {
    catalog.postalCodes.push_back(
        {pc.code, pc.state->alias, pc.municipality->code, pc.locality->code});
  }
  for (const auto& pc : codes) {
    for (int colony = 1; colony <= pc.colonies; ++colony) {
      catalog.colonies.push_back({pc.code, colony, ColonyName(pc, colony, rng)});
    }
  }
  return catalog;
}

std::string PostalCodeDocument(const Catalog& catalog) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CP_SAT_CFDI33>\n";
  bool first = true;
  for (const auto& pc : catalog.postalCodes) {
    xml += "  <CP_CVEs>\n";
    if (first) {
      xml += "    <EDO_Rel>\n";
      for (const auto& s : catalog.states) {
        xml += "      <EdoCve>" + std::to_string(s.number) + "</EdoCve>\n";
        xml += "      <EdoAlias>" + Escape(s.alias) + "</EdoAlias>\n";
      }
      xml += "    </EDO_Rel>\n";
      first = false;
    }
    xml += "    <c_CodigoPostal>" + Digits(pc.code, 5) + "</c_CodigoPostal>\n";
    xml += "    <c_Estado>" + Escape(pc.alias) + "</c_Estado>\n";
    xml += "    <c_Municipio>" + Digits(pc.municipality, 3) + "</c_Municipio>\n";
    xml += "    <c_Localidad>" + Digits(pc.locality, 2) + "</c_Localidad>\n";
    xml += "  </CP_CVEs>\n";
  }
  return xml + "</CP_SAT_CFDI33>\n";
}

std::string ColonyDocument(const Catalog& catalog) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CATCOLONIAS>\n";
  for (const auto& c : catalog.colonies) {
    xml += "  <RowColonia>\n    <CPCve>" + Digits(c.postalCode, 5) + "</CPCve>\n    <Colonia>" +
           std::to_string(c.colony) + "</Colonia>\n    <ColoniaNombre>" + Escape(c.name) +
           "</ColoniaNombre>\n  </RowColonia>\n";
  }
  return xml + "</CATCOLONIAS>\n";
}

bool WriteFile(const std::filesystem::path& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

bool WriteDocument(const std::filesystem::path& dir, const std::string& name,
                   const std::string& xml, bool pack) {
  if (!pack) return WriteFile(dir / (name + ".xml"), xml);
  std::vector<uint8_t> bytes = kalu::PackDocument(xml);
  return !bytes.empty() &&
         WriteFile(dir / (name + ".XMZ"),
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace kalu::gen
