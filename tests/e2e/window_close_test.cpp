// The program's window under a virtual X display (Xvfb). The operator closes the main
// window in the middle of the run: the test closes it the way a window manager's close
// button does (a WM_DELETE_WINDOW message) while the tax bases are being recomputed, and
// the process ends at once with exit status 3, the log saying so, and the database
// holding only what was committed before. And pictures of the window for a person to see:
// the steps during a long step (large catalogues) and at the end. The same for the Windows
// build's native window under Wine, when KALU_WINDOWS_PROGRAM names its kalu-upgrade.exe.

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gen/sandbox.h"
#include "support/sample_store.h"
#include "support/standin.h"
#include "support/test_support.h"

// Xlib last: it defines macros such as None, Bool and Status.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace kalu {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kCaption = "Actualizacion Versión 24.03.20";

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A child process; killed and reaped if it still runs when the object goes.
class ChildProcess {
 public:
  // Starts `argv` with `env` added to the environment, standard input from /dev/null and
  // standard output and error into `outputFile` (or /dev/null). `keepFd`, when not -1,
  // stays open in the child.
  ChildProcess(const std::vector<std::string>& argv,
               const std::vector<std::pair<std::string, std::string>>& env,
               const std::string& outputFile = "/dev/null", int keepFd = -1) {
    pid_ = fork();
    if (pid_ != 0) return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the test
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    int in = open("/dev/null", O_RDONLY);
    int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  ~ChildProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The wait status once the process has ended, waiting up to `timeout` for it.
  std::optional<int> Wait(Clock::duration timeout) {
    Clock::time_point deadline = Clock::now() + timeout;
    while (!status_) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
      } else if (Clock::now() >= deadline) {
        break;
      } else {
        std::this_thread::sleep_for(5ms);
      }
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// A virtual X display of its own: Xvfb picks a free display number and says it when ready.
class VirtualDisplay {
 public:
  VirtualDisplay() : ready_(MakePipe()) {
    server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(ready_.second),
                                             "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
                    std::vector<std::pair<std::string, std::string>>{},
                    (test::BinaryDir() / "xvfb.log").string(), ready_.second);
    close(ready_.second);
    std::string number;
    pollfd wait{ready_.first, POLLIN, 0};
    char c = 0;
    while (poll(&wait, 1, 10000) == 1 && read(ready_.first, &c, 1) == 1 && c != '\n') {
      number += c;
    }
    close(ready_.first);
    if (!number.empty()) name_ = ":" + number;
  }
  // ":N", or empty when the server did not start.
  const std::string& Name() const { return name_; }

 private:
  static std::pair<int, int> MakePipe() {
    int fds[2] = {-1, -1};
    if (pipe(fds) != 0) return {-1, -1};
    return {fds[0], fds[1]};
  }
  std::pair<int, int> ready_;
  std::optional<ChildProcess> server_;
  std::string name_;
};

// The few Xlib calls the test needs, loaded at run time (the test links no X library).
class XClient {
 public:
  explicit XClient(const std::string& display) {
    lib_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!lib_) return;
    open_ = Load<decltype(&XOpenDisplay)>("XOpenDisplay");
    close_ = Load<decltype(&XCloseDisplay)>("XCloseDisplay");
    root_ = Load<decltype(&XDefaultRootWindow)>("XDefaultRootWindow");
    tree_ = Load<decltype(&XQueryTree)>("XQueryTree");
    property_ = Load<decltype(&XGetWindowProperty)>("XGetWindowProperty");
    attributes_ = Load<decltype(&XGetWindowAttributes)>("XGetWindowAttributes");
    atom_ = Load<decltype(&XInternAtom)>("XInternAtom");
    send_ = Load<decltype(&XSendEvent)>("XSendEvent");
    flush_ = Load<decltype(&XFlush)>("XFlush");
    free_ = Load<decltype(&XFree)>("XFree");
    select_ = Load<decltype(&XSelectInput)>("XSelectInput");
    pending_ = Load<decltype(&XPending)>("XPending");
    next_ = Load<decltype(&XNextEvent)>("XNextEvent");
    fd_ = Load<decltype(&XConnectionNumber)>("XConnectionNumber");
    // A window can vanish between listing it and asking about it (the program's probe, a
    // message box): such errors are expected, and Xlib's default handler would end the test.
    if (auto setHandler = Load<decltype(&XSetErrorHandler)>("XSetErrorHandler")) {
      setHandler([](::Display*, XErrorEvent*) { return 0; });
    }
    if (open_) dpy_ = open_(display.c_str());
  }
  ~XClient() {
    if (dpy_) close_(dpy_);
    if (lib_) dlclose(lib_);
  }
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  bool Connected() const { return dpy_ != nullptr; }

