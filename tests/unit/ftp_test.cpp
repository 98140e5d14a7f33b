#include "platform/ftp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "packages/package_format.h"
#include "packages/pftpgetxmz.h"
#include "packages/pfunciones_mod.h"
#include "platform/xml.h"
#include "runtime/convert.h"
#include "support/test_support.h"

extern char** environ;

namespace kalu {
namespace {

namespace fs = std::filesystem;

const std::string kDownloadFailed = "Error: No se pudo completar la descarga, intente mas tarde";

// The FTP server of the tests: Debian's pyftpdlib on a free loopback port with the
// account kalucon, or ("silent") a socket that accepts connections and never answers.
const char* const kServerScript = R"PY(
import os, socket, sys
mode, home, password, portfile = sys.argv[1:5]

def tell(port):
    with open(portfile + '.tmp', 'w') as f:
        f.write(str(port))
    os.rename(portfile + '.tmp', portfile)

if mode == 'silent':
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    s.listen(8)
    tell(s.getsockname()[1])
    held = []
    while True:
        held.append(s.accept()[0])
else:
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    authorizer = DummyAuthorizer()
    authorizer.add_user('kalucon', password, home, perm='elr')
    FTPHandler.authorizer = authorizer
    server = FTPServer(('127.0.0.1', 0), FTPHandler)
    tell(server.address[1])
    server.serve_forever()
)PY";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string Python() {
  return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

class FtpServer {
 public:
  // `mode` "ftp" or "silent"; the account's password is `password`.
  explicit FtpServer(const std::string& mode, const std::string& password = "t29r$dun")
      : dir_(fs::temp_directory_path() /
             ("kalu-ftp-" + std::to_string(getpid()) + "-" + std::to_string(++counter_))) {
    fs::create_directories(dir_ / "home");
    WriteFile(dir_ / "server.py", kServerScript);
    const std::string python = Python();
    const std::string script = (dir_ / "server.py").string();
    const std::string home = (dir_ / "home").string();
    const std::string portFile = (dir_ / "port").string();
    const std::string log = (dir_ / "server.log").string();
    std::vector<char*> argv = {const_cast<char*>(python.c_str()),
                               const_cast<char*>(script.c_str()),
                               const_cast<char*>(mode.c_str()),
                               const_cast<char*>(home.c_str()),
                               const_cast<char*>(password.c_str()),
                               const_cast<char*>(portFile.c_str()),
                               nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawnp(&pid_, python.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 200 && pid_ > 0 && !fs::exists(portFile); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (fs::exists(portFile)) port_ = std::stoi(ReadFile(portFile));
  }
  ~FtpServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  bool Running() const { return port_ > 0; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  void Put(const std::string& name, const std::string& content) const {
    WriteFile(dir_ / "home" / name, content);
  }
  std::string Log() const { return ReadFile(dir_ / "server.log"); }

 private:
  static inline int counter_ = 0;
  fs::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A loopback address where nothing listens.
std::string DeadAddress() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

std::string Preferences(const std::string& server) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<PREFERENCIAS>\n"
         "  <WEBSERVICE1><WEBSERVER>otro.servidor</WEBSERVER></WEBSERVICE1>\n"
         "  <WEBSERVICE2>\n    <PUERTO>80</PUERTO>\n    <WEBSERVER>  " +
         server + "  </WEBSERVER>\n  </WEBSERVICE2>\n</PREFERENCIAS>\n";
}

const std::string kDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><DATOS><TABLA>Códigos</TABLA></DATOS>";

std::string Package() {
  auto bytes = PackDocument(kDocument);
  return std::string(bytes.begin(), bytes.end());
}

struct Download {
  std::string folder;
  bool arrived = false;
};

Download RunDownload(test::TestContext& ctx, const std::string& file = "DATOS.XMZ",
                     const std::string& folder = ".\\Importar", long boundSeconds = 30) {
  PFTPGETXMZ procedure(*ctx);
  procedure.ftpLimits = FtpLimits{boundSeconds, boundSeconds, boundSeconds};
  Download d;
  d.folder = folder;
  d.arrived = procedure.Run(file, d.folder);
  return d;
}

TEST(PackageDownload, ExistingPackageIsDownloadedAndInflated) {
  FtpServer server("ftp");
  ASSERT_TRUE(server.Running()) << server.Log();
  server.Put("DATOS.XMZ", Package());
  test::WorkFolder folder;
  folder.Write("PREFERENCIAS.XML", Preferences(server.Address()));
  folder.Write("Importar/DATOS.XMZ", "an older package that the download replaces");
  test::TestContext ctx;

  Download d = RunDownload(ctx);

  EXPECT_TRUE(d.arrived);
  EXPECT_EQ(d.folder, ".\\Importar\\");
  EXPECT_EQ(ReadFile(folder.Path() / "Importar/DATOS.XMZ"), kDocument);
  EXPECT_TRUE(ctx.display.messages.empty());
  ASSERT_FALSE(ctx.display.progress.empty());
  EXPECT_EQ(ctx.display.progress.front(), "Descargando Archivo..");
  EXPECT_EQ(ctx.display.LastProgress(), "Archivo descargado..");
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(folder.Path() / "Importar"), {}).size(),
            1u);
}

TEST(PackageDownload, FailuresGiveTheMessageAndAFalseFlag) {
  FtpServer server("ftp");
  ASSERT_TRUE(server.Running()) << server.Log();
  FtpServer otherPassword("ftp", "otra-clave");
  ASSERT_TRUE(otherPassword.Running()) << otherPassword.Log();
  server.Put("DATOS.XMZ", Package());
  otherPassword.Put("DATOS.XMZ", Package());
  struct Case {
    const char* what;
    std::string server;
    std::string file;
  };
  const std::vector<Case> cases = {
      {"file missing on the server", server.Address(), "SQLPG.XMZ"},
      {"login refused", otherPassword.Address(), "DATOS.XMZ"},
      {"server not running", DeadAddress(), "DATOS.XMZ"},
      {"no server named", "", "DATOS.XMZ"},
  };
  for (const auto& c : cases) {
    test::WorkFolder folder;
    folder.Write("PREFERENCIAS.XML", Preferences(c.server));
    folder.Write("Importar/" + c.file, "former content");
    test::TestContext ctx;
    Download d = RunDownload(ctx, c.file);
    EXPECT_FALSE(d.arrived) << c.what;
    EXPECT_EQ(ctx.display.messages, std::vector<std::string>{kDownloadFailed}) << c.what;
    EXPECT_EQ(ctx.display.LastProgress(), "") << c.what;
    EXPECT_EQ(ReadFile(folder.Path() / "Importar" / c.file), "former content") << c.what;
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(folder.Path() / "Importar"), {}).size(),
              1u)
        << c.what << ": no partial file is left";
  }
}

