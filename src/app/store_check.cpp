#include "app/store_check.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "app/run_report.h"
#include "app/way_back.h"
#include "build_config.h"
#include "database/cursor.h"
#include "packages/catalog_package.h"
#include "packages/package_format.h"
#include "packages/pfunciones_mod.h"
#include "platform/http.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/proxy.h"
#include "platform/server_disk.h"
#include "platform/settings_file.h"
#include "platform/xml.h"
#include "platform/zqregacc.h"
#include "run/steps.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "soap/proxies.h"
#include "upgrade/azt903114.h"
#include "upgrade/schema_changes.h"

namespace kalu {

namespace {

constexpr const char* kApp = "KALUCHECK";
constexpr int kNameWidth = 63;  // a PostgreSQL identifier

// The four packages of the package folder and the element that is one row of each.
struct PackageKind {
  const char* file;
  const char* rowElement;
};
constexpr PackageKind kPackages[] = {
    {"CP_SAT_CFDI33.XMZ", "c_CodigoPostal"},
    {"CATCOLONIAS.XMZ", "RowColonia"},
    {"SQLPG.XMZ", "SQL_PG"},
    {"DATOS.XMZ", "DATO"},
};
constexpr const char* kViewsFile = "SQLPG.XMZ";
constexpr const char* kViewsRowElement = "SQL_PG";

constexpr const char* kColumnTypeSql =
    "SELECT format_type(a.atttypid, a.atttypmod) FROM pg_attribute a JOIN pg_class c ON c.oid "
    "= a.attrelid WHERE c.relname = lower(?) AND a.attname = lower(?) AND a.attnum > 0 AND NOT "
    "a.attisdropped AND pg_table_is_visible(c.oid)";
constexpr const char* kTableSql =
    "SELECT relname FROM pg_class c WHERE c.relname = lower(?) AND c.relkind IN ('r', 'p') AND "
    "pg_table_is_visible(c.oid)";

CheckLine Ok(std::string id, std::string title, std::string detail) {
  return {std::move(id), std::move(title), true, std::move(detail), std::nullopt};
}
CheckLine Problem(std::string id, std::string title, std::string detail) {
  return {std::move(id), std::move(title), false, std::move(detail), std::nullopt};
}

// --- the packages -----------------------------------------------------------------------

// A package's document as the loader would read it.
struct PackageContent {
  bool found = false;
  bool packed = false;       // inflated from its package (else plain XML already)
  int32_t declaredSize = 0;  // the size its header declares, when packed
  std::string document;
  std::string problem;  // why it cannot be read
};

bool LooksLikeXml(const std::vector<uint8_t>& bytes) {
  std::size_t i = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
  while (i < bytes.size() &&
         (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) {
    ++i;
  }
  return i < bytes.size() && bytes[i] == '<';
}

PackageContent ReadPackage(const std::filesystem::path& path) {
  PackageContent content;
  std::vector<uint8_t> bytes;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    content.problem = "no existe";
    return content;
  }
  content.found = true;
  if (Status read = ReadWholeFile(path, bytes); !read.ok()) {
    content.problem = read.text();
    return content;
  }
  if (bytes.size() <= kPackageSizeField) {
    content.problem = "está vacío";
    return content;
  }
  PackageInput input = SplitPackage(bytes);
  if (Status inflated = InflateBuffer(input.buffer, input.declaredSize); inflated.ok()) {
    content.packed = true;
    content.declaredSize = input.declaredSize;
    content.document.assign(input.buffer.begin(), input.buffer.end());
  } else if (LooksLikeXml(bytes)) {
    content.document.assign(bytes.begin(), bytes.end());  // inflated by an earlier run
  } else {
    content.problem =
        "no se puede descomprimir (error " + std::to_string(inflated.code()) + " de zlib)";
  }
  return content;
}

// Counts the elements named `rowElement` of a document; false with the parser's reason
// when the document is not well-formed XML.
bool CountRows(const std::string& document, const std::string& rowElement, int64_t& rows,
               std::string& error) {
  XmlReader reader;
  reader.OpenText(document);
  rows = 0;
  int16_t r;
  while ((r = reader.Read()) > 0) {
    if (reader.NodeType() == XmlReader::kElement && RTrim(reader.Name()) == rowElement) ++rows;
  }
  if (r < 0 || !reader.status().ok()) {
    error = OneLine(reader.status().text());
    return false;
  }
  return true;
}

// The line of one XML file the run reads: found, readable, well-formed, its rows.
CheckLine XmlFileLine(std::string id, std::string title, const PackageContent& content,
                      const std::string& rowElement) {
  if (!content.problem.empty()) return Problem(std::move(id), std::move(title), content.problem);
  int64_t rows = 0;
  std::string error;
  if (!CountRows(content.document, rowElement, rows, error)) {
    return Problem(std::move(id), std::move(title), "XML mal formado: " + error);
  }
  CheckLine line =
      Ok(std::move(id), std::move(title),
         GroupedNumber(rows) + " filas" +
             (content.packed ? "" : " (XML ya descomprimido por una corrida anterior)"));
  line.rows = rows;
  return line;
}

class StoreChecker {
 public:
  StoreChecker(Session& session, SOAPParm_mod& soap, bool noBackup)
      : session_(session), soap_(soap), noBackup_(noBackup) {}

