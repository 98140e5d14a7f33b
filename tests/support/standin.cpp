#include "support/standin.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace kalu::test {

namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ServicesStandIn::ServicesStandIn(std::filesystem::path folder, const std::string& dataJson,
                                 int port)
    : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
  SetData(dataJson);
  if (port > 0) {
    Launch(port);
    return;
  }
  // The ephemeral ports the system hands out lie above.
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> ports(20000, 32000);
  for (int attempt = 0; attempt < 20 && pid_ < 0; ++attempt) Launch(ports(random));
  if (pid_ < 0) ADD_FAILURE() << "the services stand-in did not start";
}

ServicesStandIn::~ServicesStandIn() {
  Stop();
}

void ServicesStandIn::SetData(const std::string& dataJson) const {
  std::ofstream(folder_ / "standin.json", std::ios::binary) << dataJson;
}

bool ServicesStandIn::Launch(int port) {
  const auto portFile = folder_ / "standin.port";
  std::filesystem::remove(portFile);
  std::vector<std::string> args = {
      "python3",     (SourceDir() / "tools" / "soap_standin.py").string(),
      "--data",      (folder_ / "standin.json").string(),
      "--port",      std::to_string(port),
      "--port-file", portFile.string(),
      "--record",    (folder_ / "standin.request").string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // Its standard output (the port line) goes nowhere and its errors to a file of its own:
  // a stand-in left behind by a test that died must not hold the test's output open.
  const std::string errors = (folder_ / "standin.log").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;

  // Listening once the port file is there; gone when the port was taken.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(portFile)) {
      pid_ = pid;
      port_ = port;
      return true;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

void ServicesStandIn::Stop() {
  if (pid_ < 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void ServicesStandIn::Start() {
  if (pid_ >= 0) return;
  // The port may linger a moment after the stop.
  for (int attempt = 0; attempt < 50 && pid_ < 0; ++attempt) {
    if (!Launch(port_)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (pid_ < 0) ADD_FAILURE() << "the services stand-in did not start again on " << port_;
}

bool ServicesStandIn::Requested() const {
  return std::filesystem::exists(folder_ / "standin.request");
}

std::string ServicesStandIn::LastRequest() const {
  return ReadAll(folder_ / "standin.request");
}

void ServicesStandIn::ForgetRequests() const {
  std::filesystem::remove(folder_ / "standin.request");
}

void ServicesStandIn::WriteLocationFile(const std::filesystem::path& folder,
                                        const std::string& more) const {
  std::ofstream(folder / "location.xml", std::ios::binary) << LocationXml(port_, port_, more);
}

std::string RequestParameters(const std::string& request) {
  // The body is "<Execute xmlns=\"morvel25\"><Name>value</Name>...</Execute>".
  std::string out;
  auto open = request.find("<Execute");
  if (open == std::string::npos) return out;
  auto pos = request.find('>', open) + 1;
  const auto end = request.find("</Execute>", pos);
  if (end == std::string::npos) return out;
  while ((pos = request.find('<', pos)) < end) {
    auto nameEnd = request.find_first_of(">/", pos + 1);
    std::string name = request.substr(pos + 1, nameEnd - pos - 1);
    std::string value;
    if (request[nameEnd] == '/') {  // <Name/>
      pos = request.find('>', nameEnd) + 1;
    } else {
      auto close = request.find("</" + name + ">", nameEnd);
      value = request.substr(nameEnd + 1, close - nameEnd - 1);
      pos = close + name.size() + 3;
    }
    if (!out.empty()) out += ";";
    out += name + "=" + value;
  }
  return out;
}

}  // namespace kalu::test