TEST(PackageDownload, SilentServerFailsWithinTheBound) {
  FtpServer server("silent");
  ASSERT_TRUE(server.Running()) << server.Log();
  test::WorkFolder folder;
  folder.Write("PREFERENCIAS.XML", Preferences(server.Address()));
  fs::create_directories(folder.Path() / "Importar");
  test::TestContext ctx;
  auto start = std::chrono::steady_clock::now();
  Download d = RunDownload(ctx, "DATOS.XMZ", ".\\Importar", 2);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(d.arrived);
  EXPECT_EQ(ctx.display.messages, std::vector<std::string>{kDownloadFailed});
  EXPECT_LT(seconds, 20.0);  // the bound is 2 s; hanging would never come back
  EXPECT_FALSE(fs::exists(folder.Path() / "Importar/DATOS.XMZ"));
}

TEST(PackageDownload, FtpClientReportsWhyATransferFailed) {
  FtpServer server("ftp");
  ASSERT_TRUE(server.Running()) << server.Log();
  server.Put("CATCOLONIAS.XMZ", Package());
  test::WorkFolder folder;
  // The client connects directly: a proxy named in the environment is not used.
  const std::string deadProxy = "http://" + DeadAddress();
  setenv("ftp_proxy", deadProxy.c_str(), 1);
  setenv("all_proxy", deadProxy.c_str(), 1);
  struct Unset {
    ~Unset() {
      unsetenv("ftp_proxy");
      unsetenv("all_proxy");
    }
  } unset;
  FtpInternet internet("MyFTP Control", FtpLimits{5, 5, 5});
  FtpConnection connection(internet, server.Address(), "kalucon", "t29r$dun");
  EXPECT_TRUE(connection.Download("CATCOLONIAS.XMZ", folder.Path() / "c.xmz", kFtpTransferBinary));
  EXPECT_EQ(ReadFile(folder.Path() / "c.xmz"), Package()) << "binary transfer keeps every byte";
  EXPECT_EQ(connection.LastError(), "");
  EXPECT_FALSE(connection.Download("NADA.XMZ", folder.Path() / "n.xmz", kFtpTransferBinary));
  EXPECT_FALSE(connection.LastError().empty());
  EXPECT_FALSE(fs::exists(folder.Path() / "n.xmz"));
}