  CheckResult Run() {
    CheckDsn();
    CheckDatabase();
    CheckSchema();
    CheckStoreKey();
    CheckPackages();
    CheckViewsFile();
    CheckRegistry();
    CheckLocations();
    CheckServices();
    CheckDiskSpace();
    CheckWayBack();
    return std::move(result_);
  }

 private:
  void Add(CheckLine line) { result_.lines.push_back(std::move(line)); }

  void CheckDsn() {
    std::error_code ec;
    dsnFound_ = std::filesystem::is_regular_file(NativePath(Session::kFileDsn), ec);
    if (!dsnFound_) return Add(Problem("dsn", "Kalu.dsn", "no existe en la carpeta de trabajo"));
    const std::optional<std::string> text = ReadSettingsText(NativePath(Session::kFileDsn));
    if (!text) return Add(Problem("dsn", "Kalu.dsn", "no se puede leer"));
    if (!HasSettingsSection(*text, "ODBC")) {
      return Add(Problem("dsn", "Kalu.dsn", "no tiene la sección [ODBC]"));
    }
    Add(Ok("dsn", "Kalu.dsn", "presente"));
  }

  // Connects as the program does, then makes the session read-only: the transaction the
  // connection opened and every later one.
  void CheckDatabase() {
    const char* title = "Base de datos";
    if (!dsnFound_) return Add(Problem("database", title, "sin Kalu.dsn"));
    try {
      session_.EnsureConnected();
      for (const char* sql :
           {"SET TRANSACTION READ ONLY", "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"}) {
        session_.Execute(kApp, sql);
      }
      connected_ = true;
      Add(Ok("database", title, "conectada con el usuario del sistema (solo lectura)"));
    } catch (const RuntimeError& e) {
      Add(Problem("database", title,
                  StoreMissingText(session_).value_or(OneLine(e.Description()))));
    }
  }

  // Runs `read` against the database and turns a database error into a problem line.
  template <typename Read>
  void WithDatabase(const char* id, const char* title, Read read) {
    if (!connected_) return Add(Problem(id, title, "sin conexión a la base de datos"));
    try {
      Add(read());
    } catch (const RuntimeError& e) {
      Add(Problem(id, title, OneLine(e.Description())));
    }
  }

  void CheckSchema() {
    WithDatabase("schema", "Versión de la base", [&] {
      Cursor table(session_, kApp, "KCHK01", kTableSql, CursorKind::Read);
      Cursor column(session_, kApp, "KCHK02", kColumnTypeSql, CursorKind::Read);
      std::vector<SchemaChange> facts;
      std::ranges::copy_if(SchemaChanges(), std::back_inserter(facts), &SchemaChange::LeavesFact);
      std::size_t inPlace = 0;
      for (const SchemaChange& fact : facts) {
        table.SetText(1, fact.table, kNameWidth);
        bool exists = table.FetchFirst();
        table.Close();
        bool created = std::ranges::any_of(facts, [&](const SchemaChange& f) {
          return std::string_view(f.table) == fact.table && f.CreatesTable();
        });
        if (!exists && !created) {
          return Problem("schema", "Versión de la base",
                         std::string("no es una base de tienda: falta la tabla ") + fact.table);
        }
        bool all = exists;
        for (std::string_view name : fact.Columns()) {
          if (!all) break;
          column.SetText(1, fact.table, kNameWidth).SetText(2, std::string(name), kNameWidth);
          all = column.FetchFirst() && (*fact.type == '\0' || Trim(column.Text(1)) == fact.type);
          column.Close();
        }
        if (all) ++inPlace;
      }
      std::string count = std::to_string(inPlace) + " de " + std::to_string(facts.size()) +
                          " cambios de esquema de la versión en su lugar";
      if (inPlace == facts.size())
        return Ok("schema", "Versión de la base", "ya en 24.03.20: " + count);
      if (inPlace == 0) return Ok("schema", "Versión de la base", "anterior a 24.03.20: " + count);
      return Ok("schema", "Versión de la base",
                "a medio actualizar (una corrida la termina): " + count);
    });
  }

