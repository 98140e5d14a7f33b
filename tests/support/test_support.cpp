#include "support/test_support.h"

#include <unistd.h>

#include <fstream>
#include <random>

#include "runtime/convert.h"

namespace kalu::test {

std::filesystem::path SourceDir() { return KALU_SOURCE_DIR; }
std::filesystem::path BinaryDir() { return KALU_BINARY_DIR; }

WorkFolder::WorkFolder() {
  std::random_device rd;
  previous_ = std::filesystem::current_path();
  path_ = std::filesystem::temp_directory_path() /
          ("kalu-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

WorkFolder::~WorkFolder() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(path_, ec);
}

void WorkFolder::Write(const std::string& relative, const std::string& content) const {
  auto target = path_ / relative;
  std::filesystem::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary) << content;
}

static std::string ConnectionDataFor(const std::string& database) {
  if (database.empty()) return Session::kConnectionData;
  return ";Database=" + database + ";Readonly=No;";
}

TestContext::TestContext(const std::string& database)
    : clock(MakeDate(2024, 3, 20, 13, 5, 9)),
      session(ConnectionDataFor(database)),
      ctx{display, session, clock, log, desktopDb} {}

}  // namespace kalu::test