TEST(PackageDownload, DestinationFolderRule) {
  // Nothing listens, so each download fails at once; the folder text is what is looked at.
  struct Case {
    const char* given;
    const char* result;
  };
  for (const Case& c :
       {Case{".\\Importar", ".\\Importar\\"}, Case{".\\Importar\\", ".\\Importar\\"},
        Case{"  .\\Importar  ", ".\\Importar\\"},
        Case{"\\\\servidor\\paquetes", "\\servidor\\paquetes\\"},
        Case{"C:\\Kalu\\\\Importar", "C:\\Kalu\\Importar\\"}}) {
    test::WorkFolder folder;
    folder.Write("PREFERENCIAS.XML", Preferences(DeadAddress()));
    test::TestContext ctx;
    Download d = RunDownload(ctx, "DATOS.XMZ", c.given);
    EXPECT_EQ(d.folder, c.result) << c.given;
    EXPECT_FALSE(d.arrived) << c.given;
  }
}

TEST(PackageDownload, MissingPreferencesGiveTheReaderErrorAndNoServer) {
  test::WorkFolder folder;
  fs::create_directories(folder.Path() / "Importar");
  test::TestContext ctx;
  Download d = RunDownload(ctx);
  EXPECT_FALSE(d.arrived);
  // "Error:" + the reader's code right-aligned in ten characters + " " + its description,
  // then the download fails for want of a server.
  XmlReader reader;
  reader.Open("PREFERENCIAS.XML");
  ASSERT_GE(reader.ErrCode(), 1);
  EXPECT_NE(reader.ErrDescription().find("PREFERENCIAS.XML"), std::string::npos);
  EXPECT_EQ(ctx.display.messages,
            (std::vector<std::string>{
                "Error:" + NumberToText(reader.ErrCode(), 10, 0) + " " + reader.ErrDescription(),
                kDownloadFailed}));
}

TEST(Preferences, SectionRules) {
  struct Case {
    const char* what;
    std::string document;
    std::string value;
    bool message;
  };
  const std::vector<Case> cases = {
      {"item of the section", Preferences("ftp.kalu.com.mx"), "  ftp.kalu.com.mx  ", false},
      {"item outside the first matching section is not returned",
       "<P><WEBSERVICE2><PUERTO>1</PUERTO></WEBSERVICE2><WEBSERVER>fuera</WEBSERVER>"
       "<WEBSERVICE2><WEBSERVER>segunda</WEBSERVER></WEBSERVICE2></P>",
       "", false},
      {"section without the item", "<P><WEBSERVICE2><PUERTO>1</PUERTO></WEBSERVICE2></P>", "",
       false},
      {"empty section", "<P><WEBSERVICE2/><WEBSERVER>fuera</WEBSERVER></P>", "", false},
      {"section with text only", "<P><WEBSERVICE2> </WEBSERVICE2><WEBSERVER>fuera</WEBSERVER></P>",
       "", false},
      {"no such section", "<P><WEBSERVICE1><WEBSERVER>x</WEBSERVER></WEBSERVICE1></P>", "", false},
      {"first item wins",
       "<P><WEBSERVICE2><WEBSERVER>a</WEBSERVER><WEBSERVER>b</WEBSERVER>"
       "</WEBSERVICE2></P>",
       "a", false},
      {"not well-formed", "<P><WEBSERVICE2><WEBSERVER>a</WEBSERVICE2></P>", "", true},
  };
  for (const auto& c : cases) {
    test::WorkFolder folder;
    folder.Write("PREFERENCIAS.XML", c.document);
    test::TestContext ctx;
    EXPECT_EQ(POBTPREFS(*ctx).Run("PREFERENCIAS.XML", "WEBSERVICE2", "WEBSERVER"), c.value)
        << c.what;
    EXPECT_EQ(ctx.display.messages.size(), c.message ? 1u : 0u) << c.what;
    if (c.message && !ctx.display.messages.empty()) {
      EXPECT_EQ(ctx.display.messages[0].rfind("Error:", 0), 0u) << ctx.display.messages[0];
    }
  }
}

}  // namespace
}  // namespace kalu