  // The store key, read as the upgrade reads it: the last CONTROL row marked '*'.
  void CheckStoreKey() {
    WithDatabase("store_key", "Tienda en CONTROL", [&] {
      Cursor control(session_, kApp, "KCHK03", StoreKeyStatement(), CursorKind::Read);
      for (bool row = control.FetchFirst(); row; row = control.FetchNext()) {
        result_.store = StoreKey{control.Int16(4), control.Int16(3), control.Int16(2)};
      }
      control.Close();
      if (!result_.store) {
        return Problem("store_key", "Tienda en CONTROL", "ningún renglón activo ('*')");
      }
      return Ok("store_key", "Tienda en CONTROL",
                "región " + std::to_string(result_.store->region) + ", unidad " +
                    std::to_string(result_.store->unit) + ", almacén " +
                    std::to_string(result_.store->warehouse));
    });
  }

  void CheckPackages() {
    for (const PackageKind& kind : kPackages) {
      PackageContent content =
          ReadPackage(NativePath(std::string(kPackageFolder) + "\\" + kind.file));
      if (content.packed) inflateBytes_ += static_cast<uint64_t>(content.declaredSize);
      Add(XmlFileLine(std::string("package:") + kind.file, std::string("Paquete ") + kind.file,
                      content, kind.rowElement));
    }
  }

  // The step that re-creates the stored views reads SQLPG.XMZ of the working folder as it
  // is: plain XML.
  void CheckViewsFile() {
    PackageContent content = ReadPackage(NativePath(kViewsFile));
    if (content.packed) {
      content.problem = "está comprimido: copie aquí el XML descomprimido";
    }
    Add(XmlFileLine("views_file", std::string(kViewsFile) + " en la carpeta", content,
                    kViewsRowElement));
  }

  void CheckRegistry() {
    const char* title = "Registro del sistema";
    ZQRegAcc registry;
    const std::string file = registry.Where();
    if (Status status = registry.Check(); !status.ok()) {
      return Add(Problem("registry", title, status.text()));
    }
    std::string system =
        Trim(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema"));
    if (system.empty()) return Add(Problem("registry", title, "falta \"Sistema\" en " + file));
    std::string user = Trim(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\" + system +
                                                "\\Administracion\\UserLogin"));
    if (user.empty()) {
      return Add(Problem("registry", title, "falta \"UserLogin\" de " + system + " en " + file));
    }
    Add(Ok("registry", title, "sistema " + system + ", usuario " + user));
  }

  void CheckLocations() {
    const char* title = SOAPParm_mod::kLocationFile;
    std::error_code ec;
    if (!std::filesystem::exists(NativePath(SOAPParm_mod::kLocationFile), ec)) {
      return Add(Ok("location", title, "no existe: se usan las direcciones de fábrica"));
    }
    XmlReader reader;
    reader.Open(SOAPParm_mod::kLocationFile);
    int16_t r = reader.status().ok() ? 1 : -1;
    while (r > 0) r = reader.Read();
    if (r < 0 || !reader.status().ok()) {
      return Add(Problem("location", title, "XML mal formado: " + OneLine(reader.status().text())));
    }
    Add(Ok("location", title, "bien formado"));
  }

  // A GET of each service's address: any HTTP answer shows the service is there; only a
  // transport failure is a problem.
  void CheckServices() {
    struct Service {
      const char* id;
      const char* title;
      const SoapService& constants;
    };
    const Service services[] = {
        {"service:vehicles", "Servicio de vehículos", st2cartapor::kService},
        {"service:operators", "Servicio de operadores", st1cartapor::kService},
    };
    for (const Service& s : services) {
      HttpClient client;
      soap_.ConfigureHttpClient(s.constants.locationName, client);
      client.SetTimeout(kServiceCheckTimeout);
      const std::string url = client.UrlOf(s.constants.objectName);
      client.Execute("GET", s.constants.objectName);
      const std::string via = client.ProxyUsed().empty()
                                  ? "sin proxy"
                                  : "por el proxy " + ProxyShown(client.ProxyUsed());
      if (client.StatusCode() > 0) {
        Add(Ok(
            s.id, s.title,
            "responde (HTTP " + std::to_string(client.StatusCode()) + ") en " + url + " " + via));
      } else {
        Add(Problem(s.id, s.title,
                    "no responde en " + url + " " + via + ": " + client.status().text() + " (" +
                        std::to_string(client.status().code()) + ")"));
      }
    }
  }