  // The mapped top-level window whose title is `title`, or 0.
  Window FindWindow(const std::string& title) {
    Window root = root_(dpy_), parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!tree_(dpy_, root, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
      XWindowAttributes attrs{};
      if (attributes_(dpy_, children[i], &attrs) && attrs.map_state == IsViewable &&
          Title(children[i]) == title) {
        found = children[i];
      }
    }
    if (children) free_(children);
    return found;
  }

  // What a window manager's close button sends: WM_PROTOCOLS with WM_DELETE_WINDOW.
  void RequestClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom_(dpy_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom_(dpy_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    send_(dpy_, window, False, NoEventMask, &event);
    flush_(dpy_);
  }

  // Whether the window's thread answers a window manager's ping (_NET_WM_PING, which the
  // toolkit sends back to the root window when its thread handles it) within `timeout`.
  bool AnswersPing(Window window, std::chrono::milliseconds timeout) {
    const Window root = root_(dpy_);
    select_(dpy_, root, SubstructureNotifyMask);
    const Atom ping = atom_(dpy_, "_NET_WM_PING", False);
    const long stamp = ++pings_;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom_(dpy_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(ping);
    event.xclient.data.l[1] = stamp;
    event.xclient.data.l[2] = static_cast<long>(window);
    send_(dpy_, window, False, NoEventMask, &event);
    flush_(dpy_);
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
      while (pending_(dpy_) > 0) {
        XEvent answer{};
        next_(dpy_, &answer);
        if (answer.type == ClientMessage && answer.xclient.window == root &&
            static_cast<Atom>(answer.xclient.data.l[0]) == ping &&
            answer.xclient.data.l[1] == stamp) {
          return true;
        }
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd wait{fd_(dpy_), POLLIN, 0};
      poll(&wait, 1, static_cast<int>(left.count()));
    }
  }

 private:
  template <typename F>
  F Load(const char* name) {
    return reinterpret_cast<F>(dlsym(lib_, name));
  }

  std::string Title(Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (property_(dpy_, window, atom_(dpy_, "_NET_WM_NAME", False), 0, 1024, False, AnyPropertyType,
                  &type, &format, &items, &after, &data) == Success &&
        data) {
      title.assign(reinterpret_cast<char*>(data), items);
      free_(data);
    }
    return title;
  }

  void* lib_ = nullptr;
  ::Display* dpy_ = nullptr;
  decltype(&XOpenDisplay) open_ = nullptr;
  decltype(&XCloseDisplay) close_ = nullptr;
  decltype(&XDefaultRootWindow) root_ = nullptr;
  decltype(&XQueryTree) tree_ = nullptr;
  decltype(&XGetWindowProperty) property_ = nullptr;
  decltype(&XGetWindowAttributes) attributes_ = nullptr;
  decltype(&XInternAtom) atom_ = nullptr;
  decltype(&XSendEvent) send_ = nullptr;
  decltype(&XFlush) flush_ = nullptr;
  decltype(&XFree) free_ = nullptr;
  decltype(&XSelectInput) select_ = nullptr;
  decltype(&XPending) pending_ = nullptr;
  decltype(&XNextEvent) next_ = nullptr;
  decltype(&XConnectionNumber) fd_ = nullptr;
  long pings_ = 0;
};

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits until `pred` holds, up to `timeout`.
template <typename Pred>
bool WaitFor(Pred pred, Clock::duration timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  while (!pred()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// The program of a test and what it needs to reach the store and show its window on the
// virtual display.
struct Program {
  std::vector<std::string> command;  // the program, and what runs it
  std::vector<std::pair<std::string, std::string>> env;
  std::string pictures;  // the prefix of its pictures' names
};

Program LinuxProgram(const std::string& display) {
  return {
      {(test::BinaryDir() / "kalu-upgrade").string()},
      {{"DISPLAY", display},
       {"QT_QPA_PLATFORM", "xcb"},
       {"LSAN_OPTIONS",
        "suppressions=" + (test::SourceDir() / "tests/support/lsan-suppressions.txt").string()}},
      "window-"};
}

// The Windows build's program (KALU_WINDOWS_PROGRAM) under Wine, in a Wine prefix beside it
// whose windows go to the X display (scripts/wine-run with KALU_WINE_GRAPHICS=x11): the
// store's registry imported there, Kalu.dsn on TCP 127.0.0.1 (a sandbox started with
// KALU_PG_TCP=1). Empty when no Windows build is named.
std::optional<Program> WindowsProgram(const std::string& display) {
  const char* exe = std::getenv("KALU_WINDOWS_PROGRAM");
  if (!exe || !*exe) return std::nullopt;
  const std::filesystem::path program = exe;
  const std::string wineRun = (test::SourceDir() / "scripts" / "wine-run").string();
  Program windows{{wineRun, program.string()},
                  {{"DISPLAY", display},
                   {"WINEPREFIX", (program.parent_path() / "wine-x11").string()},
                   {"KALU_WINE_GRAPHICS", "x11"}},
                  "window-win32-"};
  // The prefix's desktop of an earlier test drew on a display that is gone.
  ChildProcess({"wineserver", "-k"}, windows.env).Wait(30s);
  std::ofstream("Kalu.dsn") << "[ODBC]\nServername=127.0.0.1\nPort="
                            << gen::Sandbox::In(test::SandboxDir()).port << "\n";
  std::optional<int> imported =
      ChildProcess({wineRun, "reg", "import", "registry.reg"}, windows.env).Wait(120s);
  if (!imported || !WIFEXITED(*imported) || WEXITSTATUS(*imported) != 0) return std::nullopt;
  return windows;
}

// Enough open invoices of the store (12, 1, 5) that recomputing their tax bases takes a
// while: each with its document and three lines.
void AddInvoices(const test::TestDatabase& db, int count) {
  std::string n = std::to_string(count);
  db.Exec(
      "INSERT INTO documentos (regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, "
      "cancve, ctecve, dockey, docseriefiscal) SELECT 12, 1, 5, 100000 + i, 51 + i % 2, i, "
      "date '2024-01-01' + (i % 60), 7, 1, '', 'CIE' FROM generate_series(1, " +
      n +
      ") i;"
      "INSERT INTO docdeta (regcve, unicve, almcve, docord, docren, doccansur, docpagar, "
      "docimpiva, docimpieps, docbasiva, docbasieps) SELECT 12, 1, 5, 100000 + i, r, r - 1, "
      "116, 16, 8, 100, 100 FROM generate_series(1, " +
      n +
      ") i, generate_series(1, 3) r;"
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, envioserie, "
      "enviofolio) SELECT 12, 1, 5, 100000 + i, 51 + i % 2, 'CIE', i FROM generate_series(1, " +
      n +
      ") i;"
      "ANALYZE documentos; ANALYZE docdeta; ANALYZE enviocfdi;");
}

// The store and the screen of a test: a working folder with the sample store, its
// database, and a virtual display with a client that sees its windows.
struct Scene {
  test::WorkFolder folder;
  test::TestDatabase db{"kalu"};
  test::SampleStore store;
  VirtualDisplay screen;
};

// Gives `body` the scene of a test of the Windows build's window under Wine; skipped when no
// Windows build is named or Xvfb is missing.
void UnderWine(void (*body)(Scene&, const Program&)) {
  if (!std::getenv("KALU_WINDOWS_PROGRAM")) GTEST_SKIP() << "no Windows build named";
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/setup installs it)";
  Scene scene;
  ASSERT_FALSE(scene.screen.Name().empty()) << "Xvfb did not start; see xvfb.log";
  std::optional<Program> windows = WindowsProgram(scene.screen.Name());
  ASSERT_TRUE(windows.has_value()) << "the store's registry could not be imported into Wine";
  body(scene, *windows);
}

// The operator closes the window of `program` while the tax bases are recomputed.
void CloseDuringTheTaxBases(Scene& scene, const Program& program) {
  test::WorkFolder& folder = scene.folder;
  test::TestDatabase& db = scene.db;
  constexpr int kInvoices = 100000;
  AddInvoices(db, kInvoices);
  XClient x(scene.screen.Name());
  ASSERT_TRUE(x.Connected()) << "cannot reach " << scene.screen.Name();

  const std::filesystem::path log = folder.Path() / "kalu-upgrade.log";
  const std::filesystem::path reportFile = folder.Path() / "informe.json";
  std::vector<std::string> command = program.command;
  command.insert(command.end(), {"--report", "informe.json"});
  std::vector<std::pair<std::string, std::string>> env = program.env;
  env.emplace_back("KALU_MESSAGE_TIMEOUT_MS", "200");
  ChildProcess run(command, env, (folder.Path() / "output.txt").string());

  // A real window with the program's caption appears.
  Window window = 0;
  ASSERT_TRUE(WaitFor([&] { return (window = x.FindWindow(kCaption)) != 0; }, 20s))
      << "no window titled \"" << kCaption << "\"\n"
      << ReadFile(folder.Path() / "output.txt");

  // The operator closes it while the last phase recomputes the tax bases, once it shows
  // the rows it reached.
  ASSERT_TRUE(WaitFor(
      [&] {
        std::string text = ReadFile(log);
        size_t start = text.find("U1315S1: inicio");
        return (start != std::string::npos &&
                text.find("Actualizando Documento Serie: CIE", start) != std::string::npos) ||
               run.Wait(0s).has_value();
      },
      120s));
  ASSERT_FALSE(run.Wait(0s).has_value()) << "the run ended before the close\n" << ReadFile(log);
  if (OnPath("import")) {
    // A picture of the screen with the progress of the recalculation, for a person to see.
    std::string picture =
        (test::BinaryDir() / ("xvfb-" + program.pictures + "closing.png")).string();
    std::string command = "import -display " + scene.screen.Name() + " -window root " + picture;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
  x.RequestClose(window);
  std::optional<int> status = run.Wait(1s);

  ASSERT_TRUE(status.has_value()) << "the program was still running a second after the close";
  ASSERT_TRUE(WIFEXITED(*status)) << "wait status " << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 3) << ReadFile(log);

  std::string logText = ReadFile(log);
  EXPECT_NE(logText.find("Fin: el operador cerró la ventana (estado 3)"), std::string::npos)
      << logText;
  EXPECT_EQ(logText.find("U1315S1: terminado"), std::string::npos)
      << "the recalculation ended before the close came; the test needs more invoices\n"
      << logText;
  EXPECT_EQ(logText.find("Terminada"), std::string::npos) << logText;

  // The report says the run was closed in the middle of the tax bases.
  EXPECT_EQ(test::JsonSchemaProblems("run-report.schema.json", reportFile), "");
  auto report = nlohmann::json::parse(ReadFile(reportFile));
  EXPECT_EQ(report["exit_status"], 3);
  EXPECT_EQ(report["steps"][10]["status"], "failed");
  EXPECT_EQ(report["steps"][10]["error"], "El operador cerró la ventana");
  EXPECT_EQ(report["steps"][9]["status"], "done");

  // What was committed before stays: the release's new table and the re-created view. The
  // recalculation commits batch by batch in EnvioOrd order: the rows of the batches
  // committed before the close have their new bases, the others none; and the program's
  // connection is gone.
  EXPECT_EQ(db.Value("SELECT count(*) FROM information_schema.tables "
                     "WHERE table_name IN ('enviocfdi11', 'edoctafolios_view')"),
            "2");
  EXPECT_EQ(db.Value("SELECT count(*), count(*) FILTER (WHERE (enviobasiva, enviobasieps) <> "
                     "(200, 200)), coalesce(max(envioord) FILTER (WHERE enviobasiva IS NOT "
                     "NULL), 0) < min(envioord) FILTER (WHERE enviobasiva IS NULL) FROM enviocfdi "
                     "WHERE envioserie = 'CIE'"),
            std::to_string(kInvoices) + "|0|t");
  EXPECT_TRUE(WaitFor(
      [&] {
        return db.Value(
                   "SELECT count(*) FROM pg_stat_activity WHERE datname = 'kalu' "
                   "AND pid <> pg_backend_pid()") == "0";
      },
      5s));
}

// The window of `program` answers within a second all through a run whose central services
// answer each call 12 s late: the run waits on a thread of its own. The probe is a window
// manager's ping, which Wine's windows answer from the window's thread (Qt's need a window
// manager for it: tests/qt probes the Qt window from its own event loop instead).
void AnswersWhileTheServicesAreSlow(Scene& scene, const Program& program) {
  test::ServicesStandIn services(scene.folder.Path() / "standin",
                                 R"({"vehicles": [], "operators": [], )"
                                 R"("mode": {"kind": "delay", "seconds": 12}})");
  ASSERT_NE(services.Port(), 0);
  services.WriteLocationFile(scene.folder.Path(), "<timeout>60</timeout>");
  XClient x(scene.screen.Name());
  ASSERT_TRUE(x.Connected()) << "cannot reach " << scene.screen.Name();
  const std::filesystem::path log = scene.folder.Path() / "kalu-upgrade.log";
  std::vector<std::pair<std::string, std::string>> env = program.env;
  env.emplace_back("KALU_MESSAGE_TIMEOUT_MS", "200");
  ChildProcess run(program.command, env, (scene.folder.Path() / "output.txt").string());

  Window window = 0;
  ASSERT_TRUE(WaitFor([&] { return (window = x.FindWindow(kCaption)) != 0; }, 60s))
      << ReadFile(scene.folder.Path() / "output.txt");
  int pings = 0, unanswered = 0, duringServices = 0;
  while (!run.Wait(0s).has_value()) {
    const bool waiting =
        services.Requested() && ReadFile(log).find("PACTUALIZASAT: terminado") == std::string::npos;
    if ((window = x.FindWindow(kCaption)) == 0) break;  // hidden at the end of the run
    ++pings;
    if (!x.AnswersPing(window, 1s)) ++unanswered;
    if (waiting) ++duringServices;
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_EQ(unanswered, 0) << "of " << pings << " pings";
  EXPECT_GE(duringServices, 20) << "pings while the services were answering";
  std::optional<int> status = run.Wait(120s);
  ASSERT_TRUE(status.has_value());
  ASSERT_TRUE(WIFEXITED(*status)) << "wait status " << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 0) << ReadFile(log);
}

TEST(WindowCloseTest, TheWindowsBuildsWindowAnswersWhileTheServicesTakeTwelveSeconds) {
  UnderWine(AnswersWhileTheServicesAreSlow);
}

TEST(WindowCloseTest, ClosingTheWindowDuringTheRunEndsItWithStatus3AndOnlyCommittedWork) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/setup installs it)";
  ASSERT_TRUE(std::filesystem::exists(test::BinaryDir() / "kalu-upgrade"));
  Scene scene;
  ASSERT_FALSE(scene.screen.Name().empty()) << "Xvfb did not start; see xvfb.log";
  CloseDuringTheTaxBases(scene, LinuxProgram(scene.screen.Name()));
}

TEST(WindowCloseTest, ClosingTheWindowsBuildsWindowUnderWineEndsTheRunAsOnLinux) {
  UnderWine(CloseDuringTheTaxBases);
}

// Takes a picture of the whole virtual screen into the build folder's `xvfb-pictures`.
void TakePicture(const std::string& display, const std::string& name) {
  std::filesystem::path folder = test::BinaryDir() / "xvfb-pictures";
  std::filesystem::create_directories(folder);
  std::string command = "import -display " + display + " -window root " + (folder / name).string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_GT(std::filesystem::file_size(folder / name), 0u) << name;
}

// Pictures of the window of `program` during the load of a large postal code catalogue and
// at the end, with the summary and the closing message.
void PicturesOfALongStepAndTheEnd(Scene& scene, const Program& program) {
  const std::filesystem::path generator = test::BinaryDir() / "catalog_gen";
  ASSERT_TRUE(std::filesystem::exists(generator)) << generator;
  test::WorkFolder& folder = scene.folder;
  // Large catalogues in place of the sample's, so that their load takes a while (as many
  // postal codes as the country has).
  std::string generate = generator.string() + " --postal-codes 95000 --colonies 10000 --pack " +
                         (folder.Path() / "Importar").string() + " >/dev/null";
  ASSERT_EQ(std::system(generate.c_str()), 0) << generate;

  const std::filesystem::path log = folder.Path() / "kalu-upgrade.log";
  std::vector<std::pair<std::string, std::string>> env = program.env;
  env.emplace_back("KALU_MESSAGE_TIMEOUT_MS", "3000");
  ChildProcess run(program.command, env, (folder.Path() / "output.txt").string());

  // Well inside the load of the postal codes: the package is read a good part of the way.
  ASSERT_TRUE(WaitFor(
      [&] {
        return ReadFile(log).find("PCARGACP_SAT: inicio") != std::string::npos ||
               run.Wait(0s).has_value();
      },
      300s));
  ASSERT_FALSE(run.Wait(0s).has_value()) << ReadFile(log);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(ReadFile(log).find("PCARGACP_SAT: terminado"), std::string::npos)
      << "the load ended before the picture; the test needs a bigger catalogue";
  TakePicture(scene.screen.Name(), program.pictures + "during-step.png");

  // The closing message stands over the steps, all done, and the run's summary.
  ASSERT_TRUE(WaitFor(
      [&] {
        return ReadFile(log).find("Mensaje: Reorganización Versión ZIDEVURO 24.03.20 Terminada") !=
                   std::string::npos ||
               run.Wait(0s).has_value();
      },
      600s));
  std::this_thread::sleep_for(1s);
  TakePicture(scene.screen.Name(), program.pictures + "at-end.png");

  std::optional<int> status = run.Wait(60s);
  ASSERT_TRUE(status.has_value());
  ASSERT_TRUE(WIFEXITED(*status)) << "wait status " << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 0) << ReadFile(folder.Path() / "output.txt");
}

TEST(WindowPictures, TheStepsDuringTheLoadOfALargePostalCodeCatalogueAndAtTheEnd) {
  if (!OnPath("Xvfb") || !OnPath("import")) {
    GTEST_SKIP() << "Xvfb and ImageMagick's import are needed (scripts/setup installs them)";
  }
  ASSERT_TRUE(std::filesystem::exists(test::BinaryDir() / "kalu-upgrade"));
  Scene scene;
  ASSERT_FALSE(scene.screen.Name().empty()) << "Xvfb did not start; see xvfb.log";
  PicturesOfALongStepAndTheEnd(scene, LinuxProgram(scene.screen.Name()));
}

TEST(WindowPictures, TheWindowsBuildsWindowUnderWineDuringALongStepAndAtTheEnd) {
  if (!OnPath("import")) {
    GTEST_SKIP() << "ImageMagick's import is needed (scripts/setup installs it)";
  }
  UnderWine(PicturesOfALongStepAndTheEnd);
}

}  // namespace
}  // namespace kalu