  // Inflating writes each package's document beside it: room for the sum of their sizes.
  void CheckDiskSpace() {
    const char* title = "Espacio en disco";
    std::error_code ec;
    std::filesystem::path folder = NativePath(kPackageFolder);
    if (!std::filesystem::is_directory(folder, ec)) folder = ".";
    uint64_t available = 0;
    if (Status disk = FreeDiskBytes(TextOf(folder), available); !disk.ok()) {
      return Add(Problem("disk", title, "no se sabe el espacio libre: " + disk.text()));
    }
    std::string detail = "se necesitan " + MegabytesText(inflateBytes_) + ", hay " +
                         MegabytesText(available) + " libres";
    Add(available >= inflateBytes_ ? Ok("disk", title, detail) : Problem("disk", title, detail));
  }

  // The copy a run makes first, from the maintenance database; the check's own session is
  // not one of the sessions connected to the store.
  void CheckWayBack() {
    int32_t ownPid = 0;
    if (connected_) {
      try {
        Cursor pid(session_, kApp, "KCHK04", "SELECT pg_backend_pid()", CursorKind::Read);
        if (pid.FetchFirst()) ownPid = pid.Int32(1);
      } catch (const RuntimeError&) {
        connected_ = false;  // the session ended with the error; the lines below say why
      }
    }
    for (CheckLine& line : WayBackCheckLines(session_, ownPid, noBackup_, connected_)) {
      Add(std::move(line));
    }
  }

  Session& session_;
  SOAPParm_mod& soap_;
  bool noBackup_;
  CheckResult result_;
  bool dsnFound_ = false;
  bool connected_ = false;
  uint64_t inflateBytes_ = 0;
};

}  // namespace

bool CheckResult::AllOk() const {
  return std::all_of(lines.begin(), lines.end(), [](const CheckLine& l) { return l.ok; });
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\t', ' ');
  return Trim(text);
}

CheckResult CheckStore(Session& session, SOAPParm_mod& soap, bool noBackup) {
  return StoreChecker(session, soap, noBackup).Run();
}

void PrintCheckTable(std::FILE* out, const CheckResult& result) {
  std::size_t width = CharLength("Comprobación");
  for (const CheckLine& line : result.lines) width = std::max(width, CharLength(line.title));
  width += 2;
  auto status = [](const CheckLine& line) {
    return !line.ok ? "problema" : line.unchecked ? "sin comprobar" : "ok";
  };
  std::size_t statusWidth = CharLength("problema");
  for (const CheckLine& line : result.lines) {
    statusWidth = std::max(statusWidth, CharLength(status(line)));
  }
  statusWidth += 2;
  std::string table =
      PadRight("Comprobación", width) + PadRight("Estado", statusWidth) + "Detalle\n";
  for (const CheckLine& line : result.lines) {
    table += PadRight(line.title, width) + PadRight(status(line), statusWidth) + line.detail + "\n";
  }
  table += result.AllOk() ? "La tienda está lista para la actualización.\n"
                          : "La tienda NO está lista: corrija los problemas.\n";
  WriteText(out, table);
}

nlohmann::json CheckReport(const CheckResult& result, const std::string& folder,
                           const std::string& started, const std::string& ended) {
  nlohmann::json checks = nlohmann::json::array();
  for (const CheckLine& line : result.lines) {
    nlohmann::json item = {{"id", line.id},
                           {"title", line.title},
                           {"status", line.ok ? "ok" : "problem"},
                           {"detail", line.detail}};
    if (line.rows) item["rows"] = *line.rows;
    checks.push_back(std::move(item));
  }
  return {{"report", "check"},
          {"program", "kalu-upgrade"},
          {"version", KALU_VERSION},
          {"folder", folder},
          {"started", started},
          {"ended", ended},
          {"ok", result.AllOk()},
          {"exit_status", result.AllOk() ? 0 : 1},
          {"store", StoreKeyJson(result.store)},
          {"checks", std::move(checks)}};
}

std::string MegabytesText(uint64_t bytes) {
  return GroupedNumber(static_cast<int64_t>((bytes + (1u << 20) - 1) >> 20)) + " MB";
}

}  // namespace kalu
